// dispatch_test.cpp -- the dispatcher on the game state: the table of players, numeric fields,
// the view box, "/plstart" and its followers, errors, time limits, replies that nest.
#include "net_fixture.h"

namespace {

std::string Names() {
    std::string out;
    for (const Player_Record& p : Chars.Players) out += To_Utf8(p.name) + std::to_string(p.id) + " ";
    return out;
}

TEST_F(Net_Test, Player_Table_Appends_Finds_Removes_And_Ignores_What_It_Cannot_Use) {
    Chars.Own_Player.id = 1;
    Net.Link.In_Game = true;
    // With an empty table there is no entry 0 to touch (the "/say" is only the last chat line).
    Feed(u"/setplxy 9\\1\\1/e//move 9\\2\\2/e//say 9\\hi/e//delpl 0/e/");
    EXPECT_EQ(Net_Snapshot(), "own #1@0,0 0,0 ''/0\nlast 'hi'");
    // The own identifier, also written with a leading zero, adds nothing; names come as received.
    Feed(u"/setpl 5\\bob/e//setpl 1\\me/e//setpl 01\\me/e//setpl 7\\a/#b/e//setpl 9\\c/e//setplxy 01\\7\\8/e/");
    EXPECT_EQ(Names(), "bob5 a/#b7 c9 ");
    // Unknown identifiers, bad numbers and positions outside the table change nothing.
    const std::string before = Net_Snapshot();
    for (auto receipt :
         {u"/setplxy 4\\1\\1/e/", u"/move 4\\2\\2/e/", u"/setplxy 5\\x\\1/e/", u"/setplxy 5\\1/e/",
          u"/setplxy 5\\1\\70000/e/", u"/move 5\\+2\\2/e/", u"/move 5\\2/e/", u"/say x5\\hi/e/", u"/setpl \\z/e/",
          u"/setpl 99999\\z/e/", u"/delpl 3/e/", u"/delpl -1/e/", u"/delpl x/e/", u"/delpl /e/"}) {
        Feed(receipt);
        EXPECT_EQ(Net_Snapshot(), before) << To_Utf8(receipt);
    }
    // Before the game runs, "/move" and "/say" are dropped.
    Net.Link.In_Game = false;
    Feed(u"/move 5\\20\\20/e//say 5\\hi/e//move 1\\2\\2/e//say 1\\me/e/");
    EXPECT_EQ(Net_Snapshot(), before);
    // "/delpl" takes a position, and the rest keep their order.
    for (auto [position, names] : {std::pair{u"0", "a/#b7 c9 "}, {u"1", "a/#b7 "}, {u"0", ""}}) {
        Feed(u"/delpl " + std::u16string(position) + u"/e/");
        EXPECT_EQ(Names(), names) << To_Utf8(position);
    }
    // Two entries with one identifier: the first is the one found and moved.
    Feed(u"/setpl 5\\x/e//setpl 5\\y/e//setplxy 05\\3\\4/e/");
    EXPECT_EQ(Net_Snapshot(), "own #1@7,8 0,0 ''/0\nx#5@3,4 0,0 ''/0\ny#5@0,0 0,0 ''/0\nlast 'hi'");
    // A "/say" restarts the time its text is shown.
    Net.Link.In_Game = true;
    Chars.Players[0].chat_frames = Chars.Own_Player.chat_frames = 55;
    Feed(u"/say 5\\a/e//say 1\\b/e/");
    EXPECT_EQ(Chars.Players[0].chat_frames + Chars.Own_Player.chat_frames, 0);
    // A "/say" from an identifier that no entry holds (a server's announcement is "/say 0\...")
    // is still the last chat line; it only has no head to show it above. One whose identifier is
    // no number is dropped, like any message with a bad number.
    const std::string heads = Net_Snapshot().substr(0, Net_Snapshot().rfind("last"));
    for (auto [receipt, last] : {std::pair{u"/say 0\\伺服器公告/e/", "伺服器公告"},
                                 {u"/say 4\\a/#b/e/", "a/b"},
                                 {u"/say x\\not a number/e/", "a/b"},
                                 {u"/say 32767\\/e/", ""}}) {
        Feed(receipt);
        EXPECT_EQ(Net_Snapshot(), heads + "last '" + last + "'") << To_Utf8(receipt);
    }
}

TEST_F(Net_Test, Names_And_Chat_Texts_Are_Kept_To_512_Characters) {
    // A full table with fields this long would hold gigabytes: what is kept is cut, in storage of
    // its own size.
    Net.Link.In_Game = true;
    const std::u16string huge(20000, u'長');
    Feed(u"/setpl 5\\" + huge + u"/e//say 5\\" + huge + u"/e//setpl 6\\" + huge.substr(0, 512) + u"/e/");
    ASSERT_EQ(Chars.Players.size(), 2u);
    for (const std::u16string* text :
         {&Chars.Players[0].name, &Chars.Players[0].chat_text, &Net.Link.Last_Chat, &Chars.Players[1].name}) {
        EXPECT_EQ(*text, huge.substr(0, MAX_SERVER_TEXT));
        EXPECT_LT(text->capacity(), 2 * MAX_SERVER_TEXT);
    }
}

TEST_F(Net_Test, Move_Walks_Inside_The_View_Box_Inclusive_At_38_And_Places_Outside) {
    // The view box's first column and row, the player's cell, and whether it walks or is placed.
    const std::tuple<int16_t, int16_t, int16_t, bool> cases[] = {
        {0, 10, 12, true},   {30, 10, 12, false}, {0, 38, 38, true},           {0, 39, 0, false},
        {0, 0, 39, false},   {30, 30, 30, true},  {30, 29, 30, false},         {30, 68, 68, true},
        {30, 69, 68, false}, {30, 68, 69, false}, {32767, 32767, 32767, true}, {-5, -5, 33, true},
    };
    Net.Link.In_Game = true;
    for (auto [view, x, y, walks] : cases) {
        Reset_Characters();
        Chars.Own_Player.id = 1;
        Scene.View_X = Scene.View_Y = view;
        const std::string cell = std::to_string(x) + "," + std::to_string(y);
        Feed(u"/setpl 5\\/e//setplxy 5\\" + From_Utf8(std::to_string(x) + "\\" + std::to_string(y)) + u"/e/");
        Feed(u"/move 5\\20\\20/e//move 1\\7\\9/e/");   // the own player always gets a walk target
        EXPECT_EQ(Net_Snapshot(),
                  "own #1@0,0 ->7,9 ''/0\n#5@" + (walks ? cell + " ->20,20" : "20,20 0,0") + " ''/0\nlast ''")
            << view;
    }
}

TEST_F(Net_Test, Plstart_Starts_One_Game_And_Its_Followers_Run_At_The_First_Yield) {
    Net.Link.Login_Id = u"阿明";
    // The recorded game does what the real one does first: "/ready" (one yield), then In_Game.
    in_game = [] {
        // The followers wait for the game's first yield.
        EXPECT_EQ(std::tuple(Chars.Own_Player.name, Chars.Own_Player.id, Chars.Players.size()),
                  std::tuple(u"阿明", 7, 0u));
        // The stream goes on: the rest of the cut "/say", a removal and a repeated "/plstart".
        static_cast<Scripted_Socket*>(Platform.socket)->Receive(To_Cp950(u"y 1\\early/e//delpl 0/e//plstart 9/e/"));
        Send_Message(u"/ready", u"");
        // Followers first, then the newer receipt: the entry is added and removed again, the
        // "/say" before In_Game is dropped, the repeated "/plstart" only updates the identifier.
        EXPECT_EQ(std::tuple(Names(), Net.Link.Last_Chat, Chars.Own_Player.id), std::tuple("", u"", 9));
        Net.Link.In_Game = true;
        static_cast<Scripted_Socket*>(Platform.socket)->Receive(To_Cp950(u"/setpl 3\\c/e//move 3\\4\\4/e//say 3\\o"));
        Do_Events();
    };
    Feed(u"/plstart 07\\more\\fields/e//setpl 5\\b/e//setplxy 5\\1\\2/e//sa");
    EXPECT_EQ(games_started, 1);
    EXPECT_EQ(Names(), "c3 ");
    EXPECT_TRUE(Chars.Players[0].new_target);
    // The unterminated tail is still kept for the next receipt.
    Feed(u"k/e/");
    EXPECT_EQ(Net.Link.Last_Chat, u"ok");

    // An identifier that is not a number starts nothing.
    Reset_Characters();
    Net.Link.Game_Started = false;
    in_game = nullptr;
    Feed(u"/plstart abc/e//plstart /e/");
    EXPECT_EQ(games_started, 1);
    EXPECT_EQ(Chars.Own_Player.id, 0);
}

TEST_F(Net_Test, Errors_Close_And_Time_Limits_Raise_The_Right_Codes) {
    // The text goes as received, up to the next "\"; a code that is no number reads as 0, an
    // unknown code, so the refusal still reaches the player. Without a space there is no command.
    const std::tuple<std::u16string, int, std::u16string> cases[] = {
        {u"/ERR 10\\/e/", 10, u""},     {u"/err -32768\\a/#b\\c/e/", -32768, u"a/#b"},
        {u"/err 007/e/", 7, u""},       {u"/err x\\y/e/", 0, u"y"},
        {u"/err 70000\\y/e/", 0, u"y"}, {u"/err /e/", 0, u""},
        {u"/err/e/", -1, u"-"}};
    for (const auto& [receipt, code, text] : cases) {
        raised_text = u"-";
        EXPECT_EQ(Raised_By([&] { Feed(receipt); }), code) << To_Utf8(receipt);
        EXPECT_EQ(raised_text, text) << To_Utf8(receipt);
    }
    // A close or a failure is error 20, unless the error screen is already quitting.
    for (bool quitting : {false, true})
        for (auto kind : {Socket_Event::Closed, Socket_Event::Failed}) {
            Program.Quitting = quitting;
            EXPECT_EQ(Raised_By([kind] { Handle_Socket_Event({kind, {}}); }), quitting ? -1 : 20);
        }

    // Time limits on the fake clock: 10 s to connect, then 30 s to "/plstart", also across the
    // wrap of the tick count; none once the game has started.
    for (int32_t start : {1000, INT32_MAX - 5000})
        for (int32_t limit : {10000, 30000, 1000000}) {
            Reset_Net();
            Install_Recorders();
            window.now = start;
            Open_Connection();
            if (limit > 10000) Handle_Socket_Event({Socket_Event::Connected, {}});
            if (limit > 30000) Feed(u"/plstart 3/e/");
            for (int32_t ms : {limit - 1, limit}) {
                window.now = int32_t(uint32_t(start) + uint32_t(ms));
                EXPECT_EQ(Raised_By(Check_Connection), ms == limit && limit <= 30000 ? 20 : -1) << start << " " << ms;
            }
        }
}

TEST_F(Net_Test, Replies_Do_Not_Nest_Without_Bound) {
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
    Dispatch_Messages("/verok x/e/");
    EXPECT_EQ(echo.sent.size(), 20001u * 7);
    EXPECT_EQ(echo.sent.find("/id /e//id /e/"), 0u);
    EXPECT_EQ(Net.Link.Dispatch_Depth, 0);
    Platform.socket = &socket;
}

}   // namespace
