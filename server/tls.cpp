// tls.cpp -- the server's key and certificate, made at first start when none is given.
#include "tls.h"

#include <fcntl.h>

#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include "platform/files.h"
#include "platform/tls_common.h"
#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key_Ptr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Cert_Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;

// Opens a new file for writing, readable and writable by this user only (on Windows the folder's
// permissions decide).
FILE* Create_Private(const std::string& path) {
#ifdef _WIN32
    return _wfopen(File_System_Path(path).c_str(), L"wb");
#else
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    fchmod(fd, 0600);   // an older file of that name keeps its mode otherwise
    return fdopen(fd, "wb");
#endif
}

// A P-256 key and a self-signed certificate for it, valid for a century: players pin the key,
// so the dates only have to be accepted.
bool Make_Identity(Key_Ptr& key, Cert_Ptr& cert) {
    key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    cert.reset(X509_new());
    if (!key || !cert) return false;
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) return false;
    serial[0] &= 0x7F;   // positive
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool serial_set = number && BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
    BN_free(number);
    X509_NAME* name = X509_get_subject_name(cert.get());
    return serial_set && X509_set_version(cert.get(), 2) == 1 &&
           X509_gmtime_adj(X509_getm_notBefore(cert.get()), -86400) &&
           X509_time_adj_ex(X509_getm_notAfter(cert.get()), 36500, 0, nullptr) &&
           X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("isoserver"), -1,
                                      -1, 0) == 1 &&
           X509_set_issuer_name(cert.get(), name) == 1 && X509_set_pubkey(cert.get(), key.get()) == 1 &&
           X509_sign(cert.get(), key.get(), EVP_sha256()) > 0;
}

// Writes through a temporary file renamed into place, so a crash leaves no half file.
bool Save_Pem(const std::string& path, const std::function<bool(FILE*)>& write) {
    const std::string temporary = path + ".new";
    FILE* file = Create_Private(temporary);
    if (!file) return false;
    const bool written = write(file);
    if (std::fclose(file) != 0 || !written) return false;
    std::error_code error;
    std::filesystem::rename(File_System_Path(temporary), File_System_Path(path), error);
    return !error;
}

}   // namespace

Tls_Files Tls_Files_For(const std::string& database, const std::string& cert, const std::string& key) {
    Tls_Files files;
    if (!cert.empty() || !key.empty()) {
        files.cert = cert;
        files.key = key;
        return files;
    }
    files.made = true;
    files.in_memory = database == ":memory:" || database.empty();
    const size_t slash = database.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : database.substr(0, slash + 1);
    files.cert = folder + "isoserver-cert.pem";
    files.key = folder + "isoserver-key.pem";
    return files;
}

bool Setup_Server_Tls(asio::ssl::context& context, const Tls_Files& files, std::string& error) {
    SSL_CTX* ctx = context.native_handle();
    if (!Apply_Tls_Policy(ctx)) {
        error = "OpenSSL refuses the TLS settings: " + Tls_Error_Text();
        return false;
    }
    // Most clients are idle most of the time: their record buffers go back between messages.
    SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS);
    if (files.made && (files.in_memory || !File_Exists(files.cert) || !File_Exists(files.key))) {
        Key_Ptr key;
        Cert_Ptr cert;
        if (!Make_Identity(key, cert)) {
            error = "cannot make a key: " + Tls_Error_Text();
            return false;
        }
        if (files.in_memory) {
            if (SSL_CTX_use_certificate(ctx, cert.get()) != 1 || SSL_CTX_use_PrivateKey(ctx, key.get()) != 1) {
                error = "cannot use the key made: " + Tls_Error_Text();
                return false;
            }
            return true;
        }
        const bool saved =
            Save_Pem(files.key,
                     [&](FILE* f) {
                         return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
                     }) &&
            Save_Pem(files.cert, [&](FILE* f) { return PEM_write_X509(f, cert.get()) == 1; });
        if (!saved) {
            error = "cannot write the key and certificate '" + files.key + "', '" + files.cert + "'";
            return false;
        }
        std::fprintf(stderr, "isoserver: made a key and a self-signed certificate: %s, %s (fingerprint %s)\n",
                     files.key.c_str(), files.cert.c_str(), Key_Fingerprint(cert.get()).c_str());
    }
    if (files.cert.empty() || files.key.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (SSL_CTX_use_certificate_chain_file(ctx, files.cert.c_str()) != 1) {
        error = "cannot read the certificate '" + files.cert + "': " + Tls_Error_Text();
        return false;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx, files.key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        error = "cannot use the key '" + files.key + "' with that certificate: " + Tls_Error_Text();
        return false;
    }
    return true;
}

std::string Served_Fingerprint(asio::ssl::context& context, std::string& error) {
    std::string fingerprint = Key_Fingerprint(SSL_CTX_get0_certificate(context.native_handle()));
    if (fingerprint.empty()) error = "no certificate with a readable key";
    return fingerprint;
}
