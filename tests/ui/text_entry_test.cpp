// text_entry_test.cpp -- typed codes on a one-line entry, as the chat line and the login fields
// take them.
#include "ui/text_entry.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/encoding.h"

namespace {

TEST(Text_Entry, Takes_Printable_Ascii_Under_The_Limit_And_Double_Byte_Always) {
    const int16_t ni = Input_Code(u'你');
    ASSERT_LT(ni, 0);
    std::vector<int16_t> full(99, 'a');
    full.insert(full.end(), {'b', 'c', ni, 'd'});
    const struct {
        const char* what;
        int16_t max_length;
        std::vector<int16_t> codes;
        std::u16string expected;
    } cases[] = {
        {"backspace removes the last", 100, {'a', 'b', 'c', 8}, u"ab"},
        {"backspace on empty", 100, {8, 8}, u""},
        {"controls and Enter ignored, 127 taken", 100, {'x', 13, 27, 9, 0, 31, 127, 128, 200}, u"x\x7f"},
        {"the 101st ASCII one dropped, double-byte not", 100, full, std::u16string(99, u'a') + u"b你"},
        {"backspace takes a double-byte one whole", 100, {'a', ni, ni, 8}, u"a你"},
        {"a code with no character", 100, {'a', int16_t(-1)}, u"a"},
        {"a negative limit takes no ASCII", -1, {'a', ni}, u"你"},
    };
    for (const auto& c : cases) {
        Text_Entry entry;
        entry.max_length = c.max_length;
        for (int16_t code : c.codes) Apply_Entry_Key(entry, code);
        EXPECT_EQ(entry.text, c.expected) << c.what;
    }
}

}   // namespace
