// tls_roots_posix.cpp -- the system's trusted roots: where OpenSSL looks by default, which on
// Debian is the system's certificate store.
#include "platform/backends.h"

void Load_System_Roots(SSL_CTX* context) { SSL_CTX_set_default_verify_paths(context); }
