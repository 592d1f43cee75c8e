// drawing_test.cpp -- clipping, hit tests, rounding, lines and presentation on the back buffer.
#include <algorithm>
#include <cmath>
#include <limits>

#include "fixture.h"

namespace {

using Display_Drawing = Headless_Test;
constexpr int32_t MAX = std::numeric_limits<int32_t>::max(), MIN = std::numeric_limits<int32_t>::min();

TEST_F(Display_Drawing, Clip_Source_Rect_Trims_At_Every_Edge) {
    // Source rectangle and destination in; trimmed rectangle and destination out.
    const std::tuple<Rect, int16_t, int16_t, Rect, int16_t, int16_t> cases[] = {
        {{0, 0, 40, 20}, -10, 5, {10, 0, 40, 20}, 0, 5},               // off the left edge
        {{0, 0, 40, 20}, 620, 470, {0, 0, 20, 10}, 620, 470},          // over the right and bottom edges
        {{0, 0, 40, 20}, 600, 460, {0, 0, 40, 20}, 600, 460},          // touching the corner exactly
        {{5, 7, 45, 27}, 3, -4, {5, 11, 45, 27}, 3, 0},                // off the top, source not at 0
        {{0, 0, 40, 20}, -50, 0, {50, 0, 40, 20}, 0, 0},               // wholly off the left: empty
        {{0, 0, 40, 20}, 700, 0, {0, 0, -60, 20}, 700, 0},             // beyond the right: empty
        {{0, 0, 700, 500}, -10, -10, {10, 10, 650, 490}, 0, 0},        // bigger than the screen
        {{MAX - 5, 0, MAX, 20}, -32768, 0, {MAX, 0, MAX, 20}, 0, 0},   // no overflow at 32 bits
    };
    for (auto [rect, x, y, out, out_x, out_y] : cases) {
        const int16_t in_x = x;
        EXPECT_EQ(Clip_Source_Rect(rect, x, y), out) << in_x;
        EXPECT_EQ(rect, out) << in_x;
        EXPECT_EQ(std::pair(x, y), std::pair(out_x, out_y)) << in_x;
    }
}

TEST_F(Display_Drawing, Point_In_Rect_Is_Strict_On_Every_Edge_And_Rounding_Goes_To_Even) {
    // The chat entry's box (155, 465) to (495, 640).
    const std::tuple<int16_t, int16_t, bool> cases[] = {{155, 470, false}, {156, 466, true},  {494, 639, true},
                                                        {495, 470, false}, {300, 465, false}, {300, 640, false}};
    for (auto [x, y, inside] : cases) EXPECT_EQ(Point_In_Rect(x, y, 155, 465, 495, 640), inside) << x << "," << y;
    EXPECT_FALSE(Point_In_Rect(5, 5, 10, 10, 0, 0));   // an inverted box holds nothing

    // Rounding: halves to even, out of range to the nearest end.
    const std::pair<double, int32_t> roundings[] = {{0.5, 0},     {1.5, 2},      {2.5, 2},         {-0.5, 0},
                                                    {-1.5, -2},   {2.6, 3},      {-2.6, -3},       {1020.5, 1020},
                                                    {1e300, MAX}, {-1e300, MIN}, {std::nan(""), 0}};
    for (auto [in, out] : roundings) EXPECT_EQ(Round_Half_Even(in), out) << in;
}

TEST_F(Display_Drawing, Lines_Use_Colour_And_Width_Stay_In_The_Buffer_And_Are_Presented) {
    const Surface& b = Display.Back_Buffer;
    auto count = [&](uint16_t pixel) { return std::count(b.pixels.begin(), b.pixels.end(), pixel); };
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255)), red = Color_To_Pixel(Rgb(255, 0, 0));
    SetForeColor(Rgb(255, 255, 255));
    Set_Line_Width(2);
    // The caret: two pixels wide, from the top row down to the row before the end point.
    Draw_Line(200, 465, 200, 480);
    EXPECT_EQ(count(white), 2 * 15);
    for (int y = 465; y < 480; ++y) EXPECT_EQ(Display.Back_Buffer.At(200, y) & Display.Back_Buffer.At(201, y), white);

    // Lines that leave the buffer, at its edges or far outside, draw only what is on it.
    SetForeColor(Rgb(255, 0, 0));
    Draw_Line(639, 470, 639, 490);                // off the bottom; its second column is off the right
    Draw_Line(-2000000000, 10, 2000000000, 10);   // two rows thick: 10 and 11
    Draw_Line(-5000, -5000, -10, -10);            // wholly off: nothing
    Draw_Line(50, 50, 50, 50);                    // no length: nothing
    EXPECT_EQ(count(red), 10 + 2 * 640);
    EXPECT_EQ(Display.Back_Buffer.At(639, 11), red);

    // A diagonal line is connected: one pixel per column.
    Reset_Display();
    SetForeColor(Rgb(0, 255, 0));
    Draw_Line(10, 100, 110, 150);
    EXPECT_EQ(count(Color_To_Pixel(Rgb(0, 255, 0))), 100);
    EXPECT_EQ(Display.Back_Buffer.At(60, 125), Color_To_Pixel(Rgb(0, 255, 0)));

    // With no window presenting does nothing. (What a frame shows is compared in the screens' tests.)
    Present_Frame();
    Platform.window = nullptr;
    Present_Frame();
    EXPECT_EQ(window.frames_presented, 1);
}

}   // namespace
