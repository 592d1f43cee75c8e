// backends.h -- the real backends: an SDL2 window and an Asio TCP socket.
#pragma once
#include <memory>
#include <openssl/ssl.h>
#include <string>

#include "platform/platform.h"

// Opens the window (full screen on the desktop unless windowed); a window, also the one Alt+Enter
// switches to, is scale times 640 x 480.
std::unique_ptr<Window_Backend> Make_Sdl_Window(bool windowed, int scale = 2);

// How the client's socket protects its connection.
struct Socket_Security {
    bool plain = false;          // the bare protocol, no TLS (a server started with --plain)
    std::string server_key;      // a fingerprint (Key_Fingerprint's form) the server must show; "": none
    std::string known_servers;   // the pin file ("host:port fingerprint" lines); "": any key taken
    std::string trusted_roots;   // a PEM file of trusted authorities in place of the system's ("": the system's)
};
// A TCP socket, with TLS unless security.plain: the server's certificate is accepted when it
// chains to a trusted root and names the host, else its key is pinned on first use in the
// known_servers file and checked against it ever after; server_key, when given, is the only key
// accepted. A refused key is reported as Key_Refused and the connection closed.
std::unique_ptr<Socket_Backend> Make_Tcp_Socket(const Socket_Security& security = {});
// Adds the system's trusted root certificates to the store (Windows: its ROOT store; elsewhere
// OpenSSL's default paths, which are the system's).
void Load_System_Roots(SSL_CTX* context);
