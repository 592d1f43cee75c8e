// tls_roots_windows.cpp -- the system's trusted roots: Windows' ROOT store copied into
// OpenSSL's, which does not read it by itself.
#include <windows.h>
// wincrypt.h needs windows.h's types first.
#include <wincrypt.h>
// OpenSSL's headers after wincrypt.h: they undo its X509_NAME and similar macros.
#include <openssl/x509.h>

#include "platform/backends.h"

void Load_System_Roots(SSL_CTX* context) {
    HCERTSTORE store = CertOpenSystemStoreW(0, L"ROOT");
    if (!store) return;
    X509_STORE* roots = SSL_CTX_get_cert_store(context);
    for (PCCERT_CONTEXT entry = CertEnumCertificatesInStore(store, nullptr); entry;
         entry = CertEnumCertificatesInStore(store, entry)) {
        const unsigned char* der = entry->pbCertEncoded;
        if (X509* cert = d2i_X509(nullptr, &der, long(entry->cbCertEncoded))) {
            X509_STORE_add_cert(roots, cert);   // a duplicate is refused harmlessly
            X509_free(cert);
        }
    }
    CertCloseStore(store, 0);
}
