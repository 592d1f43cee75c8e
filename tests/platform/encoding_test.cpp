// encoding_test.cpp -- UTF-16 to and from UTF-8 and code page 950, and the typed-character codes.
#include "platform/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Encoding, Utf8_Round_Trips_And_Broken_Input) {
    for (std::u16string t : {u"", u"哇係TAVREN", u"é ß ü", u"\U0001F600 smile"}) EXPECT_EQ(From_Utf8(To_Utf8(t)), t);
    EXPECT_EQ(To_Utf8(u"你\U0001F600"), "\xE4\xBD\xA0\xF0\x9F\x98\x80");
    // Each bad byte becomes U+FFFD and its neighbours survive, also a character cut short.
    const std::pair<std::string, std::u16string> broken[] = {{"a\377b", u"a\uFFFDb"},
                                                             {"a\xE4\xBD", u"a\uFFFD\uFFFD"},
                                                             {"\344a\xBD", u"\uFFFDa\uFFFD"},
                                                             {"x\x80y", u"x\uFFFDy"}};
    for (const auto& [in, out] : broken) EXPECT_EQ(From_Utf8(in), out);
    // A lone surrogate in memory goes out as U+FFFD, not as invalid UTF-8.
    EXPECT_EQ(To_Utf8(u"a\xD800z"), "a\xEF\xBF\xBDz");
}

TEST(Encoding, Code_Page_950_Round_Trips_Unmappable_And_Undecodable_Text) {
    // The second bytes of 許, 功 and 蓋 are 0x5C, a backslash in ASCII.
    EXPECT_EQ(To_Cp950(u"許功蓋"), "\xB3\x5C\xA5\x5C\xBB\x5C");
    for (std::u16string t : {u"許功蓋", u"/say 你好嗎/e/", u"找不到檔案 : images\\err.bmp"})
        EXPECT_EQ(From_Cp950(To_Cp950(t)), t);
    // (That what code page 950 cannot hold, a lone surrogate too, becomes one "?" between its
    // neighbours is the cp950 fuzz harness's check, on every text it makes.)
    EXPECT_EQ(To_Cp950(u"許é\U0001F600功"), "\xB3\x5C??\xA5\x5C");
    // Undecodable bytes become U+FFFD; the byte after a bad lead byte is read again.
    const std::pair<std::string, std::u16string> undecodable[] = {
        {"A\377B", u"A\uFFFDB"}, {"\xA1\x30", u"\uFFFD0"}, {"ok\xB3", u"ok\uFFFD"}};
    for (const auto& [in, out] : undecodable) EXPECT_EQ(From_Cp950(in), out);
}

TEST(Encoding, Input_Codes_Are_Signed_Double_Byte_Codes) {
    const std::pair<char16_t, int16_t> cases[] = {
        {u'a', 97}, {u'~', 126}, {u'你', int16_t(0xA741)}, {u'嗎', int16_t(0xB6DC)}, {u'許', int16_t(0xB35C)}};
    for (auto [c, code] : cases) {
        EXPECT_EQ(Input_Code(c), code) << int(c);
        EXPECT_EQ(Input_Char(code), c) << code;
    }
    // No code: characters outside code page 950, and half of a surrogate pair; no character.
    for (char16_t c : {u'é', u'ก', char16_t(0xD83D), char16_t(0xDE00)}) EXPECT_EQ(Input_Code(c), 0) << int(c);
    for (int code : {200, 0x7FFF, 0xFFFF, 0xA130}) EXPECT_EQ(Input_Char(int16_t(code)), 0) << code;
}

}   // namespace
