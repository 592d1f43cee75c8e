// display_bench.cpp -- the drawing primitives a frame is made of: keyed tile copies (against the
// copy loop they replaced, kept here as the baseline), outlined text from the cache and rendered
// afresh, and a whole back-buffer copy as the memory floor.
#include <benchmark/benchmark.h>

#include <algorithm>
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

// The keyed copy as it was: clipping, then a loop over every pixel of every row that the compiler
// vectorised as it could. The baseline the copies below are measured against, in the same run.
void Old_BltFast(Surface& dest, int32_t x, int32_t y, const Surface& source, Rect r, int32_t flags) {
    int64_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    int64_t dx = x, dy = y;
    if (left < 0) {
        dx -= left;
        left = 0;
    }
    if (top < 0) {
        dy -= top;
        top = 0;
    }
    right = std::min<int64_t>(right, source.width);
    bottom = std::min<int64_t>(bottom, source.height);
    if (dx < 0) {
        left -= dx;
        dx = 0;
    }
    if (dy < 0) {
        top -= dy;
        dy = 0;
    }
    right = std::min<int64_t>(right, left + (dest.width - dx));
    bottom = std::min<int64_t>(bottom, top + (dest.height - dy));
    if (right <= left || bottom <= top) return;

    const int64_t w = right - left;
    const uint16_t key = source.color_key;
    const bool keyed = (flags & 1) != 0;
    for (int64_t row = 0; row < bottom - top; ++row) {
        const uint16_t* __restrict src = &source.pixels[size_t(top + row) * size_t(source.width) + size_t(left)];
        uint16_t* __restrict dst = &dest.pixels[size_t(dy + row) * size_t(dest.width) + size_t(dx)];
        if (keyed) {
            for (int64_t i = 0; i < w; ++i) dst[i] = src[i] == key ? dst[i] : src[i];
        } else {
            std::copy(src, src + w, dst);
        }
    }
}

using Copy_Function = void (*)(Surface&, int32_t, int32_t, const Surface&, Rect, int32_t);

// Tiles of the sheet to places spread over the screen.
void Tile_Copies(benchmark::State& state, Copy_Function copy, const Surface& sheet) {
    Display.Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    int i = 0;
    for (auto _ : state) {
        const int32_t x = (i * 37) % 600, y = (i * 13) % 460;
        copy(Display.Back_Buffer, x, y, sheet, Rect{(i % 10) * 40, 0, (i % 10) * 40 + 40, 20},
             BLTFAST_SRCCOLORKEY_WAIT);
        ++i;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Keyed_Tile_Copy_Old_Loop(benchmark::State& state) { Tile_Copies(state, Old_BltFast, Tile_Sheet()); }
void BM_Keyed_Tile_Copy(benchmark::State& state) { Tile_Copies(state, BltFast, Tile_Sheet()); }
// The same through the narrower vectors.
void BM_Keyed_Tile_Copy_Baseline_Vectors(benchmark::State& state) {
    const Vector_Width before = Use_Vector_Width(Vector_Width::Baseline);
    Tile_Copies(state, BltFast, Tile_Sheet());
    Use_Vector_Width(before);
}
BENCHMARK(BM_Keyed_Tile_Copy_Old_Loop)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Keyed_Tile_Copy)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Keyed_Tile_Copy_Baseline_Vectors)->Repetitions(9)->ReportAggregatesOnly(true);

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
