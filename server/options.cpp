// options.cpp -- the option table, the command line, the configuration file and --help.
#include "options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "http.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/key_value.h"

namespace {

enum class Kind { Text, Number, Flag };

struct Option {
    const char* name;   // "--" + name on the command line, name in the file
    Kind kind;
    const char* value;   // what the value is, for the help
    double low, high;
    const char* help;
    std::function<bool(Server_Config&, const std::string&, double)> set;
};

const std::vector<Option>& Options() {
    static const std::vector<Option> table = {
        {"port", Kind::Number, "N", 0, 65535,
         "TCP port to listen on (default 7000; 0 picks a free one, printed at start)",
         [](Server_Config& c, const std::string&, double v) { return c.net.port = uint16_t(v), true; }},
        {"bind", Kind::Text, "ADDR", 0, 0, "address to listen on (default 127.0.0.1, this machine only; 0.0.0.0: all)",
         [](Server_Config& c, const std::string& t, double) { return c.net.bind = t, true; }},
        {"map", Kind::Text, "FILE", 0, 0,
         "map whose blocked cells decide start cells and moves (default data/testmap.map)",
         [](Server_Config& c, const std::string& t, double) { return c.map_file = t, true; }},
        {"db", Kind::Text, "FILE", 0, 0, "account database, SQLite (default isoserver.db in the map's folder)",
         [](Server_Config& c, const std::string& t, double) { return c.db_file = t, true; }},
        {"register", Kind::Text, "open|closed", 0, 0,
         "open: the first login of an unknown name makes its account with the password given;\n"
         "closed (default): only accounts made with \"isoserver user add\" may log in",
         [](Server_Config& c, const std::string& t, double) {
             if (t != "open" && t != "closed") return false;
             c.game.register_open = t == "open";
             return true;
         }},
        {"max-clients", Kind::Number, "N", 1, 100000, "connections at once (default 4000); more are closed at once",
         [](Server_Config& c, const std::string&, double v) { return c.game.max_clients = size_t(v), true; }},
        {"max-message", Kind::Number, "N", 64, 1 << 20, "bytes of one message (default 4096); longer ones are dropped",
         [](Server_Config& c, const std::string&, double v) { return c.game.max_message = size_t(v), true; }},
        {"max-output", Kind::Number, "N", 4096, double(size_t(1) << 31),
         "bytes queued for one client (default 1048576); a client that does not read is cut off",
         [](Server_Config& c, const std::string&, double v) { return c.game.max_output = size_t(v), true; }},
        {"messages-per-second", Kind::Number, "N", 0, 100000,
         "messages handled per second per client (default 20; 0: no limit); the excess is dropped",
         [](Server_Config& c, const std::string&, double v) { return c.game.messages_per_second = v, true; }},
        {"message-burst", Kind::Number, "N", 1, 100000, "messages a client may send at once after a pause (default 60)",
         [](Server_Config& c, const std::string&, double v) { return c.game.message_burst = v, true; }},
        {"flood-seconds", Kind::Number, "N", 1, 3600,
         "a client whose dropped messages in 10 s exceed this many seconds' worth is cut off (default 5)",
         [](Server_Config& c, const std::string&, double v) { return c.game.flood_seconds = int32_t(v), true; }},
        {"connects-per-minute", Kind::Number, "N", 0, 1000000,
         "new connections per address and minute (default 60; 0: no limit)",
         [](Server_Config& c, const std::string&, double v) { return c.game.connects_per_minute = v, true; }},
        {"failures-per-minute", Kind::Number, "N", 1, 1000,
         "failed logins per address and per account in a minute before both are locked (default 5)",
         [](Server_Config& c, const std::string&, double v) { return c.game.failures_per_minute = int32_t(v), true; }},
        {"lockout-seconds", Kind::Number, "N", 1, 86400,
         "how long a locked address or account is refused (default 300)",
         [](Server_Config& c, const std::string&, double v) { return c.game.lockout_seconds = int32_t(v), true; }},
        {"login-seconds", Kind::Number, "N", 1, 3600, "time from connecting to entering the game (default 60)",
         [](Server_Config& c, const std::string&, double v) { return c.game.login_seconds = int32_t(v), true; }},
        {"view-radius", Kind::Number, "N", 0, 32767,
         "cells around a player within which it hears others' moves (default 20; 0: every move to everyone)",
         [](Server_Config& c, const std::string&, double v) { return c.game.view_radius = int32_t(v), true; }},
        {"chat-radius", Kind::Number, "N", 0, 32767,
         "cells around a speaker within which players hear its chat lines (default 0: everyone; the "
         "console's announcements always reach everyone)",
         [](Server_Config& c, const std::string&, double v) { return c.game.chat_radius = int32_t(v), true; }},
        {"hash-ops", Kind::Number, "N", 1, 100, "Argon2id passes for new password hashes (default 2)",
         [](Server_Config& c, const std::string&, double v) { return c.game.hash.ops = uint64_t(v), true; }},
        {"hash-memory", Kind::Number, "KIB", 8, 4 << 20, "Argon2id memory for new password hashes (default 65536 KiB)",
         [](Server_Config& c, const std::string&, double v) { return c.game.hash.memory = size_t(v) * 1024, true; }},
        {"max-checks", Kind::Number, "N", 1, 100000,
         "password checks waiting at once; more logins are refused as busy "
         "(default 1024)",
         [](Server_Config& c, const std::string&, double v) { return c.game.max_checks = size_t(v), true; }},
        {"log-per-second", Kind::Number, "N", 1, 1000000, "log lines per second (default 200); the rest are counted",
         [](Server_Config& c, const std::string&, double v) { return c.game.log_per_second = size_t(v), true; }},
        {"seed", Kind::Number, "N", 1, 4294967295.0, "fixed seed for the start cells of new players",
         [](Server_Config& c, const std::string&, double v) { return c.game.seed = uint32_t(v), true; }},
        {"flush-ms", Kind::Number, "N", 1, 1000,
         "what a client hears of others is gathered this many milliseconds into one write (default 40;\n"
         "longer past 1000 players, up to 100 ms at 2500); replies to its own messages go at once",
         [](Server_Config& c, const std::string&, double v) { return c.net.flush_ms = int32_t(v), true; }},
        {"http", Kind::Text, "ADDR:PORT", 0, 0,
         "serve the status page, /status.json and Prometheus /metrics there, read-only (default: off;\n"
         "a PORT alone listens on 127.0.0.1)",
         [](Server_Config& c, const std::string& t, double) { return c.http = t, Parse_Side_Address(t).has_value(); }},
        {"name", Kind::Text, "TEXT", 0, 0, "the server's name on the status page (default the host name)",
         [](Server_Config& c, const std::string& t, double) { return c.name = t, true; }},
        {"backup-every", Kind::Number, "HOURS", 0, 8760,
         "copy the database into backups/ beside it every HOURS while running (default 0: never)",
         [](Server_Config& c, const std::string&, double v) { return c.backup_every_hours = int32_t(v), true; }},
        {"backup-keep", Kind::Number, "N", 1, 100000, "the newest copies kept in backups/ (default 7)",
         [](Server_Config& c, const std::string&, double v) { return c.backup_keep = size_t(v), true; }},
        {"plain", Kind::Flag, "", 0, 0, "speak the bare protocol without TLS (a LAN, tests); the default is TLS",
         [](Server_Config& c, const std::string&, double) { return c.net.plain = true, true; }},
        {"tls-cert", Kind::Text, "FILE", 0, 0,
         "certificate chain (PEM) to serve; without it and --tls-key, isoserver-cert.pem and\n"
         "isoserver-key.pem beside the database, made at first start",
         [](Server_Config& c, const std::string& t, double) { return c.tls_cert = t, true; }},
        {"tls-key", Kind::Text, "FILE", 0, 0, "private key (PEM) of --tls-cert",
         [](Server_Config& c, const std::string& t, double) { return c.tls_key = t, true; }},
        {"io-threads", Kind::Number, "N", 1, 64,
         "threads for sockets and encryption (default: the cores less one, at least 1);\n"
         "the game itself runs on one more",
         [](Server_Config& c, const std::string&, double v) { return c.net.io_threads = int32_t(v), true; }},
        {"stats", Kind::Flag, "", 0, 0, "print connections and messages per second every 10 s",
         [](Server_Config& c, const std::string&, double) { return c.net.stats = true, true; }},
        {"stdin-commands", Kind::Flag, "", 0, 0, "the end of standard input ends the server (as \"quit\" does)",
         [](Server_Config& c, const std::string&, double) { return c.stdin_commands = true, true; }},
    };
    return table;
}

const Option* Find_Option(const std::string& name) {
    for (const Option& o : Options())
        if (name == o.name) return &o;
    return nullptr;
}

// Sets one option from its text; "" when it took it, else why not.
std::string Set(const Option& o, const std::string& text, Server_Config& config) {
    double number = 0;
    if (o.kind == Kind::Number) {
        char* end = nullptr;
        number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end || !std::isfinite(number) || number < o.low || number > o.high ||
            number != std::floor(number))
            return "wants a whole number from " + std::to_string(int64_t(o.low)) + " to " +
                   std::to_string(int64_t(o.high));
    }
    if (o.kind == Kind::Flag && !text.empty()) {
        const std::optional<bool> yes = Parse_Yes_No(text);
        if (!yes) return "wants true or false";
        if (!*yes) return "";   // a flag said false leaves it as it is
    }
    if (!o.set(config, text, number)) return std::string("wants ") + o.value;
    return "";
}

// The checked "key = value" lines of a configuration file, the last of a key winning; the
// damaged ones named in `error`, each with its line.
std::vector<std::pair<std::string, std::string>> Config_Lines(const std::string& text, const std::string& file_name,
                                                              std::string& error) {
    std::vector<std::pair<std::string, std::string>> lines;
    Server_Config scratch;
    for (const Key_Value_Line& line : Key_Value_Lines(text)) {
        const std::string where = file_name + ":" + std::to_string(line.number) + ": ";
        if (!line.pair) {
            error += where + "not \"key = value\"\n";
            continue;
        }
        const std::string &key = line.key, &value = line.value;
        const Option* o = Find_Option(key);
        if (!o) {
            error.append(where).append("unknown key \"").append(key).append("\"\n");
            continue;
        }
        const std::string problem = Set(*o, value, scratch);
        if (!problem.empty()) {
            error.append(where).append(key).append(" ").append(problem).append("\n");
            continue;
        }
        const bool flag = o->kind == Kind::Flag;
        if (flag && !value.empty() && !Parse_Yes_No(value).value_or(true)) continue;   // leaves the flag as it is
        std::erase_if(lines, [&](const auto& line_before) { return line_before.first == key; });
        lines.emplace_back(key, flag ? "true" : value);
    }
    return lines;
}

// CLI11's reading of --config, on the lines above: every damaged line is told, with its number.
class Config_Reader : public CLI::Config {
public:
    explicit Config_Reader(const CLI::Option*& file) : file_(file) {}
    std::string to_config(const CLI::App*, bool, bool, std::string) const override { return ""; }
    std::vector<CLI::ConfigItem> from_config(std::istream& input) const override {
        const std::string text{std::istreambuf_iterator<char>(input), std::istreambuf_iterator<char>()};
        std::string error;
        std::vector<CLI::ConfigItem> found;
        for (auto& [key, value] : Config_Lines(text, file_->as<std::string>(), error)) {
            CLI::ConfigItem item;
            item.name = key;
            item.inputs = {value};
            found.push_back(std::move(item));
        }
        if (!error.empty()) throw CLI::ConfigError(error);
        return found;
    }

private:
    const CLI::Option*& file_;
};

}   // namespace

bool Apply_Config_Text(const std::string& text, const std::string& file_name, Server_Config& config,
                       std::string& error) {
    for (const auto& [key, value] : Config_Lines(text, file_name, error)) Set(*Find_Option(key), value, config);
    return error.empty();
}

// Options stand anywhere on the line, also after the command's words; what is not an option is
// the command.
int Parse_Arguments(int argc, char** argv, Server_Config& config) {
    CLI::App app("isoserver");
    app.allow_windows_style_options(false);   // "/name" is a file's name, not an option
    app.set_help_flag();                      // the help text is ours
    bool help = false;
    app.add_flag("-h,--help", help);
    app.allow_extras();   // unknown options are told below, in our words
    const CLI::Option* config_file = nullptr;
    config_file = app.set_config("--config");
    app.config_formatter(std::make_shared<Config_Reader>(config_file));
    for (const Option& o : Options()) {
        const std::string name = std::string("--") + o.name;
        if (o.kind == Kind::Flag) {
            app.add_flag_function(name, [&o, &config](int64_t count) {
                if (count > 0) Set(o, "", config);
            });
            continue;
        }
        app.add_option_function<std::string>(
               name,
               [&o, &config, name](const std::string& value) {
                   const std::string problem = Set(o, value, config);
                   if (!problem.empty()) throw CLI::ValidationError(std::string(name).append(" ").append(problem));
               })
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    }
    app.add_option("command", config.command);
    for (int i = 1; i < argc && std::string_view(argv[i]) != "--"; ++i)
        if (std::string_view(argv[i]).starts_with("--") &&
            std::string_view(argv[i]).find('=') != std::string_view::npos) {
            std::fprintf(stderr, "isoserver: unknown option '%s' (see --help)\n", argv[i]);   // "--port 1" only
            return 2;
        }
    try {
        app.parse(argc, argv);
    } catch (const CLI::ArgumentMismatch& e) {
        // A value missing after its option: "--port: 1 required TEXT missing".
        const std::string what = e.what(), name = what.substr(0, what.find(':'));
        const Option* o = name.starts_with("--") ? Find_Option(name.substr(2)) : nullptr;
        std::fprintf(stderr, "isoserver: %s wants %s\n", name.c_str(), o ? o->value : "a file");
        return 2;
    } catch (const CLI::FileError&) {
        std::fprintf(stderr, "isoserver: cannot read the configuration file '%s'\n",
                     config_file->as<std::string>().c_str());
        return 2;
    } catch (const CLI::ConfigError& e) {
        std::fprintf(stderr, "isoserver: %s", e.what());
        return 2;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "isoserver: %s\n", e.what());
        return 2;
    }
    if (help) {
        std::fputs(Help_Text().c_str(), stdout);
        return 1;
    }
    if (!app.remaining().empty()) {
        std::fprintf(stderr, "isoserver: unknown option '%s' (see --help)\n", app.remaining().front().c_str());
        return 2;
    }
    return 0;
}

std::string Database_Path(const Server_Config& config) {
    if (!config.db_file.empty()) return config.db_file;
    const size_t slash = config.map_file.rfind('/');
    return (slash == std::string::npos ? std::string() : config.map_file.substr(0, slash + 1)) + "isoserver.db";
}

std::string Help_Text() {
    std::string text =
        "isoserver -- the game server for isoclient\n"
        "\n"
        "usage: isoserver [options]                  run the server\n"
        "       isoserver [options] fingerprint      print the fingerprint of the served key\n"
        "       isoserver [options] user COMMAND     manage accounts in the database, then end\n"
        "       isoserver [--db FILE] backup OUT     copy the database into OUT, also while it runs\n"
        "\n"
        "options (each may also stand in the configuration file as \"name = value\"):\n"
        "  --config FILE              read settings from FILE (\"key = value\" lines, # comments);\n"
        "                             options after it override them\n";
    for (const Option& o : Options()) {
        std::string head = std::string("  --") + o.name + (o.kind == Kind::Flag ? "" : std::string(" ") + o.value);
        if (head.size() < 29) head.resize(29, ' ');
        std::string help = o.help;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.replace(at, 1, "\n" + std::string(29, ' '));
        text += head + help + "\n";
    }
    text +=
        "  --help                     show this text\n"
        "\n"
        "commands:\n"
        "  fingerprint                the SHA-256 fingerprint of the served key, for players to pin\n"
        "                             (server_key = ... in isoclient.ini); makes the key if missing\n"
        "\n"
        "user commands (the database of --db, --config or --map):\n"
        "  user add NAME              make an account; the password is read from the terminal\n"
        "                             without echo, or as one line from standard input\n"
        "  user passwd NAME           set a new password the same way\n"
        "  user del NAME              delete the account\n"
        "  user list                  list the accounts\n"
        "  user ban NAME REASON       refuse its logins from now on, the reason shown to the player\n"
        "                             (one in the game stays until it leaves; \"ban\" on the console\n"
        "                             removes it at once)\n"
        "  user unban NAME            lift the ban\n"
        "\n"
        "console commands on standard input, one a line:\n"
        "  list                       the players in the game\n"
        "  kick ID|NAME               sends \"/err 10\\\" to that player and disconnects it\n"
        "  ban NAME REASON            bans the account and removes it from the game\n"
        "  unban NAME                 lifts a ban\n"
        "  say TEXT                   an announcement to every player (\"/say 0\\TEXT\")\n"
        "  quit                       saves every position and ends (so do SIGINT and SIGTERM)\n"
        "\n"
        "Names: 1 to 32 characters of code page 950, without \"\\\", control characters or a\n"
        "terminator (\"/e/\", a \"/e\" or \"/\" at the end). Passwords are kept only as Argon2id hashes.\n"
        "Refusals reach the client as \"/err -32768\\\" with a Chinese reason. Bad input from a client\n"
        "is dropped and logged, quoted, on standard error; it never ends the server. The version must\n"
        "be \"" +
        To_Utf8(GAME_VERSION) + "\". The descriptor limit is raised to its hard limit at start.\n";
    return text;
}
