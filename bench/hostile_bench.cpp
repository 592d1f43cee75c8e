// hostile_bench.cpp -- the real cost of one game frame on the default world while a hostile server
// keeps the table of players at its cap of 32767 and sends its traffic (hostile_traffic.h):
// the frame's receipts through the dispatcher, then the frame (picking, paths, steps, drawing).
// The heap must stay under 300 MB all along: a larger one fails the run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>

#include "characters/character_file.h"
#include "characters/player.h"
#include "display/bitmap.h"
#include "display/display.h"
#include "game/game.h"
#include "hostile_traffic.h"
#include "loading/loading.h"
#include "map/map.h"
#include "net/net.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/program.h"

namespace {

constexpr size_t MOST_HEAP_BYTES = size_t(300) << 20;

// Bytes the program holds on the heap now.
size_t Heap_In_Use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_Hostile_Server_Frame(benchmark::State& state) {
    Headless_Window window;
    Platform.window = &window;
    Platform.program_folder = ISO_OUT_DIR;
    window.held.insert(VK_ESCAPE);   // should a file be missing, the error screen ends at once
    try {
        if (chdir(ISO_OUT_DIR) != 0) throw Program_End{2};
        Load_Map(u"data\\testmap.map");
        Load_Character_File(u"data\\testple.ple");
        Load_Bitmap(u"images\\s.bmp", 0, Loading.Status_Panel);
    } catch (const Program_End&) {
        state.SkipWithError("the default world did not load");
        return;
    }
    window.held.clear();
    Init_Direction_Steps();
    Init_Pixel_Steps();
    SetFont(Font_Spec{u"新細明體", 12, false});
    Net.Offline_Mode = true;   // the frame's "/got" goes nowhere
    Net.Link.In_Game = true;
    Chars.Players.clear();
    Chars.Own_Player.id = 1;
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 60;
    Hostile_Traffic traffic(2024);
    int32_t frame = 0;
    size_t most_heap = 0;
    auto run_frame = [&] {
        ++frame;
        window.now += 16;
        for (const std::string& receipt : traffic.Frame_Receipts(frame)) Dispatch_Messages(receipt);
        Game_Frame();
        Present_Frame();
        if (frame % 60 == 0) most_heap = std::max(most_heap, Heap_In_Use());
    };
    try {
        while (Chars.Players.size() < size_t(MAX_PLAYERS)) run_frame();   // the flood, not measured
        for (auto _ : state) run_frame();
    } catch (const Program_End&) { state.SkipWithError("the traffic raised an error"); }
    if (most_heap >= MOST_HEAP_BYTES) state.SkipWithError("the heap grew past 300 MB");
    state.counters["players"] = double(Chars.Players.size());
    state.counters["most_heap_MB"] = double(most_heap) / 1e6;
    state.counters["MB_received"] = double(traffic.bytes_sent) / 1e6;
    Reset_Net();
    Reset_Characters();
    Reset_Map();
    Platform.window = nullptr;
}
BENCHMARK(BM_Hostile_Server_Frame)->Unit(benchmark::kMillisecond)->Iterations(600)->Repetitions(3);

}   // namespace
