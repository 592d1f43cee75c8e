// main.cpp -- isoserver's command line, map loading, signals and the operator's standard input.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "game_server.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "wire/wire.h"

namespace {

void Print_Help() {
    std::printf(
        "isoserver -- the reference game server for isoclient\n"
        "\n"
        "usage: isoserver [options]\n"
        "\n"
        "  --port N            TCP port to listen on (default 7000; 0 picks a free one, printed at start)\n"
        "  --bind ADDR         address to listen on (default 127.0.0.1, this machine only)\n"
        "  --map FILE          map whose blocked cells decide start cells and moves\n"
        "                      (default data/testmap.map, against the current folder)\n"
        "  --max-clients N     connections at once (default 4000); more are closed at once\n"
        "  --max-message N     bytes of one message (default 4096); longer ones are dropped and logged\n"
        "  --max-output N      bytes queued for one client (default 8388608); a client that does not\n"
        "                      read beyond that is disconnected\n"
        "  --stdin-commands    the end of standard input ends the server (as \"quit\" does)\n"
        "  --stats             print connections and messages per second every 10 s\n"
        "  --seed N            fixed seed for the start cells\n"
        "  --help              show this text\n"
        "\n"
        "Limits: one thread; up to 32767 players in the game (identifiers 1..32767); names of 1 to\n"
        "32 characters without \"\\\", \"/e/\" or control characters; the version must be \"%s\".\n"
        "The descriptor limit is raised to its hard limit at start (1000 clients need 1000+).\n"
        "\n"
        "Operator commands on standard input, one a line:\n"
        "  kick ID   sends \"/err 10\\\" to the player with that number (or name) and disconnects it\n"
        "  list      shows the players in the game\n"
        "  quit      ends the server (so do SIGINT and SIGTERM)\n"
        "\n"
        "Bad input from a client is dropped and logged on standard error; it never ends the server.\n",
        To_Utf8(GAME_VERSION).c_str());
}

bool Parse_Size(const char* text, size_t low, size_t high, size_t& out) {
    char* end = nullptr;
    unsigned long long value = std::strtoull(text, &end, 10);
    if (!*text || *end || value < low || value > high) return false;
    out = size_t(value);
    return true;
}

void Raise_File_Limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}   // namespace

static int Run(int argc, char** argv) {
    Server_Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool has_value = i + 1 < argc;
        size_t n = 0;
        if (arg == "--help" || arg == "-h") {
            Print_Help();
            return 0;
        } else if (arg == "--port" && has_value && Parse_Size(argv[i + 1], 0, 65535, n)) {
            options.port = uint16_t(n);
            ++i;
        } else if (arg == "--bind" && has_value) {
            options.bind = argv[++i];
        } else if (arg == "--map" && has_value) {
            options.map_file = argv[++i];
        } else if (arg == "--max-clients" && has_value && Parse_Size(argv[i + 1], 1, 1000000, n)) {
            options.max_clients = n;
            ++i;
        } else if (arg == "--max-message" && has_value && Parse_Size(argv[i + 1], 16, 1 << 20, n)) {
            options.max_message = n;
            ++i;
        } else if (arg == "--max-output" && has_value && Parse_Size(argv[i + 1], 4096, size_t(1) << 32, n)) {
            options.max_output = n;
            ++i;
        } else if (arg == "--seed" && has_value && Parse_Size(argv[i + 1], 1, 0xFFFFFFFFu, n)) {
            options.seed = uint32_t(n);
            ++i;
        } else if (arg == "--stdin-commands") {
            options.stdin_commands = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else {
            std::fprintf(stderr, "isoserver: bad option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }

    std::optional<std::string> bytes = Read_Whole_File(options.map_file);
    if (!bytes) {
        std::fprintf(stderr, "isoserver: cannot read the map file '%s'\n", options.map_file.c_str());
        return 1;
    }
    Map_Model map;
    try {
        map = Parse_Map(*bytes, options.map_file);
    } catch (const Data_Error& error) {
        std::fprintf(stderr, "isoserver: damaged map file: %s\n", error.what());
        return 1;
    }

    Raise_File_Limit();
    std::signal(SIGPIPE, SIG_IGN);
    asio::io_context io;
    Game_Server server(io, options, map);
    if (!server.Start()) return 1;

    asio::signal_set signals(io, SIGINT, SIGTERM);
    asio::posix::stream_descriptor input(io);
    auto shutdown = [&] {
        server.Stop();
        signals.cancel();
        asio::error_code ignored;
        input.close(ignored);
    };
    signals.async_wait([&](const asio::error_code& error, int) {
        if (!error) shutdown();
    });

    // Operator commands. A descriptor epoll cannot watch (a file, /dev/null) is read as it comes.
    asio::streambuf line_buffer(4096);
    asio::error_code ec;
    input.assign(::dup(STDIN_FILENO), ec);
    std::function<void()> read_line = [&] {
        asio::async_read_until(input, line_buffer, '\n', [&](const asio::error_code& error, size_t n) {
            if (error == asio::error::not_found) {   // a line longer than the buffer: skipped
                line_buffer.consume(line_buffer.size());
                read_line();
                return;
            }
            if (error) {
                if (error != asio::error::operation_aborted && options.stdin_commands) shutdown();
                return;   // otherwise the server goes on without an operator
            }
            std::string line(asio::buffers_begin(line_buffer.data()),
                             asio::buffers_begin(line_buffer.data()) + std::ptrdiff_t(n) - 1);
            line_buffer.consume(n);
            if (!server.Command(line)) {
                shutdown();
                return;
            }
            read_line();
        });
    };
    if (!ec) read_line();

    std::printf("isoserver: listening on %s:%u (map %s, %d x %d)\n", options.bind.c_str(), unsigned(server.Port()),
                options.map_file.c_str(), int(map.Map_Width), int(map.Map_Height));
    std::fflush(stdout);

    io.run();
    std::printf("isoserver: stopped\n");
    return 0;
}

int main(int argc, char** argv) {
    // Anything unforeseen ends the program with its reason, not with an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", "isoserver", e.what());
        return 1;
    }
}
