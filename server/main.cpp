// main.cpp -- isoserver's start: settings, the map, the database, signals, the operator's
// console on standard input, and the "user" commands.
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "accounts.h"
#include "backup.h"
#include "http.h"
#include "net.h"
#include "options.h"
#include "platform/console.h"
#include "platform/files.h"
#include "tls.h"
#include "users.h"

namespace {

// One event a line, control characters escaped: a service manager's journal keeps each line as
// one entry, and no colour code or a client's line break gets into it.
void Log_Line(const std::string& line) {
    const std::string text = "isoserver: " + Plain_Line(line) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
}

int Backup_Command(const Server_Config& config) {
    if (config.command.size() != 2) {
        std::fprintf(stderr, "isoserver: backup wants one file to copy into (isoserver [--db FILE] backup OUT)\n");
        return 2;
    }
    std::string error;
    const std::string db = Database_Path(config);
    if (!Backup_Database(db, config.command[1], error)) {
        std::fprintf(stderr, "isoserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("isoserver: copied %s into %s\n", db.c_str(), config.command[1].c_str());
    return 0;
}

// The served key and certificate, made beside the database at first start when none is given.
bool Setup_Tls(const Server_Config& config, asio::ssl::context& tls) {
    std::string error;
    if (Setup_Server_Tls(tls, Tls_Files_For(Database_Path(config), config.tls_cert, config.tls_key), error))
        return true;
    std::fprintf(stderr, "isoserver: %s\n", error.c_str());
    return false;
}

int Print_Fingerprint(const Server_Config& config) {
    asio::ssl::context tls(asio::ssl::context::tls_server);
    if (!Setup_Tls(config, tls)) return 1;
    std::string error;
    const std::string fingerprint = Served_Fingerprint(tls, error);
    if (fingerprint.empty()) {
        std::fprintf(stderr, "isoserver: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", fingerprint.c_str());
    return 0;
}

int Serve(const Server_Config& config) {
    const std::optional<std::string> bytes = Read_Whole_File(config.map_file);
    if (!bytes) {
        std::fprintf(stderr, "isoserver: cannot read the map file '%s'\n", config.map_file.c_str());
        return 1;
    }
    Map_Model map;
    try {
        map = Parse_Map(*bytes, config.map_file);
    } catch (const Data_Error& error) {
        std::fprintf(stderr, "isoserver: damaged map file: %s\n", error.what());
        return 1;
    }
    if (!Start_Password_Hashing()) {
        std::fprintf(stderr, "isoserver: libsodium cannot start\n");
        return 1;
    }
    Account_Store accounts;
    std::string error;
    const std::string db = Database_Path(config);
    if (!Open_Accounts(accounts, db, error, true)) {
        std::fprintf(stderr, "isoserver: cannot open the database '%s': %s\n", db.c_str(), error.c_str());
        return 1;
    }
    Decoy_Hash(config.game.hash);   // made now, not while the first stranger logs in

    asio::ssl::context tls(asio::ssl::context::tls_server);
    std::string fingerprint;
    if (!config.net.plain) {
        if (!Setup_Tls(config, tls)) {
            Close_Accounts(accounts);
            return 1;
        }
        fingerprint = Served_Fingerprint(tls, error);
    }

    Prepare_Server_Process();
    asio::io_context io;
    Game game;
    Init_Game(game, config.game, map, &accounts);
    game.log = Log_Line;
    Net_Server server(io, config.net, game, tls);
    if (!server.Start()) {
        Close_Accounts(accounts);
        return 1;
    }

    // The side port reads what the game thread publishes every second, nothing else.
    Status_Board board;
    std::optional<Status_Publisher> publisher;
    Side_Port side;
    if (!config.http.empty()) {
        asio::error_code ec;
        const std::string name = config.name.empty() ? asio::ip::host_name(ec) : config.name;
        publisher.emplace(io, game, board, std::make_shared<const Status_Info>(Make_Status_Info(game, name)));
        if (!side.Start(Parse_Side_Address(config.http).value_or(Side_Address{}), board, error)) {
            std::fprintf(stderr, "isoserver: the side port: %s\n", error.c_str());
            server.Stop();
            Close_Accounts(accounts);
            return 1;
        }
    }
    Backup_Schedule backups;
    if (config.backup_every_hours > 0)
        Start_Backups(backups, db, config.backup_every_hours, config.backup_keep, Log_Line);

    asio::signal_set signals(io, SIGINT, SIGTERM);
    Console_Lines input(io);
    auto shutdown = [&] {
        server.Stop();
        signals.cancel();
        input.Stop();
        if (publisher) publisher->Stop();
    };
    signals.async_wait([&](const asio::error_code& e, int) {
        if (!e) shutdown();
    });

    // The operator's console; without a readable standard input the server goes on without one.
    input.Start(
        [&](const std::string& line) {
            std::string reply;
            const bool go_on = server.Command(line, reply);
            std::fputs(reply.c_str(), stdout);
            std::fflush(stdout);
            if (!go_on) shutdown();
        },
        [&] {
            if (config.stdin_commands) shutdown();
        });

    const std::string security =
        config.net.plain ? std::string("PLAIN: no TLS, everything in clear text") : "TLS, key " + fingerprint;
    std::printf(
        "isoserver: listening on %s:%u (%s; map %s, %d x %d, database %s, registration %s, %d network "
        "threads)\n",
        config.net.bind.c_str(), unsigned(server.Port()), security.c_str(), config.map_file.c_str(), int(map.Map_Width),
        int(map.Map_Height), db.c_str(), config.game.register_open ? "open" : "closed", int(server.Io_Threads()));
    if (!config.http.empty())
        std::printf("isoserver: status page on http://%s:%u/ (metrics at /metrics)\n",
                    Parse_Side_Address(config.http).value_or(Side_Address{}).bind.c_str(), unsigned(side.Port()));
    if (config.backup_every_hours > 0)
        std::printf("isoserver: a backup every %d hours into %s, the newest %zu kept\n", int(config.backup_every_hours),
                    Backup_Folder(db).c_str(), config.backup_keep);
    std::fflush(stdout);

    io.run();
    side.Stop();
    Stop_Backups(backups);
    Close_Accounts(accounts);
    std::printf("isoserver: stopped\n");
    return 0;
}

int Run(int argc, char** argv) {
    Server_Config config;
    const int parsed = Parse_Arguments(argc, argv, config);
    if (parsed != 0) return parsed == 1 ? 0 : 2;
    if (!config.command.empty()) {
        if (config.command[0] == "user") return Run_User_Command(config, config.command);
        if (config.command[0] == "backup") return Backup_Command(config);
        if (config.command[0] == "fingerprint" && config.command.size() == 1) return Print_Fingerprint(config);
        std::fprintf(stderr, "isoserver: unknown command '%s' (see --help)\n", config.command[0].c_str());
        return 2;
    }
    return Serve(config);
}

}   // namespace

int main(int argc, char** argv) {
    // The arguments in UTF-8 whatever the system's code page, as file names are kept.
    std::vector<std::string> args = Program_Arguments(argc, argv);
    std::vector<char*> utf8_argv;
    utf8_argv.reserve(args.size() + 1);
    for (std::string& arg : args) utf8_argv.push_back(arg.data());
    utf8_argv.push_back(nullptr);
    // Anything unforeseen ends the program with its reason, not with an abort.
    try {
        return Run(int(args.size()), utf8_argv.data());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "isoserver: %s\n", e.what());
        return 1;
    }
}
