// net_bench.cpp -- throughput of Dispatch_Messages on receipts full of "/move" and "/say".
#include <benchmark/benchmark.h>

#include "characters/player.h"
#include "net/net.h"
#include "platform/encoding.h"
#include "platform/platform.h"
#include "scene/scene.h"

namespace {

constexpr int PLAYERS = 50;
constexpr int MESSAGES = 1000;

// 50 players in the table and in the game; a receipt of 1000 messages, moves and chat lines
// alternating, the chat in Big5 with escapes.
std::string Prepare() {
    Reset_Platform();
    Reset_Characters();
    Reset_Scene();
    Reset_Net();
    Net.Link.In_Game = true;
    Chars.Own_Player.id = 1;
    for (int i = 0; i < PLAYERS; ++i) Add_Player(int16_t(100 + i), u"player");
    std::u16string text;
    for (int m = 0; m < MESSAGES; ++m) {
        std::u16string id = std::u16string(u"1") + char16_t(u'0' + (m % PLAYERS) / 10) + char16_t(u'0' + m % 10);
        if (m % 2 == 0)
            text += u"/move " + id + u"\\" + char16_t(u'1' + m % 9) + u"0\\2" + char16_t(u'0' + m % 10) + u"/e/";
        else
            text += u"/say " + id + u"\\" + Escape_Text(u"你好，許功蓋 a/b\\c") + u"/e/";
    }
    return To_Cp950(text);
}

void Dispatch_Whole_Receipt(benchmark::State& state) {
    std::string receipt = Prepare();
    for (auto _ : state) Dispatch_Messages(receipt);
    state.SetItemsProcessed(state.iterations() * MESSAGES);
    state.SetBytesProcessed(state.iterations() * int64_t(receipt.size()));
    Reset_Net();
}
BENCHMARK(Dispatch_Whole_Receipt);

// The same stream arriving in 1460-byte segments, messages cut across them.
void Dispatch_Segmented_Receipt(benchmark::State& state) {
    std::string receipt = Prepare();
    std::vector<std::string> segments;
    for (size_t at = 0; at < receipt.size(); at += 1460) segments.push_back(receipt.substr(at, 1460));
    for (auto _ : state)
        for (const std::string& segment : segments) Dispatch_Messages(segment);
    state.SetItemsProcessed(state.iterations() * MESSAGES);
    state.SetBytesProcessed(state.iterations() * int64_t(receipt.size()));
    Reset_Net();
}
BENCHMARK(Dispatch_Segmented_Receipt);

}   // namespace
