// accounts_test.cpp -- logins against the account database: passwords, registration, bans,
// attempt limits, positions kept across logins, and the database file itself.
#include <sqlite3.h>

#include "map/world_files.h"
#include "server_seam.h"

namespace {

const std::u16string WRONG = Refusal(u"帳號或密碼錯誤");
const std::u16string TOO_MANY = Refusal(u"嘗試次數過多，請稍後再試");

class Accounts : public Server_Seam {};

TEST_F(Accounts, Logins_Under_Both_Registrations) {
    struct Case {
        bool open;
        const char16_t* name;
        const char16_t* password;
        std::u16string expected;   // "" : let in
    };
    const Case cases[] = {
        {false, u"阿明", u"對的", u""},     // right password
        {false, u"阿明", u"錯的", WRONG},   // wrong password
        {false, u"生人", u"對的", WRONG},   // unknown name: the same words, so names cannot be probed
        {false, u"阿明", u"", WRONG},       // empty password
        {true, u"生人", u"新的", u""},      // open: the first login makes the account
        {true, u"阿明", u"錯的", WRONG},    // open: a known name still wants its password
        {false, u"停權者", u"對的", Refusal(u"帳號已被停權：作弊")},
    };
    for (const Case& c : cases) {
        options.register_open = c.open;
        Close_Accounts(store);
        Start();
        Add_Account("阿明", "對的");
        Add_Account("停權者", "對的");
        ASSERT_TRUE(Set_Ban(store, "停權者", true, "作弊"));
        Peer& p = Login(c.name, c.password);
        SCOPED_TRACE(To_Utf8(c.name) + " / " + To_Utf8(c.password) + (c.open ? " open" : " closed"));
        EXPECT_EQ(std::tuple(p.id != 0, p.Last(u"/err"), p.closed),
                  std::tuple(c.expected.empty(), c.expected, !c.expected.empty()));
        // Only open registration makes accounts, and only with a password that is not empty.
        const bool made = Find_Account(store, To_Utf8(c.name)).has_value();
        EXPECT_EQ(made, c.name != std::u16string(u"生人") || c.open);
    }
}

TEST_F(Accounts, Passwords_Are_Kept_Only_As_Argon2id_Hashes) {
    options.register_open = true;
    Start();
    Join(u"新手", u"secret-pw");
    const std::optional<Account> a = Find_Account(store, "新手");
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->pass_hash.starts_with("$argon2id$")) << a->pass_hash;
    EXPECT_EQ(a->pass_hash.find("secret-pw"), std::string::npos);
    EXPECT_TRUE(Verify_Password(a->pass_hash, "secret-pw"));
    EXPECT_FALSE(Verify_Password(a->pass_hash, "secret-pX"));
    for (const std::string& line : log) EXPECT_EQ(line.find("secret-pw"), std::string::npos) << line;
}

TEST_F(Accounts, Failed_Attempts_Lock_The_Address_And_The_Account) {
    options.failures_per_minute = 5;
    options.lockout_seconds = 300;
    Start();
    Add_Account("甲", "pw");
    Add_Account("乙", "pw");
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Login(u"甲", u"bad", "10.0.0.1").Last(u"/err"), WRONG);
    // Locked now: the right password is refused without a check, from this address and for
    // this account from anywhere; another account from another address is not touched.
    EXPECT_EQ(Login(u"甲", u"pw", "10.0.0.1").Last(u"/err"), TOO_MANY);
    EXPECT_EQ(Login(u"乙", u"pw", "10.0.0.1").Last(u"/err"), TOO_MANY);
    EXPECT_EQ(Login(u"甲", u"pw", "10.0.0.2").Last(u"/err"), TOO_MANY);
    EXPECT_NE(Login(u"乙", u"pw", "10.0.0.2").id, 0);
    EXPECT_TRUE(Logged("too many failed attempts"));
    EXPECT_TRUE(Logged("login refused for \"甲\": wrong password"));
    // Failures spread over more than a minute do not add up; the lock ends.
    Advance(299'000);
    EXPECT_EQ(Login(u"甲", u"pw", "10.0.0.3").Last(u"/err"), TOO_MANY);
    Advance(2'000);
    EXPECT_NE(Login(u"甲", u"pw", "10.0.0.3").id, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Login(u"乙", u"bad", "10.0.0.4").Last(u"/err"), WRONG) << i;
        Advance(16'000);
    }
}

TEST_F(Accounts, The_Last_Cell_Is_Restored_Or_The_Nearest_Open_One) {
    Start();
    Add_Account("甲", "pw");
    Add_Account("乙", "pw");
    // Both last stood on one cell of the walkable region: the second to come starts beside it.
    const auto [x, y] = game.free_cells[game.free_cells.size() / 2];
    ASSERT_TRUE(Save_Positions(store, {{Find_Account(store, "甲")->id, x, y}, {Find_Account(store, "乙")->id, x, y}}));
    Peer& a = Join(u"甲");
    EXPECT_EQ(a.Last(u"/setplxy " + Num(a.id)), u"/setplxy " + Join_Numbers({a.id, x, y}));
    const Connection& b = Server_Side(Join(u"乙"));
    EXPECT_EQ(std::max(std::abs(b.cell_x - x), std::abs(b.cell_y - y)), 1) << b.cell_x << ", " << b.cell_y;
}

TEST_F(Accounts, A_Second_Login_Takes_The_Account_Over) {
    Start();
    Add_Account("甲", "pw");
    Peer& first = Join(u"甲");
    Add_Account("丙", "pw");
    Peer& third = Join(u"丙");
    Peer& second = Join(u"甲", u"pw", "10.0.0.2");
    EXPECT_EQ(first.Last(u"/err"), Refusal(u"帳號已在別處登入"));
    EXPECT_TRUE(first.closed);
    EXPECT_NE(second.id, 0);
    // 丙 saw the first 甲 leave (its position 0) and the second arrive.
    EXPECT_EQ(third.Last(u"/delpl "), u"/delpl 0");
    EXPECT_EQ(third.Last(u"/setpl "), u"/setpl " + Num(second.id) + u"\\甲");
}

TEST_F(Accounts, Operator_Commands_On_The_Console) {
    Start();
    Add_Account("甲", "pw");
    Add_Account("乙", "pw");
    Peer& a = Join(u"甲");
    Peer& b = Join(u"乙");
    std::string reply;
    EXPECT_TRUE(Operator_Command(game, "list", reply));
    EXPECT_NE(reply.find("2 players in the game"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\"甲\""), std::string::npos) << reply;
    EXPECT_TRUE(Operator_Command(game, "say 明天/維修\\停機", reply));
    Pump();
    for (Peer* p : {&a, &b}) EXPECT_EQ(p->Last(u"/say "), u"/say 0\\" + Escape_Text(u"明天/維修\\停機"));
    EXPECT_TRUE(Operator_Command(game, "kick " + std::to_string(b.id), reply));
    Pump();
    EXPECT_EQ(b.Last(u"/err"), u"/err 10\\");
    EXPECT_TRUE(b.closed);
    EXPECT_TRUE(Operator_Command(game, "ban 甲 罵人/\\x", reply));
    Pump();
    EXPECT_EQ(a.Last(u"/err"), Refusal(u"帳號已被停權：罵人x"));   // nothing in it can break the field
    EXPECT_TRUE(Find_Account(store, "甲")->banned);
    EXPECT_EQ(Login(u"甲", u"pw").Last(u"/err"), Refusal(u"帳號已被停權：罵人x"));
    EXPECT_TRUE(Operator_Command(game, "unban 甲", reply));
    EXPECT_NE(Login(u"甲", u"pw").id, 0);
    EXPECT_FALSE(Operator_Command(game, "quit", reply));
}

TEST(Account_File, Schema_Version_And_A_Newer_File_Refused) {
    const world_test::Temp_Folder folder;
    const std::string path = folder / "accounts.db";
    Account_Store store;
    std::string error;
    ASSERT_TRUE(Open_Accounts(store, path, error)) << error;
    ASSERT_TRUE(Create_Account(store, "甲", "$argon2id$x", 5, error));
    EXPECT_FALSE(Create_Account(store, "甲", "$argon2id$y", 5, error));   // names are unique
    Close_Accounts(store);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    auto one_text = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        std::string out;
        if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
            out = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
        return out;
    };
    EXPECT_EQ(one_text("PRAGMA journal_mode;"), "wal");
    EXPECT_EQ(one_text("SELECT version FROM schema_version;"), std::to_string(ACCOUNT_SCHEMA_VERSION));
    ASSERT_EQ(sqlite3_exec(db, "UPDATE schema_version SET version = 99;", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_FALSE(Open_Accounts(store, path, error));
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
}

}   // namespace
