// tls_common.cpp -- the TLS policy shared by client, server and bots, and key fingerprints.
#include "platform/tls_common.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

bool Apply_Tls_Policy(SSL_CTX* context) {
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    return SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION) == 1 &&
           SSL_CTX_set_max_proto_version(context, TLS1_3_VERSION) == 1 &&
           SSL_CTX_set_cipher_list(context,
                                   "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                   "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                   "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305") == 1 &&
           SSL_CTX_set_ciphersuites(context,
                                    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:"
                                    "TLS_CHACHA20_POLY1305_SHA256") == 1;
}

std::string Key_Fingerprint(X509* certificate) {
    EVP_PKEY* key = certificate ? X509_get0_pubkey(certificate) : nullptr;
    if (!key) return "";
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0) return "";
    unsigned char digest[32];
    unsigned int digest_size = 0;
    const bool ok = EVP_Digest(der, size_t(size), digest, &digest_size, EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!ok || digest_size != sizeof digest) return "";
    static const char HEX[] = "0123456789abcdef";
    std::string text = "SHA256:";
    for (const unsigned char byte : digest) {
        text += HEX[byte >> 4];
        text += HEX[byte & 15];
    }
    return text;
}

std::string Normal_Fingerprint(const std::string& text) {
    if (text.size() < 7) return "";
    std::string head = text.substr(0, 7);
    for (char& c : head)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (head != "SHA256:") return "";
    std::string digits;
    for (size_t i = 7; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == ':') continue;
        const char lower = c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c;
        if (!((lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f'))) return "";
        digits += lower;
    }
    return digits.size() == 64 ? "SHA256:" + digits : "";
}

std::string Tls_Error_Text() {
    std::string text;
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(code, line, sizeof line);
        if (text.empty()) text = line;
    }
    return text;
}
