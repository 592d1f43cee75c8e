// ops_test.cpp -- the operator's view without processes: what the metrics count at the game's
// own places, the side port's address, and the backups' rotation.
#include <sqlite3.h>

#include "backup.h"
#include "http.h"
#include "map/world_files.h"
#include "metrics.h"
#include "server_seam.h"

namespace {

using world_test::Temp_Folder;

class Ops : public Server_Seam {};

TEST_F(Ops, Logins_Cut_Offs_And_Messages_Are_Counted_Where_They_Happen) {
    options.failures_per_minute = 2;
    options.messages_per_second = 1;
    options.message_burst = 4;   // "/ver", "/id", "/pass", "/ready"
    options.flood_seconds = 1;
    Start();
    Add_Account("good", "pw");
    Add_Account("bad", "pw");
    Add_Account("locked", "pw");
    Add_Account("flooder", "pw");
    ASSERT_TRUE(Set_Ban(store, "bad", true, ""));
    Join(u"good");
    Login(u"bad", u"pw", "10.0.0.2");
    Login(u"locked", u"wrong", "10.0.0.3");
    Login(u"locked", u"wrong", "10.0.0.4");
    Login(u"locked", u"pw", "10.0.0.5");   // the account is locked now
    Peer& flooder = Join(u"flooder", u"pw", "10.0.0.6");
    for (int i = 0; i < 4 && !flooder.closed; ++i) Send(flooder, "/say a/e//say b/e//say c/e/");
    EXPECT_TRUE(flooder.closed);
    std::string reply;
    Operator_Command(game, "kick good", reply);
    Pump();
    Connect("10.0.0.7");
    Advance(int64_t(options.login_seconds) * 1000);

    const Status_Snapshot snapshot = Take_Snapshot(game, nullptr, 1);
    const std::string text = Prometheus_Text(snapshot, Process_Usage{});
    const char* const expected[] = {
        "isoserver_logins_total{outcome=\"ok\"} 2",
        "isoserver_logins_total{outcome=\"wrong_password\"} 2",
        "isoserver_logins_total{outcome=\"banned\"} 1",
        "isoserver_logins_total{outcome=\"locked\"} 1",
        "isoserver_logins_total{outcome=\"busy\"} 0",
        "isoserver_clients_cut_off_total{reason=\"flood\"} 1",
        "isoserver_clients_cut_off_total{reason=\"kicked\"} 1",
        "isoserver_clients_cut_off_total{reason=\"login_timeout\"} 1",
        "isoserver_messages_received_total{command=\"pass\"} 6",
        "isoserver_messages_received_total{command=\"ready\"} 2",
        "isoserver_messages_received_total{command=\"say\"} 2",   // then it is cut off
        "isoserver_messages_dropped_total 2",
        "isoserver_players_online 0",
        "isoserver_database_commit_seconds_count ",
    };
    for (const char* line : expected) EXPECT_NE(text.find(std::string("\n") + line), std::string::npos) << line;
}

TEST(Side_Address, Parses_The_Forms_An_Operator_Writes) {
    struct Case {
        const char* text;
        bool ok;
        const char* bind;
        uint16_t port;
    };
    const Case cases[] = {
        {"9100", true, "127.0.0.1", 9100},
        {":9100", true, "127.0.0.1", 9100},
        {"0.0.0.0:80", true, "0.0.0.0", 80},
        {"[::1]:0", true, "::1", 0},
        {"", false, "", 0},
        {"host:", false, "", 0},
        {"::1:80", false, "", 0},
        {"70000", false, "", 0},
        {"80x", false, "", 0},
    };
    for (const Case& c : cases) {
        const std::optional<Side_Address> a = Parse_Side_Address(c.text);
        EXPECT_EQ(std::tuple(a.has_value(), a ? a->bind : "", a ? a->port : 0), std::tuple(c.ok, c.bind, c.port))
            << c.text;
    }
}

TEST(Backups, Copies_Hold_The_Accounts_And_Rotation_Keeps_The_Newest) {
    Temp_Folder temp;
    const std::string db = temp / "game.db";
    Account_Store store;
    std::string error;
    ASSERT_TRUE(Open_Accounts(store, db, error)) << error;
    ASSERT_TRUE(Create_Account(store, "甲", "hash", 1, error)) << error;
    const std::string folder = Backup_Folder(db);
    const std::string foreign = folder + "/notes.txt";
    std::vector<std::string> made;
    for (int64_t day = 0; day < 4; ++day) {
        made.push_back(Backup_Into_Folder(db, folder, 1'700'000'000 + day * 86400, 2, error));
        ASSERT_FALSE(made.back().empty()) << error;
        if (day == 0) { ASSERT_TRUE(Write_Whole_File(foreign, "kept")); }
    }
    Close_Accounts(store);
    EXPECT_EQ(std::tuple(File_Exists(made[0]), File_Exists(made[1]), File_Exists(foreign)),
              std::tuple(false, false, true));
    for (size_t i = 2; i < 4; ++i) {
        Account_Store copy;
        ASSERT_TRUE(Open_Accounts(copy, made[i], error)) << error;
        EXPECT_TRUE(Find_Account(copy, "甲").has_value()) << made[i];
        Close_Accounts(copy);
    }
    // A mistyped database is an error, not an empty copy.
    EXPECT_FALSE(Backup_Database(temp / "missing.db", temp / "out.db", error));
    EXPECT_FALSE(File_Exists(temp / "out.db"));
}

}   // namespace
