// main.cpp -- the program's entry: the settings file and the command line, the backends, the hooks
// that let lower layers call up into the screens, and the one place where the end of the program
// is caught.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "login/login.h"
#include "net/net.h"
#include "platform/backends.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "platform/settings.h"
#include "ui/input.h"

static void Print_Help() {
    std::puts(
        "isoclient -- an isometric on-line game client\n"
        "\n"
        "usage: isoclient [--windowed | --fullscreen] [--scale N] [--connect HOST:PORT | --offline] [--plain]\n"
        "\n"
        "  --windowed           open a window instead of full screen (Alt+Enter toggles)\n"
        "  --fullscreen         full screen, the default\n"
        "  --scale N            the window is N times 640 x 480 (1 to 8; default 2)\n"
        "  --connect HOST:PORT  log in to the game server there; without it the game runs offline\n"
        "  --offline            run offline even when isoclient.ini names a server\n"
        "  --plain              speak to a server started with --plain: no TLS, everything in clear\n"
        "  --help               show this text\n"
        "\n"
        "The same settings can be kept in isoclient.ini beside the program, one per line:\n"
        "  server = HOST:PORT, fullscreen = yes|no, scale = N, plain = yes|no, server_key = SHA256:...\n"
        "  (the key the server's operator published). The command line overrides the file.\n"
        "\n"
        "Connections are encrypted (TLS). A server whose certificate no trusted authority vouches for\n"
        "is known by its key: the first connection writes it to known_servers.txt beside the program,\n"
        "and a later connection to a server showing another key is refused.\n"
        "\n"
        "Run it from its own folder: pictures come from images/ beside the program, the map and\n"
        "characters from data/ under the current folder. Errors are logged in Err/ beside the program.");
}

// The settings file beside the program: a missing file changes nothing; a damaged line is
// reported and skipped.
static void Read_Settings_File(const std::string& folder, Client_Settings& settings) {
    const std::string path = folder + "/" + SETTINGS_FILE_NAME;
    if (!File_Exists(path)) return;
    const std::optional<std::string> text = Read_Whole_File(path);
    if (!text) {
        std::fprintf(stderr, "isoclient: cannot read %s; going on without it\n", SETTINGS_FILE_NAME);
        return;
    }
    std::vector<std::string> problems;
    Parse_Settings(*text, settings, problems);
    for (const std::string& problem : problems)
        std::fprintf(stderr, "isoclient: %s %s (ignored)\n", SETTINGS_FILE_NAME, problem.c_str());
}

int main(int argc, char** argv) {
    Use_Parent_Console();
    Platform.program_folder = Executable_Folder();
    Client_Settings settings;
    Read_Settings_File(Platform.program_folder, settings);

    std::string error;
    switch (Apply_Command_Line(Program_Arguments(argc, argv), settings, error)) {
        case Command_Line::Run: break;
        case Command_Line::Help: Print_Help(); return 0;
        case Command_Line::Bad: std::fprintf(stderr, "isoclient: %s (see --help)\n", error.c_str()); return 2;
    }
    Net.Server_Host = settings.server_host;
    Net.Server_Port = settings.server_port;

    std::unique_ptr<Window_Backend> window = Make_Sdl_Window(settings.windowed, settings.window_scale);
    if (!window) return 1;
    Socket_Security security;
    security.plain = settings.plain;
    security.server_key = settings.server_key;
    security.known_servers = Platform.program_folder + "/" + KNOWN_SERVERS_FILE_NAME;
    std::unique_ptr<Socket_Backend> socket = Make_Tcp_Socket(security);
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
