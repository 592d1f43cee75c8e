// framing_test.cpp -- escaping, text cutting, numeric fields, outgoing formats and receipts cut
// anywhere, including Big5 text whose second bytes look like framing characters.
#include <random>

#include "net_fixture.h"

namespace {

TEST(Escaping, Table_And_Round_Trip) {
    struct Case {
        std::u16string text, wire;
    };
    const Case cases[] = {
        {u"", u""},           {u"abc", u"abc"},       {u"a/b\\c", u"a/#b/$c"}, {u"/e/", u"/#e/#"},
        {u"/$", u"/#$"},      {u"\\", u"/$"},         {u"//", u"/#/#"},        {u"/#", u"/##"},
        {u"\\\\/", u"/$/$/#"}, {u"你好/\\", u"你好/#/$"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Escape_Text(c.text), c.wire) << To_Utf8(c.text);
        EXPECT_EQ(Unescape_Text(c.wire), c.text) << To_Utf8(c.wire);
    }

    // Any text over the characters that matter survives, and its escaped form can hold neither
    // a field separator nor a terminator.
    std::mt19937 random(5);
    const char16_t alphabet[] = {u'/', u'\\', u'#', u'$', u'e', u'a', u' '};
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        for (int i = int(random() % 12); i > 0; --i) text += alphabet[random() % 7];
        std::u16string wire = Escape_Text(text);
        EXPECT_EQ(Unescape_Text(wire), text);
        EXPECT_EQ(wire.find(u'\\'), std::u16string::npos);
        EXPECT_EQ(wire.find(u"/e/"), std::u16string::npos);
        for (size_t i = 0; i < wire.size(); ++i) {
            bool escape_follows = i + 1 < wire.size() && (wire[i + 1] == u'#' || wire[i + 1] == u'$');
            EXPECT_TRUE(wire[i] != u'/' || escape_follows);
        }
    }
}

TEST(Text_Cutting, Before_After_And_Fields) {
    struct Cut {
        std::u16string text, separator, before, after;
    };
    const Cut cuts[] = {
        {u"/verok x", u" ", u"/verok", u"x"},
        {u"/ready ", u" ", u"/ready", u""},
        {u"/verok", u" ", u"", u""},          // no space: no command
        {u"x", u"x", u"", u""},               // fewer than two characters
        {u" x", u" ", u"", u"x"},
        {u"a b c", u" ", u"a", u"b c"},
        {u"ab", u"", u"", u""},               // empty separator
        {u"a/e/b", u"/e/", u"a", u"e/b"},     // the last L - p characters
        {u"/say 你好 嗎", u" ", u"/say", u"你好 嗎"},
    };
    for (const Cut& c : cuts) {
        EXPECT_EQ(Text_Before(c.text, c.separator), c.before) << To_Utf8(c.text);
        EXPECT_EQ(Text_After(c.text, c.separator), c.after) << To_Utf8(c.text);
    }

    struct Field {
        std::u16string text;
        int32_t n;
        std::u16string field;
    };
    const Field fields[] = {
        {u"12\\bob\\x\\y", 0, u"12"}, {u"12\\bob\\x\\y", 1, u"bob"}, {u"12\\bob\\x\\y", 3, u"y"},
        {u"12\\bob\\x\\y", 4, u""},   {u"12", 1, u""},              {u"12", 0, u"12"},
        {u"", 0, u""},                {u"a\\\\b", 1, u""},          {u"a\\\\b", 2, u"b"},
        {u"a\\", 1, u""},             {u"a\\b", -1, u""},           {u"a\\b", 32765, u""},
    };
    for (const Field& f : fields) EXPECT_EQ(Get_Field(f.text, u"\\", f.n), f.field) << To_Utf8(f.text) << " " << f.n;
}

TEST(Numeric_Fields, Only_Decimal_16_Bit_Integers) {
    const std::pair<std::u16string, int16_t> good[] = {
        {u"7", 7},           {u"07", 7},           {u"-3", -3}, {u"0", 0}, {u"-0", 0},
        {u"32767", 32767},   {u"-32768", -32768},  {u"0000000000000000000012", 12},
    };
    for (const auto& [text, value] : good) {
        std::optional<int16_t> n = Field_Number(text);
        ASSERT_TRUE(n.has_value()) << To_Utf8(text);
        EXPECT_EQ(*n, value) << To_Utf8(text);
    }
    const std::u16string bad[] = {u"",      u"-",      u"+7",    u" 7",    u"7 ",    u"7x",   u"x7",
                                  u"32768", u"-32769", u"70000", u"99999999999999999999", u"１", u"0x1F", u"1.0"};
    for (const std::u16string& text : bad) EXPECT_FALSE(Field_Number(text).has_value()) << To_Utf8(text);
}

TEST_F(Net_Test, Outgoing_Messages_Byte_For_Byte_Each_With_One_Yield) {
    struct Sent {
        void (*send)();
        std::string wire;
    };
    const Sent sends[] = {
        {[] { Send_Message(u"/ready", u""); }, "/ready /e/"},
        {[] { Send_Version(); }, "/ver 0.1 beta/e/"},
        {[] { Send_Move(12, 7, 15, 9); }, "/move 12\\7\\15\\9/e/"},
        {[] { Send_Move(-3, 0, 32767, -32768); }, "/move -3\\0\\32767\\-32768/e/"},
        {[] { Send_Message(u"/got", u"15\\9"); }, "/got 15\\9/e/"},
        {[] { Send_Message(u"/say", Escape_Text(u"a/b")); }, "/say a/#b/e/"},
        {[] { Send_Message(u"/say", Escape_Text(u"許功蓋")); }, "/say \xB3\x5C\xA5\x5C\xBB\x5C/e/"},
    };
    for (const Sent& s : sends) {
        socket.sent.clear();
        int64_t polls = window.polls;
        s.send();
        EXPECT_EQ(socket.sent, s.wire);
        EXPECT_EQ(window.polls, polls + 1) << s.wire;
    }

    // Offline: nothing reaches the socket and nothing yields.
    Net.Offline_Mode = true;
    socket.sent.clear();
    int64_t polls = window.polls;
    Send_Move(1, 2, 3, 4);
    Send_Message(u"/ready", u"");
    EXPECT_EQ(socket.sent, "");
    EXPECT_EQ(window.polls, polls);
}

TEST_F(Net_Test, Commands_Match_Lower_Cased_And_Need_Their_Space) {
    Net.Login_Id = u"me";
    const std::pair<std::u16string, std::string> cases[] = {
        {u"/verok x/e/", "/id me/e/"},
        {u"/VerOK x/e/", "/id me/e/"},
        {u"/VEROK x/e/", "/id me/e/"},
        {u"/verok/e/", ""},                       // no space: no command
        {u"\r\n/verok x/e/", ""},                 // a line break in front: no match
        {u"/verokx y/e/", ""},
        {u" /verok x/e/", ""},
        {u"/verok x/e//idok y/e/", "/id me/e//pass /e/"},
    };
    for (const auto& [receipt, reply] : cases) {
        socket.sent.clear();
        Feed(receipt);
        EXPECT_EQ(socket.sent, reply) << To_Utf8(receipt);
    }
}

// The receipt below, handled whole and handled as two pieces cut at every byte (also inside a
// terminator and inside a double-byte character), leaves the same state.
TEST_F(Net_Test, A_Receipt_Cut_Anywhere_Gives_The_Same_State) {
    const std::string receipt = To_Cp950(
        u"/setpl 5\\許功蓋/e//setplxy 5\\10\\12/e//setpl 6\\四尚洞/e//setplxy 6\\80\\80/e/"
        u"/move 5\\20\\21/e//move 6\\1\\2/e//say 6\\許/$功/#蓋/e//SAY 5\\破\\x/e//setpl 7\\z/e//delpl 2/e/");
    auto run = [](const std::string& first, const std::string& second) {
        Reset_Characters();
        Reset_Scene();
        Net.Receive_Buffer.clear();
        Net.Receive_Pos = 0;
        Net.Last_Chat.clear();
        Net.In_Game = true;
        Chars.Own_Player.id = 1;
        Dispatch_Messages(first);
        Dispatch_Messages(second);
        return Net_Snapshot();
    };
    const std::string whole = run(receipt, "");
    EXPECT_EQ(whole,
              "own #1@0,0 0,0 ''/0\n"
              "許功蓋#5@10,12 ->20,21 '破'/0\n"
              "四尚洞#6@1,2 0,0 '許\\功/蓋'/0\n"
              "last '破'");
    for (size_t cut = 0; cut <= receipt.size(); ++cut)
        ASSERT_EQ(run(receipt.substr(0, cut), receipt.substr(cut)), whole) << "cut at byte " << cut;
}

TEST_F(Net_Test, Big5_Text_With_Framing_Bytes_Survives_A_Say_Round_Trip) {
    // Second bytes 0x5C ("\"), 0x7C ("|") and 0x7D ("}"), with the escapes' own characters.
    const std::u16string text = u"許功蓋 四尚 洞破 a/b\\c /e/";
    const std::string bytes = To_Cp950(u"許功蓋四尚洞破");
    ASSERT_EQ(bytes.size(), 14u);
    const unsigned char seconds[] = {0x5C, 0x5C, 0x5C, 0x7C, 0x7C, 0x7D, 0x7D};
    for (size_t i = 0; i < 7; ++i) ASSERT_EQ(uint8_t(bytes[2 * i + 1]), seconds[i]) << i;

    Chars.Own_Player.id = 1;
    Net.In_Game = true;
    Feed(u"/setpl 5\\x/e/");
    Send_Message(u"/say", Escape_Text(text));
    // The server sends the data back as received, behind the speaker's identifier.
    std::string data = socket.sent.substr(5, socket.sent.size() - 5 - 3);
    Dispatch_Messages("/say 5\\" + data + "/e//say 1\\" + data + "/e/");
    EXPECT_EQ(Net.Last_Chat, text);
    EXPECT_EQ(Chars.Players[0].chat_text, text);
    EXPECT_EQ(Chars.Own_Player.chat_text, text);
}

}  // namespace
