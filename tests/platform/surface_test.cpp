// surface_test.cpp -- every copy and fill path against a straightforward per-pixel loop: each
// vector width the processor has, keyed and plain, rows narrower and wider than a chunk, clipped
// at every edge.
#include "platform/surface.h"

#include <gtest/gtest.h>

#include <random>

#include "display/text.h"

namespace {

// The copy as plainly described: each pixel of the rectangle that lies inside both surfaces
// lands at the same offset from (x, y); a keyed copy leaves out the source's key.
void Reference_Copy(Surface& dest, int32_t x, int32_t y, const Surface& source, Rect r, bool keyed) {
    for (int64_t sy = r.top; sy < r.bottom; ++sy)
        for (int64_t sx = r.left; sx < r.right; ++sx) {
            const int64_t dx = x + (sx - r.left), dy = y + (sy - r.top);
            if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height) continue;
            if (dx < 0 || dy < 0 || dx >= dest.width || dy >= dest.height) continue;
            const uint16_t p = source.At(int32_t(sx), int32_t(sy));
            if (!keyed || p != source.color_key) dest.At(int32_t(dx), int32_t(dy)) = p;
        }
}

// A picture of runs: stretches of one kind (key, or any other value) of random length, some
// hundreds of pixels long, some a single pixel.
Surface Random_Picture(std::mt19937& random, int32_t w, int32_t h, uint16_t key) {
    Surface s = Make_Surface(w, h);
    s.color_key = key;
    bool shown = random() % 2;
    for (size_t i = 0; i < s.pixels.size();) {
        const size_t length = random() % 8 == 0 ? 100 + random() % 300 : 1 + random() % 24;
        for (size_t k = 0; k < length && i < s.pixels.size(); ++k, ++i)
            s.pixels[i] = shown ? uint16_t(key + 1 + random() % 65535) : key;
        shown = !shown;
    }
    return s;
}

TEST(Surface_Copies, Every_Path_Matches_The_Plain_Loop) {
    std::mt19937 random(2024);
    std::vector<Vector_Width> widths{Vector_Width::Baseline};
    if (Widest_Vector_Width() == Vector_Width::Avx2) widths.push_back(Vector_Width::Avx2);
    const Vector_Width before = Use_Vector_Width(Vector_Width::Baseline);
    int copies = 0;
    for (int round = 0; round < 400; ++round) {
        const uint16_t key = round % 3 == 0 ? 0 : uint16_t(random());
        Surface source = Random_Picture(random, 1 + int32_t(random() % 700), 1 + int32_t(random() % 40), key);
        const Surface background = Random_Picture(random, 1 + int32_t(random() % 660), 1 + int32_t(random() % 50), 7);
        for (int shot = 0; shot < 8; ++shot) {
            // Rectangles mostly inside the source, some reaching past any edge or empty.
            auto span = [&](int32_t size) {
                const int32_t a = int32_t(random() % uint32_t(size + 20)) - 10;
                return std::pair(a, a + int32_t(random() % uint32_t(size + 10)) - 2);
            };
            const auto [left, right] = span(source.width);
            const auto [top, bottom] = span(source.height);
            const Rect rect{left, top, right, bottom};
            const int32_t x = int32_t(random() % uint32_t(background.width + 40)) - 20;
            const int32_t y = int32_t(random() % uint32_t(background.height + 20)) - 10;
            for (const bool keyed : {true, false}) {
                Surface expected = background;
                Reference_Copy(expected, x, y, source, rect, keyed);
                for (const Vector_Width width : widths) {
                    Use_Vector_Width(width);
                    Surface dest = background;
                    BltFast(dest, x, y, source, rect, keyed ? BLTFAST_SRCCOLORKEY_WAIT : BLTFAST_WAIT);
                    ASSERT_EQ(dest.pixels, expected.pixels)
                        << "round " << round << (keyed ? " keyed" : "") << " width " << int(width) << " rect " << left
                        << "," << top << "," << right << "," << bottom << " at " << x << "," << y;
                    ++copies;
                }
            }
        }
    }
    Use_Vector_Width(before);
    EXPECT_GT(copies, 6000);
}

TEST(Surface_Copies, Fills_Are_Cut_To_The_Surface) {
    std::mt19937 random(99);
    for (int round = 0; round < 200; ++round) {
        Surface filled = Random_Picture(random, 50, 30, 0), expected = filled;
        const Rect box{int32_t(random() % 70) - 10, int32_t(random() % 40) - 5, int32_t(random() % 70) - 10,
                       int32_t(random() % 40) - 5};
        BltColorFill(filled, box, 0x1234);
        for (int32_t py = std::max(0, box.top); py < std::min(30, box.bottom); ++py)
            for (int32_t px = std::max(0, box.left); px < std::min(50, box.right); ++px) expected.At(px, py) = 0x1234;
        EXPECT_EQ(filled.pixels, expected.pixels) << round;
    }
}

TEST(Surface_Copies, Text_Masks_Paint_Exactly_Their_Bits) {
    std::mt19937 random(5);
    std::vector<Vector_Width> widths{Vector_Width::Baseline};
    if (Widest_Vector_Width() == Vector_Width::Avx2) widths.push_back(Vector_Width::Avx2);
    const Vector_Width before = Use_Vector_Width(Vector_Width::Baseline);
    // Places on the buffer, over its edges and far off it.
    const std::pair<int32_t, int32_t> places[] = {{0, 0},     {-5, -3},        {20, 12},
                                                  {620, 475}, {-40, 0},        {700, 10},
                                                  {500, 200}, {5, 2000000000}, {-INT32_MAX, -INT32_MAX}};
    for (const int32_t mask_width : {3, 9, 16, 37, 150}) {
        Text_Mask mask;
        mask.width = mask_width, mask.height = 11, mask.top = -2;
        for (int i = 0; i < mask_width * 11; ++i) mask.bits.push_back(uint8_t(random() % 3 == 0));
        for (auto [x, y] : places) {
            Surface expected = Make_Surface(640, 480, 0x4444);
            for (int32_t my = 0; my < mask.height; ++my)
                for (int32_t mx = 0; mx < mask.width; ++mx) {
                    const int64_t px = int64_t(x) + mx, py = int64_t(y) + mask.top + my;
                    if (mask.bits[size_t(my * mask.width + mx)] && px >= 0 && px < 640 && py >= 0 && py < 480)
                        expected.At(int32_t(px), int32_t(py)) = 0xF00F;
                }
            for (const Vector_Width width : widths) {
                Use_Vector_Width(width);
                Surface dest = Make_Surface(640, 480, 0x4444);
                Blit_Text_Mask(dest, x, y, mask, 0xF00F);
                EXPECT_EQ(dest.pixels, expected.pixels) << mask_width << " wide at " << x << ", " << y;
                // The outline in one painting is the mask moved each way in four.
                Surface four = expected, one = expected;
                for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
                    Blit_Text_Mask(four, x + dx, y + dy, mask, 0x0AA0);
                Make_Outline(mask);
                Blit_Text_Outline(one, x, y, mask, 0x0AA0);
                mask.outline.clear();
                EXPECT_EQ(one.pixels, four.pixels) << "outline " << mask_width << " wide at " << x << ", " << y;
            }
        }
    }
    Use_Vector_Width(before);
}

}   // namespace
