// options.cpp -- isobot's command line read through CLI11, its help written out in full.
#include "tools/isobot/options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Print_Help() {
    std::puts(
        "isobot -- load, chaos and soak bots for isoserver (this machine only)\n"
        "\n"
        "usage: isobot [options]\n"
        "\n"
        "  --host ADDR      the server: a loopback address (127.x.x.x, ::1) or localhost (default 127.0.0.1)\n"
        "  --port N         the server's port (default 7000)\n"
        "  --bots N         well-behaved bots, 0..20000 (default 10)\n"
        "  --chaos N        bots beside them that send malformed, truncated, oversized and random\n"
        "                   messages, hold half messages open, disconnect mid-message, read slowly,\n"
        "                   flood, and connect again at once (default 0)\n"
        "  --threads N      event-loop threads, 1..16 (default 1)\n"
        "  --plain          the bare protocol, for a server started with --plain (default: TLS)\n"
        "  --seconds S      how long to run, 0.1..86400 (default 10)\n"
        "  --map FILE       the server's map, for free target cells (default data/testmap.map)\n"
        "  --move-ms N      mean milliseconds between two clicks of one bot (default 1000), each on a\n"
        "                   cell in the bot's view (19 cells each way) that the game's path search\n"
        "                   reaches; the bot walks the path as the client does, a step per 250 ms\n"
        "  --far            click any free cell of the map instead; the server refuses those out of\n"
        "                   reach, so these moves are not awaited (a load of refused moves)\n"
        "  --warmup S       round trips of moves sent in the first S seconds are not counted (the\n"
        "                   logins, and each newcomer's table of everyone, settle first; default 0)\n"
        "  --say-ms N       mean milliseconds between two chat lines of one bot (default 5000)\n"
        "  --prefix TEXT    bot names are TEXT + number (default bot)\n"
        "  --password TEXT  the bots' password (default pw); run the server with --register open\n"
        "  --watch PID      the server's process: prints its resident memory after --watch-after\n"
        "                   seconds (default 60, at most a third of the run) and at the end, and its\n"
        "                   open descriptors before the bots connect and after they have left\n"
        "\n"
        "Prints messages per second (received and sent by the well-behaved bots), the round trip of\n"
        "\"/move\" to its echo (p50, p99, max), and what they should never see: errors, echoes of their\n"
        "moves and chat lines that never came, disconnects. Exit status 0 only when every\n"
        "well-behaved bot logged in and saw none of those.");
}

std::string Number_Text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// A number within [low, high] as strtod reads it, so "1e3" and "7.5" count as they always have
// (a count takes the whole part).
template <class T>
void Add_Number(CLI::App& app, const char* name, double low, double high, T& out) {
    const auto within = [low, high](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value >= low && value <= high))
            return "'" + text + "' is not a number from " + Number_Text(low) + " to " + Number_Text(high);
        return {};
    };
    app.add_option_function<std::string>(
           name, [&out](const std::string& text) { out = T(std::strtod(text.c_str(), nullptr)); })
        ->check(CLI::Validator(within, ""));
}

}   // namespace

std::optional<int> Read_Options(int argc, char** argv, Options& options) {
    CLI::App app("isobot");
    app.allow_windows_style_options(false);   // "/name" is a file's name, not an option
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);   // the last one counts
    app.add_option("--host", options.host);
    Add_Number(app, "--port", 1, 65535, options.port);
    Add_Number(app, "--bots", 0, 20000, options.bots);
    Add_Number(app, "--chaos", 0, 20000, options.chaos);
    Add_Number(app, "--threads", 1, 16, options.threads);
    Add_Number(app, "--seconds", 0.1, 86400, options.seconds);
    app.add_option("--map", options.map_file);
    Add_Number(app, "--move-ms", 2, 3600000, options.move_ms);
    Add_Number(app, "--say-ms", 2, 3600000, options.say_ms);
    app.add_option("--prefix", options.prefix);
    app.add_option("--password", options.password);
    Add_Number(app, "--warmup", 0, 86400, options.warmup);
    app.add_flag("--plain", options.plain);
    app.add_flag("--far", options.far);
    Add_Number(app, "--watch", 1, 4194304, options.watch);
    Add_Number(app, "--watch-after", 0.1, 86400, options.watch_after);
    app.allow_extras();   // told below, as the word that is wrong
    const auto bad = [](const std::string& word) {
        std::fprintf(stderr, "isobot: bad option '%s' (see --help)\n", word.c_str());
        return 2;
    };
    for (int i = 1; i < argc; ++i)   // "--port 1" only
        if (argv[i][0] == '-' && std::strchr(argv[i], '=')) return bad(argv[i]);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        Print_Help();
        return 0;
    } catch (const CLI::ParseError& error) {
        // "--bots: 'x' is not a number ...", "--host: 1 required TEXT missing": the option named first.
        const std::string what = error.what();
        return bad(what.substr(0, what.find(':')));
    }
    if (!app.remaining().empty()) return bad(app.remaining().front());
    return std::nullopt;
}
