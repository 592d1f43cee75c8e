// tls_common.h -- what the client, the server and the bots agree on about TLS: the protocol
// versions and ciphers allowed, and the fingerprint by which a server's key is known.
#pragma once
#include <openssl/ssl.h>
#include <string>

// TLS 1.3, with TLS 1.2 as the floor; in 1.2 only ECDHE key exchange with AEAD ciphers
// (AES-GCM, ChaCha20-Poly1305), in 1.3 its three standard suites; no compression, no
// renegotiation. False when OpenSSL refuses the settings.
bool Apply_Tls_Policy(SSL_CTX* context);

// "SHA256:" and 64 lower-case hex digits: the SHA-256 of the certificate's public key (its DER
// SubjectPublicKeyInfo), so a certificate renewed with the same key keeps its fingerprint.
// "" when the certificate has no readable key.
std::string Key_Fingerprint(X509* certificate);

// A fingerprint as written by a person: "SHA256:" (any case) and 64 hex digits (any case),
// spaces and colons between the digits allowed; normalised to Key_Fingerprint's form, or "" when
// it is not one.
std::string Normal_Fingerprint(const std::string& text);

// OpenSSL's last error as one line ("" when it has none), and the queue cleared.
std::string Tls_Error_Text();
