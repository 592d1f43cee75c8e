// main.cpp -- the program's entry: the command line, the backends, the hooks that let lower
// layers call up into the screens, and the one place where the end of the program is caught.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "errors/errors.h"
#include "login/login.h"
#include "net/net.h"
#include "platform/backends.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "ui/input.h"

static void Print_Help() {
    std::puts(
        "isoclient -- an isometric on-line game client\n"
        "\n"
        "usage: isoclient [--windowed] [--connect HOST:PORT]\n"
        "\n"
        "  --windowed           open a 1280 x 960 window instead of full screen (Alt+Enter toggles)\n"
        "  --connect HOST:PORT  log in to the game server there; without it the game runs offline\n"
        "  --help               show this text\n"
        "\n"
        "Run it from its own folder: pictures come from images/ beside the program, the map and\n"
        "characters from data/ under the current folder. Errors are logged in Err/ beside the program.");
}

int main(int argc, char** argv) {
    bool windowed = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Print_Help();
            return 0;
        } else if (arg == "--windowed") {
            windowed = true;
        } else if (arg == "--connect" && i + 1 < argc) {
            std::string endpoint = argv[++i];
            size_t colon = endpoint.rfind(':');
            int port = colon == std::string::npos ? 0 : std::atoi(endpoint.c_str() + colon + 1);
            if (colon == std::string::npos || colon == 0 || port <= 0 || port > 65535) {
                std::fprintf(stderr, "isoclient: --connect wants HOST:PORT, got '%s'\n", endpoint.c_str());
                return 2;
            }
            Net.Server_Host = endpoint.substr(0, colon);
            Net.Server_Port = uint16_t(port);
        } else {
            std::fprintf(stderr, "isoclient: unknown option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }

    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    Platform.program_folder = ec ? std::string(".") : exe.parent_path().string();

    std::unique_ptr<Window_Backend> window = Make_Sdl_Window(windowed);
    if (!window) return 1;
    std::unique_ptr<Socket_Backend> socket = Make_Tcp_Socket();
    Platform.window = window.get();
    Platform.socket = socket.get();
    Install_Input_Handlers();
    Install_Socket_Handlers();
    Install_Error_Screen();
    Net.Hooks.Start_Game = Start_Game;

    int status = 0;
    try {
        // The program starts with no connection; the login screen opens one when it is asked to.
        Login_Screen();
    } catch (const Program_End& end) { status = end.status; }
    Platform.window = nullptr;
    Platform.socket = nullptr;
    return status;
}
