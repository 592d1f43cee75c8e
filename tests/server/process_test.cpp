// process_test.cpp -- isoserver as a program: killed with SIGKILL in the middle of traffic, its
// database still holds every account and every cell it acknowledged; the "user" commands; and
// a short soak of well-behaved and chaos bots with its memory and descriptors watched.
#include <asio.hpp>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "map/world_files.h"
#include "server_seam.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using world_test::Temp_Folder;

// A child process with its standard output and error in files.
struct Child {
    pid_t pid = 0;
    std::string out, err;
    Child(const std::vector<std::string>& args, const fs::path& folder, const std::string& name) {
        out = (folder / (name + ".out")).string();
        err = (folder / (name + ".err")).string();
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) pid = 0;
        posix_spawn_file_actions_destroy(&files);
    }
    ~Child() {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int Wait() {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = 0;
        return status;
    }
    std::string Output() const { return Read_Whole_File(out).value_or(""); }
};

// Waits for a condition on files a child writes, polling its descriptor-free progress; false
// after `seconds`.
bool Eventually(double seconds, const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        poll(nullptr, 0, 20);
    }
    return true;
}

uint16_t Listening_Port(const Child& server) {
    uint16_t port = 0;
    Eventually(20, [&] {
        const std::string text = server.Output();
        const size_t at = text.find("127.0.0.1:");
        port = at != std::string::npos ? uint16_t(std::atoi(text.c_str() + at + 10)) : 0;
        return port != 0;
    });
    return port;
}

// A player on a blocking socket, its reads bounded by a deadline.
struct Wire_Player {
    asio::io_context io;
    asio::ip::tcp::socket socket{io};
    Message_Stream in;
    int16_t id = 0;

    bool Open(uint16_t port) {
        asio::error_code ec;
        socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
        return !ec;
    }
    void Send(const std::string& bytes) {
        asio::error_code ec;
        asio::write(socket, asio::buffer(bytes), ec);
    }
    // The next message that starts with `prefix`; "" after 10 s.
    std::string Wait_For(const std::string& prefix) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string message;
        size_t size = 0;
        for (;;) {
            while (Cut_Message(in, 1 << 20, message, size) == Cut_Result::Message)
                if (message.rfind(prefix, 0) == 0) return message;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{socket.native_handle(), POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) return "";
            char buffer[4096];
            asio::error_code ec;
            const size_t n = socket.read_some(asio::buffer(buffer), ec);
            if (ec) return "";
            in.bytes.append(buffer, n);
        }
    }
    bool Join(uint16_t port, const std::string& name) {
        if (!Open(port)) return false;
        Send("/ver 0.1 beta/e//id " + name + "/e//pass pw/e/");
        const std::string start = Wait_For("/plstart ");
        if (start.empty()) return false;
        id = int16_t(std::atoi(start.c_str() + 9));
        Send("/ready /e/");
        return !Wait_For("/setplxy " + std::to_string(id) + "\\").empty();
    }
};

std::vector<std::string> Server_Args(const fs::path& db, const std::vector<std::string>& more) {
    const std::string out = ISO_OUT_DIR;
    std::vector<std::string> args = {
        out + "/isoserver", "--port", "0", "--map", out + "/data/testmap.map", "--db", db.string(), "--hash-ops", "1",
        "--hash-memory", "8",
        // Two network threads whatever the machine, so connections' strands run side by side.
        "--io-threads", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(Server_Process, Killed_Mid_Traffic_It_Keeps_Every_Account_And_Acknowledged_Cell) {
    Temp_Folder temp;
    const fs::path db = temp.path / "game.db";
    Child server(Server_Args(db, {"--plain", "--register", "open", "--messages-per-second", "0"}), temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0) << Read_Whole_File(server.err).value_or("");
    const Map_Model map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
    std::vector<std::pair<int16_t, int16_t>> cells;
    for (int16_t y = 0; y < map.Map_Height; ++y)
        for (int16_t x = 0; x < map.Map_Width; ++x)
            if (map.Ground_Grid(x, y).blocked == 0) cells.emplace_back(x, y);

    constexpr int PLAYERS = 6;
    std::vector<std::unique_ptr<Wire_Player>> players;
    for (int i = 0; i < PLAYERS; ++i) {
        players.push_back(std::make_unique<Wire_Player>());
        ASSERT_TRUE(players.back()->Join(port, "kill" + std::to_string(i))) << i;
    }
    std::mt19937 random(5);
    std::vector<std::pair<int16_t, int16_t>> acknowledged(PLAYERS);
    std::vector<std::vector<std::pair<int16_t, int16_t>>> unanswered(PLAYERS);
    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < PLAYERS; ++i) {
            const auto cell = cells[random() % cells.size()];
            const std::string xy = std::to_string(cell.first) + "\\" + std::to_string(cell.second);
            players[size_t(i)]->Send("/move 0\\0\\" + xy + "/e/");
            if (round < 29) {
                ASSERT_EQ(players[size_t(i)]->Wait_For("/move " + std::to_string(players[size_t(i)]->id) + "\\"),
                          "/move " + std::to_string(players[size_t(i)]->id) + "\\" + xy);
                acknowledged[size_t(i)] = cell;
            } else {
                unanswered[size_t(i)].push_back(cell);   // in flight when the server dies
            }
        }
    }
    kill(server.pid, SIGKILL);
    const int status = server.Wait();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // The file is whole, and every account holds its last acknowledged cell, or a later one
    // whose echo had not come back yet.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(db.c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "PRAGMA integrity_check;", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(raw);
    Account_Store store;
    std::string error;
    ASSERT_TRUE(Open_Accounts(store, db.string(), error)) << error;
    EXPECT_EQ(List_Accounts(store).size(), size_t(PLAYERS));
    for (int i = 0; i < PLAYERS; ++i) {
        const std::optional<Account> a = Find_Account(store, "kill" + std::to_string(i));
        ASSERT_TRUE(a && a->has_cell) << i;
        const std::pair<int16_t, int16_t> kept{a->cell_x, a->cell_y};
        const auto& later = unanswered[size_t(i)];
        EXPECT_TRUE(kept == acknowledged[size_t(i)] || std::find(later.begin(), later.end(), kept) != later.end())
            << "kill" << i << " kept (" << kept.first << ", " << kept.second << ")";
    }
    Close_Accounts(store);
}

TEST(Server_Process, User_Commands_Then_A_Closed_Server_Lets_Only_Accounts_In) {
    Temp_Folder temp;
    const fs::path db = temp.path / "game.db";
    auto user = [&](const std::string& args, const std::string& input) {
        const std::string command = "printf '" + input + "' | '" ISO_OUT_DIR "/isoserver' --db '" + db.string() +
                                    "' --hash-ops 1 --hash-memory 8 user " + args + " > '" +
                                    (temp.path / "user.out").string() + "' 2>&1";
        const int status = std::system(command.c_str());
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                         Read_Whole_File((temp.path / "user.out").string()).value_or(""));
    };
    struct Step {
        std::string args, input;
        int status;
        std::string shows;
    };
    const Step steps[] = {
        {"add alice", "s3cret\\n", 0, "added \"alice\""},
        {"add alice", "other\\n", 1, "the name is taken"},
        {"add 'ab/e'", "x\\n", 2, "the terminator in it"},
        {"add bob", "", 2, "no password given"},
        {"add bob", "pw2\\n", 0, "added \"bob\""},
        {"passwd bob", "pw3\\n", 0, "new password for \"bob\""},
        {"ban bob cheating at cards", "", 0, "banned \"bob\""},
        {"list", "", 0, "2 accounts"},
        {"del nobody", "", 1, "no account \"nobody\""},
    };
    for (const Step& s : steps) {
        const auto [status, out] = user(s.args, s.input);
        EXPECT_EQ(status, s.status) << s.args << ": " << out;
        EXPECT_NE(out.find(s.shows), std::string::npos) << s.args << ": " << out;
    }
    const auto [status, list] = user("list", "");
    EXPECT_NE(list.find("banned: \"cheating at cards\""), std::string::npos) << list;
    EXPECT_EQ(list.find("s3cret"), std::string::npos);

    Child server(Server_Args(db, {"--plain"}), temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0);
    struct Login {
        std::string name, password, reply;
    };
    const Login logins[] = {
        {"alice", "s3cret", "/plstart "},
        {"alice", "wrong", "/err -32768\\" + To_Cp950(u"帳號或密碼錯誤")},
        {"carol", "any", "/err -32768\\" + To_Cp950(u"帳號或密碼錯誤")},
        {"bob", "pw3", "/err -32768\\" + To_Cp950(u"帳號已被停權：cheating at cards")},
    };
    for (const Login& l : logins) {
        Wire_Player p;
        ASSERT_TRUE(p.Open(port));
        p.Send("/ver 0.1 beta/e//id " + l.name + "/e//pass " + l.password + "/e/");
        const std::string reply = p.Wait_For(l.reply.substr(0, 4) == "/err" ? "/err" : "/plstart");
        EXPECT_EQ(reply.substr(0, l.reply.size()), l.reply) << l.name << "/" << l.password;
    }
    kill(server.pid, SIGTERM);
    const int end = server.Wait();
    EXPECT_TRUE(WIFEXITED(end) && WEXITSTATUS(end) == 0);
    EXPECT_NE(server.Output().find("isoserver: stopped"), std::string::npos);
    EXPECT_EQ(Read_Whole_File(server.err).value_or("").find("s3cret"), std::string::npos);
}

// The key made at the first start lies beside the database, readable by the server's user only,
// and is the one served and fingerprinted ever after; a key given with --tls-cert/--tls-key is
// served instead, and --plain says in the start-up line that nothing is encrypted.
TEST(Server_Process, Its_Key_Is_Made_Once_Kept_Private_And_Fingerprinted) {
    Temp_Folder temp;
    const std::string server = ISO_OUT_DIR "/isoserver --db '" + (temp.path / "game.db").string() + "' ";
    auto run = [&](const std::string& command) {
        const int status = std::system((command + " > '" + (temp.path / "run.out").string() + "' 2>&1").c_str());
        std::string out = Read_Whole_File((temp.path / "run.out").string()).value_or("");
        if (!out.empty() && out.back() == '\n') out.pop_back();
        return std::pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, out);
    };
    const auto [made, first] = run("(" + server + "fingerprint 2>/dev/null)");
    ASSERT_EQ(made, 0) << first;
    EXPECT_EQ(first.size(), 71u) << first;
    EXPECT_EQ(first.substr(0, 7), "SHA256:");
    for (const char* file : {"isoserver-key.pem", "isoserver-cert.pem"})
        EXPECT_EQ(fs::status(temp.path / file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write)
            << file;
    EXPECT_EQ(run(server + "fingerprint"), std::pair(0, first));

    // A key of the operator's, made by OpenSSL's own tool; its public key's digest is the fingerprint.
    const std::string key = (temp.path / "own.key").string(), cert = (temp.path / "own.crt").string();
    ASSERT_EQ(run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=game "
                  "-keyout '" +
                  key + "' -out '" + cert + "'")
                  .first,
              0);
    const auto [digested, digest] = run("openssl pkey -in '" + key + "' -pubout -outform DER | sha256sum | cut -c1-64");
    ASSERT_EQ(digested, 0);
    EXPECT_EQ(run(server + "--tls-cert '" + cert + "' --tls-key '" + key + "' fingerprint"),
              std::pair(0, "SHA256:" + digest));
    EXPECT_EQ(run(server + "--tls-cert '" + cert + "' fingerprint").first, 1);

    for (const auto& [options, says] : {std::pair<std::string, std::string>{"", "(TLS, key " + first + ";"},
                                        {"--plain", "(PLAIN: no TLS, everything in clear text;"}}) {
        Child child(Server_Args(temp.path / "game.db", {options.empty() ? "--stats" : options}), temp.path, "server");
        ASSERT_NE(Listening_Port(child), 0);
        EXPECT_NE(child.Output().find(says), std::string::npos) << child.Output();
    }
}

// Under ThreadSanitizer every thread runs several times slower: a third of the load there.
#if defined(__SANITIZE_THREAD__)
constexpr int SOAK_BOTS = 100, SOAK_CHAOS = 20;
#else
constexpr int SOAK_BOTS = 300, SOAK_CHAOS = 50;
#endif

// 300 well-behaved bots beside 50 chaos bots for 30 s, over TLS: the well-behaved ones see no error, no
// lost echo and no disconnect; the server's memory stays put and it leaks no descriptor.
TEST(Server_Process, Short_Soak_With_Chaos_Bots) {
    Temp_Folder temp;
    Child server(Server_Args(temp.path / "soak.db", {"--register", "open", "--connects-per-minute", "0", "--max-checks",
                                                     "4000", "--login-seconds", "5", "--log-per-second", "20"}),
                 temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0);
    Child bots({ISO_OUT_DIR "/isobot", "--port", std::to_string(port), "--bots", std::to_string(SOAK_BOTS), "--chaos",
                std::to_string(SOAK_CHAOS), "--seconds", "30", "--map", ISO_OUT_DIR "/data/testmap.map", "--watch",
                std::to_string(server.pid), "--watch-after", "10"},
               temp.path, "bots");
    const int status = bots.Wait();
    const std::string out = bots.Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find(std::to_string(SOAK_BOTS) + " logged in, 0 refused, 0 lost, 0 errors, 0 echoes missing"),
              std::string::npos)
        << out;
    auto figure = [&](const std::string& key) {
        const size_t at = out.find(key + "=");
        return at == std::string::npos ? -1LL : std::atoll(out.c_str() + at + key.size() + 1);
    };
    const long long first = figure("rss_first_kb"), end = figure("rss_end_kb");
    ASSERT_GT(first, 0) << out;
    ASSERT_GT(end, 0) << out;
#if !defined(__SANITIZE_ADDRESS__)
    // (The sanitizer's quarantine keeps freed memory on purpose: no bound under it.)
    EXPECT_LE(end, first + first / 10) << out;
#endif
    EXPECT_EQ(figure("fd_after"), figure("fd_before")) << out;
    EXPECT_GT(figure("fd_load"), SOAK_BOTS) << out;
    std::printf("%s", out.c_str());
}

}   // namespace
