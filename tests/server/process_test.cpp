// process_test.cpp -- isoserver as a program: killed with SIGKILL in the middle of traffic, its
// database still holds every account and every cell it acknowledged; a client clicking a walled-in
// cell; the "user" commands; its key; bots and chaos bots over TLS for a few seconds.
#include <random>

#include "client_walk.h"
#include "server_process.h"

namespace {

TEST(Server_Process, Killed_Mid_Traffic_It_Keeps_Every_Account_And_Acknowledged_Cell) {
    Temp_Folder temp;
    const fs::path db = temp.path / "game.db";
    Child server(Server_Args(db, {"--plain", "--register", "open", "--messages-per-second", "0"}), temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0) << Read_Whole_File(server.err).value_or("");
    const Map_Model map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
    auto free = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < map.Map_Width && y < map.Map_Height && map.Ground_Grid(x, y).blocked == 0;
    };

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
            // Clicks on the cells beside the one it was placed on, faster than it could walk: each
            // is taken, since the player may still stand on its first cell.
            Wire_Player& p = *players[size_t(i)];
            std::pair<int16_t, int16_t> cell{p.x, p.y};
            for (int tries = 0; tries < 16 && cell == std::pair(p.x, p.y); ++tries) {
                const Cell_Step s = CELL_STEPS[1 + 2 * (random() % 4)];
                if (free(p.x + s.x, p.y + s.y)) cell = {int16_t(p.x + s.x), int16_t(p.y + s.y)};
            }
            const std::string xy = std::to_string(cell.first) + "\\" + std::to_string(cell.second);
            p.Send("/move " + std::to_string(p.x) + "\\" + std::to_string(p.y) + "\\" + xy + "/e/");
            if (round < 29) {
                ASSERT_EQ(p.Wait_For("/move " + std::to_string(p.id) + "\\"),
                          "/move " + std::to_string(p.id) + "\\" + xy)
                    << "round " << round << "\n"
                    << Read_Whole_File(server.err).value_or("");
                acknowledged[size_t(i)] = cell;
            } else {
                unanswered[size_t(i)].push_back(cell);   // in flight when the server dies
            }
        }
    }
    kill(server.pid, SIGKILL);
    const int status = server.Wait();
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    // Every account holds its last acknowledged cell, or a later one whose echo had not come back yet.
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

// The real client on the default world, logged in beside a pocket of free cells that walls shut
// in, clicks one: it stays connected and where it stood, and is not saved in the pocket.
TEST(Server_Process, A_Client_Clicking_A_Walled_In_Cell_Stays_Connected_And_Where_It_Was) {
    Temp_Folder temp;
    const fs::path db = temp.path / "game.db";
    const Map_Model map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
    const Walk_Regions regions = Find_Walk_Regions(map);
    std::pair<int16_t, int16_t> pocket{-1, -1}, start{-1, -1};
    for (int16_t y = 0; y < map.Map_Height && start.first < 0; ++y)
        for (int16_t x = 0; x < map.Map_Width && start.first < 0; ++x) {
            if (map.Ground_Grid(x, y).blocked != 0 || regions.In_Largest(x, y)) continue;
            for (int dy = -3; dy <= 3 && start.first < 0; ++dy)
                for (int dx = -3; dx <= 3 && start.first < 0; ++dx)
                    if (regions.In_Largest(x + dx, y + dy)) pocket = {x, y}, start = {int16_t(x + dx), int16_t(y + dy)};
        }
    ASSERT_GE(start.first, 0) << "the default world should have a walled-in pocket";
    {
        Account_Store store;
        std::string error;
        ASSERT_TRUE(Start_Password_Hashing());
        ASSERT_TRUE(Open_Accounts(store, db.string(), error)) << error;
        ASSERT_TRUE(Create_Account(store, "player1", Hash_Password("pw", Hash_Cost{1, 8192}), 1, error)) << error;
        ASSERT_TRUE(Save_Positions(store, {{Find_Account(store, "player1")->id, start.first, start.second}}));
        Close_Accounts(store);
    }
    Child server(Server_Args(db, {"--plain"}), temp.path, "server");   // the default limits
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0) << Read_Whole_File(server.err).value_or("");

    const Clicked_Walk walk = Click_In_Game(port, u"player1", u"pw", pocket.first, pocket.second);
    EXPECT_TRUE(walk.clicked);
    EXPECT_TRUE(walk.heard_back) << "still connected after 600 frames of reports";
    EXPECT_EQ(walk.raised, -1);
    EXPECT_EQ(std::pair(walk.start_x, walk.start_y), start);
    EXPECT_EQ(std::pair(walk.end_x, walk.end_y), start);
    kill(server.pid, SIGTERM);
    server.Wait();
    const std::string log = Read_Whole_File(server.err).value_or("");
    EXPECT_NE(log.find("refused a move"), std::string::npos) << log;
    EXPECT_EQ(log.find("too fast"), std::string::npos) << log;
    Account_Store store;
    std::string error;
    ASSERT_TRUE(Open_Accounts(store, db.string(), error)) << error;
    const std::optional<Account> kept = Find_Account(store, "player1");
    ASSERT_TRUE(kept && kept->has_cell);
    EXPECT_EQ(std::pair(kept->cell_x, kept->cell_y), start);
    Close_Accounts(store);
}

TEST(Server_Process, User_Commands_Then_A_Closed_Server_Lets_Only_Accounts_In) {
    Temp_Folder temp;
    const fs::path db = temp.path / "game.db";
    auto user = [&](const std::string& args, const std::string& input) {
        return Run_Shell("printf '" + input + "' | '" ISO_OUT_DIR "/isoserver' --db '" + db.string() +
                             "' --hash-ops 1 --hash-memory 8 user " + args,
                         temp.path);
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
        {"list", "", 0, "banned: \"cheating at cards\""},
        {"del nobody", "", 1, "no account \"nobody\""},
    };
    for (const Step& s : steps) {
        const auto [status, out] = user(s.args, s.input);
        EXPECT_EQ(status, s.status) << s.args << ": " << out;
        EXPECT_NE(out.find(s.shows), std::string::npos) << s.args << ": " << out;
    }

    Child server(Server_Args(db, {"--plain"}), temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0);
    struct Login {
        std::string name, password, reply;
    };
    const Login logins[] = {
        {"alice", "s3cret", "/plstart "},
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
    auto run = [&](const std::string& command) { return Run_Shell(command, temp.path); };
    const auto [made, first] = run(server + "fingerprint 2>/dev/null");
    ASSERT_EQ(made, 0) << first;
    EXPECT_TRUE(first.size() == 71 && first.starts_with("SHA256:")) << first;
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

// Well-behaved bots beside chaos bots over TLS, for a few seconds (the long soak is
// bench/server_load.sh's): the well-behaved ones see no error and no lost echo, and the server
// keeps no descriptor of theirs. Under ThreadSanitizer this is the network threads' load.
TEST(Server_Process, Bots_Beside_Chaos_Bots_Over_Tls) {
    Temp_Folder temp;
    Child server(Server_Args(temp.path / "soak.db", {"--register", "open", "--connects-per-minute", "0", "--max-checks",
                                                     "4000", "--login-seconds", "5", "--log-per-second", "20"}),
                 temp.path, "server");
    const uint16_t port = Listening_Port(server);
    ASSERT_NE(port, 0);
    Child bots({ISO_OUT_DIR "/isobot", "--port", std::to_string(port), "--bots", "60", "--chaos", "15", "--seconds",
                "8", "--map", ISO_OUT_DIR "/data/testmap.map", "--watch", std::to_string(server.pid)},
               temp.path, "bots");
    const int status = bots.Wait();
    const std::string out = bots.Output();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_NE(out.find("60 logged in, 0 refused, 0 lost, 0 errors, 0 echoes missing"), std::string::npos) << out;
    auto figure = [&](const std::string& key) {
        const size_t at = out.find(key + "=");
        return at == std::string::npos ? -1LL : std::atoll(out.c_str() + at + key.size() + 1);
    };
    EXPECT_GT(figure("fd_load"), 60) << out;
    EXPECT_EQ(figure("fd_after"), figure("fd_before")) << out;
}

}   // namespace
