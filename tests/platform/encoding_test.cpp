// encoding_test.cpp -- UTF-16 to and from UTF-8 and code page 950, and the typed-character codes.
#include <gtest/gtest.h>

#include <string>

#include "platform/encoding.h"

namespace {

TEST(Encoding, Utf8RoundTripsAndBrokenInput) {
    const std::u16string texts[] = {u"", u"abc", u"哇係TAVREN", u"é ß ü", u"\U0001F600 smile", u"許功蓋"};
    for (const std::u16string& t : texts) EXPECT_EQ(From_Utf8(To_Utf8(t)), t);
    EXPECT_EQ(To_Utf8(u"你"), "\xE4\xBD\xA0");
    EXPECT_EQ(To_Utf8(u"\U0001F600"), "\xF0\x9F\x98\x80");

    // Broken UTF-8: each bad byte becomes U+FFFD and its neighbours survive.
    const std::pair<std::string, std::u16string> broken[] = {
        {"a\xFF" "b", u"a\uFFFDb"},
        {"a\xE4\xBD", u"a\uFFFD\uFFFD"},    // cut in the middle of a character
        {"\xE4" "a\xBD", u"\uFFFDa\uFFFD"},  // a lead byte without its continuation
        {"x\x80y", u"x\uFFFDy"},
    };
    for (const auto& [in, out] : broken) EXPECT_EQ(From_Utf8(in), out);
    // A lone surrogate in memory goes out as U+FFFD, not as invalid UTF-8.
    EXPECT_EQ(To_Utf8(std::u16string(u"a\xD800z")), "a\xEF\xBF\xBDz");
}

TEST(Encoding, CodePage950RoundTripsAndUnmappableCharacters) {
    // The second bytes of 許, 功 and 蓋 are 0x5C, a backslash in ASCII.
    EXPECT_EQ(To_Cp950(u"許功蓋"), "\xB3\x5C\xA5\x5C\xBB\x5C");
    EXPECT_EQ(From_Cp950("\xB3\x5C\xA5\x5C\xBB\x5C"), u"許功蓋");
    const std::u16string texts[] = {u"", u"/say 你好嗎/e/", u"哇係TAVREN", u"找不到檔案 : images\\err.bmp"};
    for (const std::u16string& t : texts) EXPECT_EQ(From_Cp950(To_Cp950(t)), t);

    // A character code page 950 cannot hold becomes "?" and leaves both neighbours intact.
    const std::pair<std::u16string, std::string> unmappable[] = {
        {u"許é功", "\xB3\x5C?\xA5\x5C"},
        {u"你\U0001F600好", "\xA7\x41?\xA6\x6E"},
        {u"aกb", "a?b"},
        {u"\U0001F600", "?"},
    };
    for (const auto& [in, out] : unmappable) EXPECT_EQ(To_Cp950(in), out);

    // Undecodable bytes become U+FFFD; the byte after a bad lead byte is read again.
    const std::pair<std::string, std::u16string> undecodable[] = {
        {"A\xFF" "B", u"A\uFFFDB"},
        {"\xA1\x30", u"\uFFFD0"},
        {"ok\xB3", u"ok\uFFFD"},   // a lead byte cut off at the end
    };
    for (const auto& [in, out] : undecodable) EXPECT_EQ(From_Cp950(in), out);
}

TEST(Encoding, LoneSurrogatesDoNotSwallowTheirNeighbours) {
    EXPECT_EQ(To_Cp950(std::u16string(u"a\xD800z")), "a?z");
    EXPECT_EQ(To_Cp950(std::u16string(u"\xDC00\x8A31")), "?\xB3\x5C");
    EXPECT_EQ(To_Cp950(std::u16string(u"許\xD800")), "\xB3\x5C?");
}

TEST(Encoding, InputCodesAreSignedDoubleByteCodes) {
    struct Case {
        char16_t c;
        int16_t code;
    };
    const Case cases[] = {
        {u'a', 97},  {u' ', 32}, {u'~', 126},
        {u'你', int16_t(0xA741)}, {u'好', int16_t(0xA66E)}, {u'嗎', int16_t(0xB6DC)},
        {u'許', int16_t(0xB35C)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Input_Code(c.c), c.code) << int(c.c);
        EXPECT_EQ(Input_Char(c.code), c.c) << c.code;
    }
    EXPECT_LT(Input_Code(u'你'), 0);
    // No code: characters outside code page 950, and half of a surrogate pair.
    for (char16_t c : {u'é', u'ก', char16_t(0xD83D), char16_t(0xDE00)}) EXPECT_EQ(Input_Code(c), 0) << int(c);
    // Codes that name no character.
    for (int16_t code : {int16_t(200), int16_t(0x7FFF), int16_t(0xFFFF), int16_t(0xA130)})
        EXPECT_EQ(Input_Char(code), 0) << code;
}

}  // namespace
