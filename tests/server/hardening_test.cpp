// hardening_test.cpp -- what a hostile or broken client can do to the server and to the other
// players: names that would break their streams, control characters in the log, floods, clients
// that do not read, connection storms, clients that never log in.
#include "server_seam.h"

namespace {

class Hardening : public Server_Seam {
protected:
    void SetUp() override {
        Server_Seam::SetUp();
        options.register_open = true;
    }
};

TEST_F(Hardening, Names_That_Would_Break_Another_Clients_Stream_Are_Refused) {
    Start();
    Peer& watcher = Join(u"看的人");
    const std::u16string bad_names[] = {u"ab/e", u"/e",     u"a/e/b", u"ab/",       u"/",
                                        u"a\\b", u"a\x01z", u"",      u"tab\there", std::u16string(33, u'x')};
    for (const std::u16string& name : bad_names) {
        Peer& p = Login(name, u"pw");
        EXPECT_EQ(p.Last(u"/err"), Refusal(u"帳號不合規定")) << To_Utf8(name);
        EXPECT_TRUE(p.closed) << To_Utf8(name);
    }
    Peer* raw = Connect();
    Send(*raw, "/ver 0.1 beta/e//id a\xFF\x30/e/");   // bytes that are no code page 950 text
    EXPECT_EQ(raw->Last(u"/err"), Refusal(u"帳號不合規定"));
    // Names with a "/" or an "e" that cannot form the terminator go out as they are.
    const std::u16string good_names[] = {u"a/b", u"e/a", u"/ee", u"a/#b", u"許功蓋"};
    for (const std::u16string& name : good_names) {
        Peer& p = Join(name);
        ASSERT_NE(p.id, 0) << To_Utf8(name);
        EXPECT_EQ(watcher.Last(u"/setpl "), u"/setpl " + Num(p.id) + u"\\" + name);
    }
    EXPECT_EQ(watcher.Count(u"/setpl "), std::size(good_names));
    EXPECT_EQ(watcher.Last(u"/err"), u"");
}

TEST_F(Hardening, Client_Text_In_The_Log_Is_Quoted_With_Controls_Escaped) {
    Start();
    Peer& a = Join(u"甲");
    struct Case {
        std::string sent;
        std::string logged;
    };
    const Case cases[] = {
        {"/move 1\\2\\\x1b[31m\\4/e/", "dropped /move with a bad number: \"1\\\\2\\\\\\x1B[31m\\\\4\""},
        {"/got \r\n\\\x7f/e/", "dropped /got with a bad number: \"\\r\\n\\\\\\x7F\""},
        {"/x\x1b]0;pwned\x07 y/e/", "dropped an unknown message \"/x\\x1B]0;pwned\\x07 y\""},
    };
    for (const Case& c : cases) {
        Send(a, c.sent);
        EXPECT_TRUE(Logged(c.logged)) << c.logged << "\nlast: " << log.back();
    }
    Peer* v = Connect();
    Send(*v, "/ver 0.1\x1b[2J beta\"/e/");
    EXPECT_TRUE(Logged("refused version \"0.1\\x1B[2J beta\\\"\"")) << log.back();
    EXPECT_EQ(v->Last(u"/err"), u"/err 100\\遊戲版本不相容");
    Peer& n = Login(u"a\x1b[1mb", u"pw");
    EXPECT_TRUE(n.closed);
    EXPECT_TRUE(Logged("refused identifier \"a\\x1B[1mb\": a control character")) << log.back();
    for (const std::string& line : log)
        for (const char ch : line) EXPECT_FALSE((unsigned char)ch < 0x20 || ch == 0x7F) << line;
}

TEST_F(Hardening, A_Flood_Is_Dropped_Then_Cut_Off) {
    options.messages_per_second = 20;
    options.message_burst = 40;
    options.flood_seconds = 10;   // cut off past 200 dropped in 10 s
    Start();
    Peer& a = Join(u"甲");
    Peer& b = Join(u"乙");
    const size_t before = b.Count(u"/say ");
    std::string burst;
    for (int i = 0; i < 80; ++i) burst += "/say x/e/";
    Send(a, burst);
    // The burst allowance (less the login's four messages) comes through; the rest is dropped.
    EXPECT_EQ(b.Count(u"/say ") - before, 36u);
    EXPECT_FALSE(a.closed);
    Advance(1000);   // 20 more allowed
    Send(a, burst);
    EXPECT_EQ(b.Count(u"/say ") - before, 56u);
    EXPECT_FALSE(a.closed) << "a short burst is no flood";
    for (int i = 0; i < 3 && !a.closed; ++i) Send(a, burst);
    EXPECT_TRUE(a.closed);
    EXPECT_TRUE(Logged("flooding:")) << log.back();
    EXPECT_EQ(b.Last(u"/delpl "), u"/delpl 0");
    EXPECT_FALSE(b.closed);
}

TEST_F(Hardening, A_Client_That_Does_Not_Read_Is_Cut_Off_Alone) {
    options.max_output = 64 * 1024;
    options.messages_per_second = 0;
    Start();
    Peer& sleeper = Join(u"睡");
    Peer& a = Join(u"甲");
    Peer& b = Join(u"乙");
    sleeper.reading = false;
    const std::string line = "/say " + std::string(1000, 'z') + "/e/";
    for (int i = 0; i < 70 && !sleeper.closed; ++i) Send(a, line);
    EXPECT_TRUE(sleeper.closed);
    EXPECT_TRUE(Logged("does not read: more than 65536 bytes queued"));
    EXPECT_FALSE(a.closed || b.closed);
    EXPECT_EQ(b.Last(u"/delpl "), u"/delpl 0");
    Send(a, "/say still here/e/");
    EXPECT_EQ(b.Last(u"/say "), u"/say " + Num(a.id) + u"\\still here");

    // Cut off by the news of a lost connection, with no message of its own being handled.
    Peer& dozer = Join(u"丙");
    dozer.reading = false;
    while (Find_Connection(game, dozer.serial)->out.size() + 2000 < options.max_output) Send(a, line);
    const size_t room = options.max_output - Find_Connection(game, dozer.serial)->out.size();
    Send(a, "/say " + std::string(room - 14 - Num(a.id).size(), 'z') + "/e/");   // 5 bytes short
    Close_Connection(game, *Find_Connection(game, b.serial), "connection lost");
    Pump();
    EXPECT_TRUE(dozer.closed);
}

TEST_F(Hardening, Connections_Per_Address_And_Logins_That_Never_End) {
    options.connects_per_minute = 3;
    options.login_seconds = 30;
    Start();
    EXPECT_TRUE(Connect("10.0.0.5") && Connect("10.0.0.5") && Connect("10.0.0.5"));
    EXPECT_EQ(Connect("10.0.0.5"), nullptr);
    EXPECT_NE(Connect("10.0.0.6"), nullptr);
    EXPECT_TRUE(Logged("too many connections from 10.0.0.5"));
    Advance(20'000);   // one more a minute
    EXPECT_NE(Connect("10.0.0.5"), nullptr);
    EXPECT_EQ(Connect("10.0.0.5"), nullptr);
    // Half a message held open: the connection is closed once the login time is over.
    Peer& half = *peers.front();
    Send(half, "/ver 0.1 be");
    Advance(10'000);
    EXPECT_TRUE(half.closed);
    EXPECT_TRUE(Logged("did not log in within 30 s"));
    EXPECT_FALSE(peers.back()->closed);
}

}   // namespace
