// backends.h -- the real backends: an SDL2 window and an Asio TCP socket.
#pragma once
#include <memory>

#include "platform/platform.h"

// Opens the window (full screen on the desktop unless windowed); a window, also the one Alt+Enter
// switches to, is scale times 640 x 480.
std::unique_ptr<Window_Backend> Make_Sdl_Window(bool windowed, int scale = 2);
std::unique_ptr<Socket_Backend> Make_Tcp_Socket();
