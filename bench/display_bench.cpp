// display_bench.cpp -- the drawing primitives a frame is made of: keyed tile copies, outlined text
// from the cache and rendered afresh, and a whole back-buffer copy as the memory floor.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "display/display.h"
#include "display/text.h"

namespace {

// A tile sheet with a diamond of colour on black, like the map's 40 x 20 ground tiles.
Surface Tile_Sheet() {
    Surface sheet = Make_Surface(400, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x) {
            const int tx = x % 40 - 20, ty = y % 20 - 10;
            if (2 * std::abs(ty) + std::abs(tx) < 20) sheet.At(x, y) = uint16_t(0x2A45 + x + y);
        }
    return sheet;
}

void BM_Keyed_Tile_Copy(benchmark::State& state) {
    const Surface sheet = Tile_Sheet();
    Display.Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    int i = 0;
    for (auto _ : state) {
        const int32_t x = (i * 37) % 600, y = (i * 13) % 460;
        BltFast(Display.Back_Buffer, x, y, sheet, Rect{(i % 10) * 40, 0, (i % 10) * 40 + 40, 20},
                BLTFAST_SRCCOLORKEY_WAIT);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Keyed_Tile_Copy);

const std::u16string LABEL = u"哇係TAVREN : 你好嗎";

void BM_Outlined_Text_Cached(benchmark::State& state) {
    Display.Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    SetFont(Font_Spec{u"新細明體", 12, false});
    Draw_Outlined_Text(155, 440, LABEL, Rgb(255, 255, 255), Rgb(255, 0, 0));
    for (auto _ : state) {
        Draw_Outlined_Text(155, 440, LABEL, Rgb(255, 255, 255), Rgb(255, 0, 0));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Outlined_Text_Cached);

void BM_Outlined_Text_Uncached(benchmark::State& state) {
    Display.Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    SetFont(Font_Spec{u"新細明體", 12, false});
    for (auto _ : state) {
        Clear_Text_Cache();
        Draw_Outlined_Text(155, 440, LABEL, Rgb(255, 255, 255), Rgb(255, 0, 0));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Outlined_Text_Uncached);

void BM_Back_Buffer_Copy(benchmark::State& state) {
    const Surface source = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT, 0x1234);
    Display.Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    for (auto _ : state) {
        BltFast(Display.Back_Buffer, 0, 0, source, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, BLTFAST_WAIT);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * SCREEN_WIDTH * SCREEN_HEIGHT * 2);
}
BENCHMARK(BM_Back_Buffer_Copy);

}   // namespace
