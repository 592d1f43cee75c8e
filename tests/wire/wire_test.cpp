// wire_test.cpp -- the message stream: any cutting of a byte stream into receipts gives the same
// messages, and an oversized message is dropped whole however its bytes arrive.
#include "wire/wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the stream yields for the receipts: each message, or "!N" for an oversized one of N bytes.
std::vector<std::string> Cut_All(const std::vector<std::string>& receipts, size_t limit, size_t* most_held = nullptr) {
    Message_Stream stream;
    std::vector<std::string> out;
    std::string message;
    size_t size = 0;
    for (const std::string& receipt : receipts) {
        stream.bytes += receipt;
        for (Cut_Result cut; (cut = Cut_Message(stream, limit, message, size)) != Cut_Result::None;)
            out.push_back(cut == Cut_Result::Message ? message : std::string(1, '!').append(std::to_string(size)));
        if (most_held) *most_held = std::max(*most_held, stream.bytes.size() - stream.pos);
    }
    return out;
}

TEST(Message_Stream, Every_Cut_Of_The_Stream_Gives_The_Same_Messages) {
    const std::string big(40, 'x');
    const std::string stream = "/a 1/e/" + big + "/e//b/#e/$/e//e/" + big + "/" + big + "/e//c 2/e/tail";
    const std::vector<std::string> expected = {"/a 1", "!40", "/b/#e/$", "", "!81", "/c 2"};
    EXPECT_EQ(Cut_All({stream}, 32), expected);
    // Two and three receipts, cut at every place (terminators split every way among them).
    for (size_t i = 0; i <= stream.size(); ++i) {
        EXPECT_EQ(Cut_All({stream.substr(0, i), stream.substr(i)}, 32), expected) << i;
        for (size_t j = i; j <= stream.size(); j += 7) {
            size_t held = 0;
            EXPECT_EQ(Cut_All({stream.substr(0, i), stream.substr(i, j - i), stream.substr(j)}, 32, &held), expected)
                << i << " " << j;
            // An oversized message is not kept while it arrives: a receipt and the limit at most.
            EXPECT_LE(held, stream.size() - std::min(i, stream.size() - i) + 32 + 2) << i << " " << j;
        }
    }
    // A message of exactly the limit is a message; one byte more is not.
    EXPECT_EQ(Cut_All({std::string(32, 'm') + "/e/" + std::string(33, 'm') + "/e/"}, 32),
              (std::vector<std::string>{std::string(32, 'm'), "!33"}));
}

}   // namespace
