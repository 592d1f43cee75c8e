// dispatch_test.cpp -- the dispatcher on the game state: the table of players, numeric fields,
// the view box, the handshake replies, "/plstart" and its followers, errors, time limits, and
// hostile input.
#include <random>

#include "net_fixture.h"

namespace {

std::string Names() {
    std::string out;
    for (const Player_Record& p : Chars.Players) out += To_Utf8(p.name) + std::to_string(p.id) + " ";
    return out;
}

TEST_F(Net_Test, Player_Table_Appends_Finds_And_Removes_In_Order) {
    Chars.Own_Player.id = 1;
    Feed(u"/setpl 5\\bob/e//setplxy 5\\10\\12/e/");
    ASSERT_EQ(Chars.Players.size(), 1u);
    EXPECT_EQ(Net_Snapshot(), "own #1@0,0 0,0 ''/0\nbob#5@10,12 0,0 ''/0\nlast ''");

    // The own identifier, also written with a leading zero, adds nothing; names come as received.
    Feed(u"/setpl 1\\me/e//setpl 01\\me/e//setpl 7\\a/#b/e//setpl 9\\c/e/");
    EXPECT_EQ(Names(), "bob5 a/#b7 c9 ");
    EXPECT_EQ(Find_Player(9), 2);
    EXPECT_EQ(Find_Player(5), 0);
    EXPECT_EQ(Find_Player(4), 0);

    // "/delpl" takes a position; outside the table, or not a number, it is ignored.
    const std::pair<std::u16string, std::string> removals[] = {
        {u"/delpl 3/e/", "bob5 a/#b7 c9 "},  {u"/delpl -1/e/", "bob5 a/#b7 c9 "},
        {u"/delpl x/e/", "bob5 a/#b7 c9 "},  {u"/delpl /e/", "bob5 a/#b7 c9 "},
        {u"/delpl 0/e/", "a/#b7 c9 "},       {u"/delpl 1/e/", "a/#b7 "},
        {u"/delpl 0/e/", ""},                {u"/delpl 0/e/", ""},
    };
    for (const auto& [receipt, names] : removals) {
        Feed(receipt);
        EXPECT_EQ(Names(), names) << To_Utf8(receipt);
    }

    // Two entries with one identifier: the first is the one found and moved.
    Feed(u"/setpl 5\\x/e//setpl 5\\y/e//setplxy 05\\3\\4/e/");
    EXPECT_EQ(Net_Snapshot(), "own #1@0,0 0,0 ''/0\nx#5@3,4 0,0 ''/0\ny#5@0,0 0,0 ''/0\nlast ''");
    Feed(u"/setplxy 1\\7\\8/e/");
    EXPECT_EQ(Chars.Own_Player.cell_x, 7);
    EXPECT_EQ(Chars.Own_Player.cell_y, 8);
}

TEST_F(Net_Test, Messages_About_Unknown_Players_Or_With_Bad_Numbers_Change_Nothing) {
    Net.In_Game = true;
    Chars.Own_Player.id = 1;
    // With an empty table there is no entry 0 to touch.
    Feed(u"/setplxy 9\\1\\1/e//move 9\\2\\2/e//say 9\\hi/e//delpl 0/e/");
    EXPECT_EQ(Net_Snapshot(), "own #1@0,0 0,0 ''/0\nlast ''");

    Feed(u"/setpl 5\\bob/e/");
    const std::string before = Net_Snapshot();
    const std::u16string ignored[] = {
        u"/setplxy 9\\1\\1/e/",  u"/move 9\\2\\2/e/",     u"/say 9\\hi/e/",         // nobody holds 9
        u"/setplxy 5\\x\\1/e/",  u"/setplxy 5\\1/e/",     u"/setplxy 5\\1\\70000/e/",
        u"/move 5\\+2\\2/e/",    u"/move 5\\2\\ 2/e/",    u"/move 5\\2/e/",
        u"/say x5\\hi/e/",       u"/setpl \\z/e/",        u"/setpl 99999\\z/e/",
    };
    for (const std::u16string& receipt : ignored) {
        Feed(receipt);
        EXPECT_EQ(Net_Snapshot(), before) << To_Utf8(receipt);
    }
}

const std::pair<int16_t, int16_t> TWENTY{20, 20};

TEST_F(Net_Test, Move_Walks_Inside_The_View_Box_Inclusive_At_38_And_Places_Outside) {
    struct Case {
        int16_t view_x, view_y, cell_x, cell_y;
        bool walks;
    };
    const Case cases[] = {
        {0, 0, 10, 12, true},    {30, 30, 10, 12, false}, {0, 0, 38, 38, true},     {0, 0, 39, 0, false},
        {0, 0, 0, 39, false},    {30, 30, 30, 30, true},  {30, 30, 29, 30, false},  {30, 30, 68, 68, true},
        {30, 30, 69, 68, false}, {30, 30, 68, 69, false}, {32767, 32767, 32767, 32767, true},
        {-5, -5, -5, 33, true},
    };
    for (const Case& c : cases) {
        Reset_Characters();
        Chars.Own_Player.id = 1;
        Net.In_Game = true;
        Scene.View_X = c.view_x;
        Scene.View_Y = c.view_y;
        Add_Player(5, u"bob");
        Chars.Players[0].cell_x = c.cell_x;
        Chars.Players[0].cell_y = c.cell_y;
        Feed(u"/move 5\\20\\20/e/");
        const Player_Record& p = Chars.Players[0];
        std::string where = std::to_string(c.view_x) + " " + std::to_string(c.cell_x) + "," + std::to_string(c.cell_y);
        if (c.walks) {
            EXPECT_TRUE(p.new_target) << where;
            EXPECT_EQ(std::pair(p.target_x, p.target_y), TWENTY) << where;
            EXPECT_EQ(std::pair(p.cell_x, p.cell_y), std::pair(c.cell_x, c.cell_y)) << where;
        } else {
            EXPECT_FALSE(p.new_target) << where;
            EXPECT_EQ(std::pair(p.cell_x, p.cell_y), TWENTY) << where;
        }
    }

    // The own player always gets a walk target.
    Feed(u"/move 1\\7\\9/e/");
    EXPECT_TRUE(Chars.Own_Player.new_target);
    EXPECT_EQ(Chars.Own_Player.target_x, 7);
    EXPECT_EQ(Chars.Own_Player.target_y, 9);
}

TEST_F(Net_Test, Move_And_Say_Wait_For_The_Game_Then_Say_Sets_Chat_Texts) {
    Chars.Own_Player.id = 1;
    Feed(u"/setpl 5\\bob/e/");
    Chars.Players[0].chat_frames = 55;
    const std::string before = Net_Snapshot();
    Feed(u"/move 5\\20\\20/e//say 5\\hi/e//move 1\\2\\2/e//say 1\\me/e/");
    EXPECT_EQ(Net_Snapshot(), before);

    Net.In_Game = true;
    Feed(u"/say 5\\hello/$world/e/");
    EXPECT_EQ(Net.Last_Chat, u"hello\\world");
    EXPECT_EQ(Chars.Players[0].chat_text, u"hello\\world");
    EXPECT_EQ(Chars.Players[0].chat_frames, 0);
    Chars.Own_Player.chat_frames = 9;
    Feed(u"/SAY 1\\hi/e/");
    EXPECT_EQ(Net.Last_Chat, u"hi");
    EXPECT_EQ(Chars.Own_Player.chat_text, u"hi");
    EXPECT_EQ(Chars.Own_Player.chat_frames, 0);
    EXPECT_EQ(Chars.Players[0].chat_text, u"hello\\world");
}

TEST_F(Net_Test, Handshake_Replies_Whenever_They_Come) {
    Net.Login_Id = u"a/b";
    Net.Login_Password = u"p\\w";
    Feed(u"/idok y/e//verok x/e//verok x/e/");
    EXPECT_EQ(socket.sent, "/pass p/$w/e//id a/#b/e//id a/#b/e/");

    socket.sent.clear();
    Net.Login_Id.clear();
    Feed(u"/verok /e/");
    EXPECT_EQ(socket.sent, "/id /e/");

    // Connected: the version goes out, and the login screen says it is logging in.
    socket.sent.clear();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = 7000;
    Open_Connection();
    EXPECT_EQ(socket.host, "127.0.0.1");
    EXPECT_EQ(socket.port, 7000);
    EXPECT_EQ(Connection_Status(), u"連線中...");
    Do_Events();
    EXPECT_EQ(socket.sent, "/ver 0.1 beta/e/");
    EXPECT_EQ(Connection_Status(), u"登入中...");
}

Scripted_Socket* socket_for_game = nullptr;

TEST_F(Net_Test, Plstart_Starts_One_Game_And_Its_Followers_Run_At_The_First_Yield) {
    Net.Login_Id = u"阿明";
    // The recorded game does what the real one does first: "/ready" (one yield), then In_Game.
    Net_Recorder::in_game = [] {
        EXPECT_EQ(Chars.Own_Player.name, u"阿明");
        EXPECT_EQ(Chars.Own_Player.id, 7);
        EXPECT_TRUE(Chars.Players.empty());   // the followers wait for the game's first yield
        // The stream goes on: the rest of the cut "/say", a removal and a repeated "/plstart".
        socket_for_game->Receive(To_Cp950(u"y 1\\early/e//delpl 0/e//plstart 9/e/"));
        Send_Message(u"/ready", u"");
        // Followers first, then the newer receipt: the entry is added and removed again, the
        // "/say" before In_Game is dropped, the repeated "/plstart" only updates the identifier.
        EXPECT_EQ(Names(), "");
        EXPECT_EQ(Net.Last_Chat, u"");
        EXPECT_EQ(Chars.Own_Player.id, 9);
        Net.In_Game = true;
        socket_for_game->Receive(To_Cp950(u"/setpl 3\\c/e//move 3\\4\\4/e//say 3\\o"));
        Do_Events();
    };
    socket_for_game = &socket;
    Feed(u"/plstart 07\\more\\fields/e//setpl 5\\b/e//setplxy 5\\1\\2/e//sa");
    EXPECT_EQ(Net_Recorder::games_started, 1);
    EXPECT_EQ(Net.Phase, Link_Phase::Started);
    EXPECT_EQ(Names(), "c3 ");
    EXPECT_TRUE(Chars.Players[0].new_target);
    EXPECT_EQ(Net.Dispatch_Depth, 0);
    // The unterminated tail is still kept for the next receipt.
    Feed(u"k/e/");
    EXPECT_EQ(Net.Last_Chat, u"ok");

    // An identifier that is not a number starts nothing.
    Reset_Characters();
    Net.Game_Started = false;
    Net_Recorder::in_game = nullptr;
    Feed(u"/plstart abc/e//plstart /e/");
    EXPECT_EQ(Net_Recorder::games_started, 1);
    EXPECT_EQ(Chars.Own_Player.id, 0);
}

TEST_F(Net_Test, Errors_Close_And_Time_Limits_Raise_The_Right_Codes) {
    struct Case {
        std::u16string receipt;
        int16_t code;
        std::u16string text;
    };
    const Case cases[] = {
        {u"/err 100\\x/e/", 100, u"x"},
        {u"/ERR 10\\/e/", 10, u""},
        {u"/err -32768\\a/#b\\c/e/", -32768, u"a/#b"},   // as received, up to the next "\"
        {u"/err 007/e/", 7, u""},
        {u"/err x\\y/e//err 70000\\y/e/", 0, u"(none)"},  // not a code: ignored
    };
    for (const Case& c : cases) {
        Raised r = Raised_By(c.receipt);
        EXPECT_EQ(r.code, c.code) << To_Utf8(c.receipt);
        EXPECT_EQ(r.text, c.text) << To_Utf8(c.receipt);
    }

    auto raised_by_event = [](Socket_Event::Kind kind) {
        try {
            Handle_Socket_Event(Socket_Event{kind, {}});
        } catch (const Raised& r) {
            return int(r.code);
        }
        return -1;
    };
    EXPECT_EQ(raised_by_event(Socket_Event::Closed), 20);
    EXPECT_EQ(raised_by_event(Socket_Event::Failed), 20);
    Errors.Quitting = true;
    EXPECT_EQ(raised_by_event(Socket_Event::Closed), -1);
    EXPECT_EQ(raised_by_event(Socket_Event::Failed), -1);
    Errors.Quitting = false;

    // Time limits on the fake clock: 10 s to connect, then 30 s to "/plstart", also across the
    // wrap of the tick count.
    auto raised_at = [this](int32_t now) {
        window.now = now;
        try {
            Check_Connection();
        } catch (const Raised& r) {
            return int(r.code);
        }
        return -1;
    };
    Net.Server_Host = "127.0.0.1";
    window.now = 1000;
    Open_Connection();
    EXPECT_EQ(raised_at(10999), -1);
    EXPECT_EQ(raised_at(11000), 20);
    EXPECT_EQ(Connection_Status(), u"");

    auto later = [](int32_t tick, int32_t ms) { return int32_t(uint32_t(tick) + uint32_t(ms)); };
    Reset_Net();
    Net.Raise = Net_Recorder::Raise;
    window.now = INT32_MAX - 5000;
    int32_t asked = window.now;
    Open_Connection();
    EXPECT_EQ(raised_at(later(asked, 9999)), -1);
    Handle_Socket_Event(Socket_Event{Socket_Event::Connected, {}});
    int32_t connected = window.now;
    EXPECT_EQ(raised_at(later(connected, 29999)), -1);
    EXPECT_EQ(raised_at(later(connected, 30000)), 20);

    Reset_Net();
    Net.Raise = Net_Recorder::Raise;
    window.now = INT32_MAX - 5000;
    Open_Connection();
    EXPECT_EQ(raised_at(later(INT32_MAX - 5000, 10000)), 20);

    Reset_Net();
    Net.Raise = Net_Recorder::Raise;
    Net.Start_Game = Net_Recorder::Start_Game;
    window.now = 0;
    Open_Connection();
    Handle_Socket_Event(Socket_Event{Socket_Event::Connected, {}});
    Feed(u"/plstart 3/e/");
    EXPECT_EQ(raised_at(1000000), -1);
}

TEST_F(Net_Test, Oversized_Tails_Are_Dropped_And_Replies_Do_Not_Nest_Without_Bound) {
    Chars.Own_Player.id = 1;
    // Exactly 64 KiB without a terminator is kept and completes with the next receipt...
    std::string head = "/setpl 5\\";
    Dispatch_Messages(head + std::string(MAX_UNTERMINATED_BYTES - head.size(), 'n'));
    Dispatch_Messages("/e/");
    ASSERT_EQ(Chars.Players.size(), 1u);
    EXPECT_EQ(Chars.Players[0].name.size(), MAX_UNTERMINATED_BYTES - head.size());
    // ...one byte more is dropped whole, so the next message starts clean.
    Dispatch_Messages(head + std::string(MAX_UNTERMINATED_BYTES - head.size() + 1, 'n'));
    Dispatch_Messages("/setpl 6\\m/e/");
    EXPECT_EQ(Chars.Players.size(), 2u);
    EXPECT_EQ(Chars.Players[1].name, u"m");

    // A server that answers every reply at once: the nesting of dispatches stops at a fixed
    // depth, and every answer still goes out, in order.
    struct Echo_Socket : Scripted_Socket {
        int left = 20000;
        void Send(const std::string& bytes) override {
            sent += bytes;
            if (left-- > 0) Receive("/verok x/e/");
        }
    } echo;
    Platform.socket = &echo;
    Net.Login_Id = u"i";
    Dispatch_Messages("/verok x/e/");
    EXPECT_EQ(echo.sent.size(), 20001u * 8);
    EXPECT_EQ(echo.sent.find("/id i/e//id i/e/"), 0u);
    EXPECT_EQ(Net.Dispatch_Depth, 0);
    Platform.socket = &socket;
}

TEST_F(Net_Test, Random_Bytes_Never_Crash_The_Dispatcher) {
    std::mt19937 random(1234);
    const char* commands[] = {"/setpl ", "/setplxy ", "/move ", "/say ", "/delpl ", "/verok ", "/idok ",
                              "/plstart ", "/err ", "/SETPL ", "/say", ""};
    const char* fields[] = {"-", "7", "07", "0", "1", "32767", "-32768", "99999", " ", "\xB3\x5C", "\xA4",
                            "\x81\x40", "/$", "/#", "/e", "", "abc", "\xFF\xFF"};
    Net.In_Game = true;
    Chars.Own_Player.id = 3;
    Net.Login_Id = u"f";
    int raised = 0;
    for (int round = 0; round < 3000; ++round) {
        // Mostly messages with random fields, some raw bytes, cut at a random place.
        std::string stream;
        for (int piece = int(random() % 12); piece > 0; --piece) {
            if (random() % 5 == 0) {
                for (int n = int(random() % 8); n > 0; --n) stream += char(random() % 256);
                continue;
            }
            stream += commands[random() % std::size(commands)];
            for (int f = int(random() % 5); f > 0; --f) {
                stream += fields[random() % std::size(fields)];
                if (f > 1) stream += "\\";
            }
            stream += "/e/";
        }
        size_t cut = stream.empty() ? 0 : random() % stream.size();
        for (const std::string& receipt : {stream.substr(0, cut), stream.substr(cut)}) {
            try {
                Dispatch_Messages(receipt);
            } catch (const Raised&) {
                ++raised;
            }
        }
        ASSERT_LE(Chars.Players.size(), 32767u);
        ASSERT_LE(Net.Receive_Buffer.size() - Net.Receive_Pos, MAX_UNTERMINATED_BYTES);
        if (round % 500 == 0) Chars.Players.clear();
    }
    // The rounds did reach the handlers, not only the framing.
    EXPECT_GT(raised, 0);
    EXPECT_GT(socket.sent.size(), 0u);
    EXPECT_GT(Net_Recorder::games_started, 0);

    // The table stops at 32767 entries.
    Chars.Players.clear();
    for (int i = 0; i < 32767; ++i) Add_Player(int16_t(i), u"");
    Feed(u"/setpl 5\\one too many/e/");
    EXPECT_EQ(Chars.Players.size(), 32767u);
    EXPECT_EQ(Chars.Players.back().id, 32766);
}

}  // namespace
