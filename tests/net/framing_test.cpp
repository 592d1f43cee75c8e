// framing_test.cpp -- escaping, text cutting, numeric fields, outgoing formats and receipts cut
// anywhere, including Big5 text whose second bytes look like framing characters.
#include "net_fixture.h"

namespace {

TEST(Text_Operations, Escaping_Cutting_Fields_And_Numbers) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},       {u"a/b\\c", u"a/#b/$c"}, {u"/e/", u"/#e/#"},    {u"/$", u"/#$"},
        {u"//", u"/#/#"}, {u"/#", u"/##"},         {u"\\\\/", u"/$/$/#"}, {u"你好/\\", u"你好/#/$"}};
    for (const auto& [text, wire] : cases) {
        EXPECT_EQ(Escape_Text(text), wire) << To_Utf8(text);
        EXPECT_EQ(Unescape_Text(wire), text) << To_Utf8(wire);
    }
    // The text after is the last L - p characters, so "a/e/b" leaves "e/b".
    const std::tuple<std::u16string, std::u16string, std::u16string, std::u16string> cuts[] = {
        {u"/verok x", u" ", u"/verok", u"x"},
        {u"/ready ", u" ", u"/ready", u""},
        {u"/verok", u" ", u"", u""},
        {u"x", u"x", u"", u""},
        {u" x", u" ", u"", u"x"},
        {u"a b c", u" ", u"a", u"b c"},
        {u"ab", u"", u"", u""},
        {u"a/e/b", u"/e/", u"a", u"e/b"}};
    for (const auto& [text, separator, before, after] : cuts) {
        EXPECT_EQ(Text_Before(text, separator), before) << To_Utf8(text);
        EXPECT_EQ(Text_After(text, separator), after) << To_Utf8(text);
    }
    const std::tuple<std::u16string, int32_t, std::u16string> fields[] = {{u"12\\bob\\x\\y", 1, u"bob"},
                                                                          {u"12\\bob\\x\\y", 3, u"y"},
                                                                          {u"12\\bob\\x\\y", 4, u""},
                                                                          {u"12", 1, u""},
                                                                          {u"12", 0, u"12"},
                                                                          {u"a\\\\b", 1, u""},
                                                                          {u"a\\\\b", 2, u"b"},
                                                                          {u"a\\", 1, u""},
                                                                          {u"a\\b", -1, u""},
                                                                          {u"a\\b", 32765, u""}};
    for (const auto& [text, n, field] : fields) EXPECT_EQ(Get_Field(text, u"\\", n), field) << To_Utf8(text) << n;

    // Numbers: only decimal 16-bit integers.
    const std::pair<std::u16string, std::optional<int16_t>> numbers[] = {
        {u"07", 7},        {u"-3", -3},         {u"-0", 0},
        {u"32767", 32767}, {u"-32768", -32768}, {u"0000000000000000000012", 12},
        {u"", {}},         {u"-", {}},          {u"+7", {}},
        {u" 7", {}},       {u"7 ", {}},         {u"7x", {}},
        {u"32768", {}},    {u"-32769", {}},     {u"99999999999999999999", {}},
        {u"１", {}},       {u"0x1F", {}},       {u"1.0", {}}};
    for (const auto& [text, value] : numbers) EXPECT_EQ(Field_Number(text), value) << To_Utf8(text);
}

// Each message goes out whole and yields once; replies to the server are matched lower-cased,
// need their space, and go out whenever (and as often as) asked; offline nothing goes out.
TEST_F(Net_Test, Outgoing_Messages_And_Replies_Byte_For_Byte_Each_With_One_Yield) {
    Net.Link.Login_Id = u"a/b";
    Net.Link.Login_Password = u"p\\w";
    const std::tuple<void (*)(), std::string, int> sends[] = {
        {[] { Send_Message(u"/ready", u""); }, "/ready /e/", 1},
        {[] { Send_Version(); }, "/ver 0.1 beta/e/", 1},
        {[] { Send_Move(-3, 0, 32767, -32768); }, "/move -3\\0\\32767\\-32768/e/", 1},
        {[] { Send_Message(u"/say", Escape_Text(u"許功蓋/")); }, "/say \xB3\x5C\xA5\x5C\xBB\x5C/#/e/", 1},
        {[] { Feed(u"/VerOK x/e/"); }, "/id a/#b/e/", 1},
        {[] { Feed(u"/verok/e/\r\n/verok x/e//verokx y/e/ /verok x/e/"); }, "", 0},   // no space, or not first
        {[] { Feed(u"/IDOK y/e//verok x/e//verok /e/"); }, "/pass p/$w/e//id a/#b/e//id a/#b/e/", 3},
        {[] {
             Net.Link.Login_Id.clear();
             Feed(u"/verok x/e/");
         },
         "/id /e/", 1},
        {[] {
             Net.Offline_Mode = true;
             Send_Move(1, 2, 3, 4);
             Send_Message(u"/ready", u"");
         },
         "", 0},
    };
    for (const auto& [send, wire, yields] : sends) {
        socket.sent.clear();
        int64_t polls = window.polls;
        send();
        EXPECT_EQ(socket.sent, wire);
        EXPECT_EQ(window.polls, polls + yields) << wire;
    }
}

// The receipt below, handled whole and handled as two pieces cut at every byte (also inside a
// terminator and inside a double-byte character), leaves the same state.
TEST_F(Net_Test, A_Receipt_Cut_Anywhere_Gives_The_Same_State) {
    const std::string receipt = To_Cp950(
        u"/setpl 5\\許功蓋/e//setplxy 5\\10\\12/e//setpl 6\\四尚洞/e//setplxy 6\\80\\80/e/"
        u"/move 5\\20\\21/e//move 6\\1\\2/e//say 6\\許/$功/#蓋 尚洞/e//SAY 5\\破\\x/e//setpl 7\\z/e//delpl 2/e/");
    // 許功蓋 end in 0x5C ("\"), 四尚 in 0x7C ("|"), 洞破 in 0x7D ("}").
    auto run = [](const std::string& first, const std::string& second) {
        Reset_Characters();
        Reset_Net();
        Net.Link.In_Game = true;
        Chars.Own_Player.id = 1;
        Dispatch_Messages(first);
        Dispatch_Messages(second);
        return Net_Snapshot();
    };
    const std::string whole = run(receipt, "");
    EXPECT_EQ(whole,
              "own #1@0,0 0,0 ''/0\n"
              "許功蓋#5@10,12 ->20,21 '破'/0\n"
              "四尚洞#6@1,2 0,0 '許\\功/蓋 尚洞'/0\n"
              "last '破'");
    for (size_t cut = 0; cut <= receipt.size(); ++cut)
        ASSERT_EQ(run(receipt.substr(0, cut), receipt.substr(cut)), whole) << "cut at byte " << cut;
}

}   // namespace
