// tls.h -- the server's TLS identity: its key and certificate (given, or made at first start and
// kept beside the database), the fingerprint players pin, and the settings of its TLS context.
#pragma once
#include <asio/ssl.hpp>

#include <string>

struct Tls_Files {
    std::string cert, key;    // PEM files
    bool made = false;        // neither was given: made here when missing
    bool in_memory = false;   // the database is in memory: so is a made key
};

// The files for a database path (isoserver-cert.pem and isoserver-key.pem in its folder) unless
// both are given.
Tls_Files Tls_Files_For(const std::string& database, const std::string& cert, const std::string& key);

// Loads the certificate chain and key into a server context, first making a P-256 key and a
// self-signed certificate when they were not given and are missing (the key file readable only
// by this user). TLS 1.2 at least, forward-secret AEAD ciphers only. False with why in `error`.
bool Setup_Server_Tls(asio::ssl::context& context, const Tls_Files& files, std::string& error);

// The SHA-256 fingerprint of the served public key (its DER SubjectPublicKeyInfo), as
// "SHA256:" and 64 lower-case hex digits; "" with why in `error` when it cannot be read.
std::string Served_Fingerprint(asio::ssl::context& context, std::string& error);
