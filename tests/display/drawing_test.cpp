// drawing_test.cpp -- clipping, hit tests, rounding, lines and presentation on the back buffer.
#include <cmath>
#include <limits>

#include "fixture.h"

namespace {

using Display_Drawing = Headless_Test;

int Count_Pixels(const Surface& s, uint16_t pixel) {
    int n = 0;
    for (uint16_t p : s.pixels) n += p == pixel;
    return n;
}

TEST_F(Display_Drawing, ClipSourceRectTrimsAtEveryEdge) {
    struct Case {
        Rect in;
        int16_t x, y;
        Rect out;
        int16_t out_x, out_y;
    };
    const Case cases[] = {
        {{0, 0, 40, 20}, -10, 5, {10, 0, 40, 20}, 0, 5},       // off the left edge
        {{0, 0, 40, 20}, 620, 470, {0, 0, 20, 10}, 620, 470},  // over the right and bottom edges
        {{0, 0, 40, 20}, 100, 100, {0, 0, 40, 20}, 100, 100},  // wholly inside: unchanged
        {{0, 0, 40, 20}, 600, 460, {0, 0, 40, 20}, 600, 460},  // touching the corner exactly
        {{5, 7, 45, 27}, 3, -4, {5, 11, 45, 27}, 3, 0},        // off the top, source not at 0
        {{0, 0, 40, 20}, -50, 0, {50, 0, 40, 20}, 0, 0},       // wholly off the left: empty
        {{0, 0, 40, 20}, 700, 0, {0, 0, -60, 20}, 700, 0},     // beyond the right: empty
        {{0, 0, 700, 500}, -10, -10, {10, 10, 650, 490}, 0, 0},// bigger than the screen
    };
    for (const Case& c : cases) {
        Rect r = c.in;
        int16_t x = c.x, y = c.y;
        Rect returned = Clip_Source_Rect(r, x, y);
        EXPECT_EQ(r, c.out) << "from " << c.in.left << "," << c.in.top << "," << c.in.right << "," << c.in.bottom
                            << " at " << c.x << "," << c.y << " got " << r.left << "," << r.top << "," << r.right
                            << "," << r.bottom;
        EXPECT_EQ(returned, r);
        EXPECT_EQ(x, c.out_x);
        EXPECT_EQ(y, c.out_y);
    }
    // Edges at the ends of 32 bits must not overflow into nonsense.
    Rect wide{std::numeric_limits<int32_t>::max() - 5, 0, std::numeric_limits<int32_t>::max(), 20};
    int16_t x = -32768, y = 0;
    Clip_Source_Rect(wide, x, y);
    EXPECT_EQ(wide.left, std::numeric_limits<int32_t>::max());
    EXPECT_LE(wide.right, wide.left);
}

TEST_F(Display_Drawing, PointInRectIsStrictOnEveryEdge) {
    struct Case {
        int16_t x, y;
        bool inside;
    };
    // The chat entry's box (155, 465) to (495, 640).
    const Case cases[] = {{155, 470, false}, {156, 466, true}, {494, 639, true}, {495, 470, false},
                          {300, 465, false}, {300, 640, false}, {154, 500, false}, {300, 700, false}};
    for (const Case& c : cases)
        EXPECT_EQ(Point_In_Rect(c.x, c.y, 155, 465, 495, 640), c.inside) << c.x << "," << c.y;
    EXPECT_FALSE(Point_In_Rect(5, 5, 10, 10, 0, 0));   // an inverted box holds nothing
}

TEST_F(Display_Drawing, RoundHalfEvenAndOutOfRange) {
    const std::pair<double, int32_t> cases[] = {{0.5, 0},  {1.5, 2},   {2.5, 2},   {-0.5, 0},    {-1.5, -2},
                                                {2.4, 2},  {2.6, 3},   {-2.6, -3}, {1020.5, 1020}, {333.33, 333},
                                                {1e300, std::numeric_limits<int32_t>::max()},
                                                {-1e300, std::numeric_limits<int32_t>::min()},
                                                {std::nan(""), 0}};
    for (auto [in, out] : cases) EXPECT_EQ(Round_Half_Even(in), out) << in;
}

TEST_F(Display_Drawing, LinesUseColourWidthAndStayInTheBuffer) {
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255));
    SetForeColor(Rgb(255, 255, 255));
    Set_Line_Width(2);
    // The caret: two pixels wide, from the top row down to the row before the end point.
    Draw_Line(200, 465, 200, 480);
    Surface& b = Display.Back_Buffer;
    EXPECT_EQ(Count_Pixels(b, white), 2 * 15);
    for (int y = 465; y < 480; ++y) {
        EXPECT_EQ(b.At(200, y), white);
        EXPECT_EQ(b.At(201, y), white);
        EXPECT_EQ(b.At(199, y), 0);
        EXPECT_EQ(b.At(202, y), 0);
    }
    EXPECT_EQ(b.At(200, 464), 0);

    // Lines that leave the buffer, at its edges or far outside, draw only what is on it.
    Reset_Display();
    Set_Line_Width(2);
    SetForeColor(Rgb(255, 0, 0));
    const uint16_t red = Color_To_Pixel(Rgb(255, 0, 0));
    Draw_Line(639, 470, 639, 490);   // off the bottom; its second column is off the right
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, red), 10);
    Draw_Line(-2000000000, 10, 2000000000, 10);   // two rows thick: 10 and 11
    for (int x = 0; x < 640; ++x) EXPECT_EQ(Display.Back_Buffer.At(x, 11), red);
    Draw_Line(-5000, -5000, -10, -10);   // wholly off: nothing
    Draw_Line(50, 50, 50, 50);           // no length: nothing
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, red), 10 + 2 * 640);

    // A diagonal line is connected: one pixel per column.
    Reset_Display();
    SetForeColor(Rgb(0, 255, 0));
    Draw_Line(10, 100, 110, 150);
    const uint16_t green = Color_To_Pixel(Rgb(0, 255, 0));
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, green), 100);
    EXPECT_EQ(Display.Back_Buffer.At(10, 100), green);
    EXPECT_EQ(Display.Back_Buffer.At(60, 125), green);
}

TEST_F(Display_Drawing, PresentFrameShowsTheWholeBackBuffer) {
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0x1234);
    Display.Back_Buffer.At(639, 479) = 0xBEEF;
    Present_Frame();
    ASSERT_EQ(window.frames_presented, 1);
    EXPECT_EQ(window.last_frame.width, 640);
    EXPECT_EQ(window.last_frame.height, 480);
    EXPECT_EQ(window.last_frame.pixels, Display.Back_Buffer.pixels);
    Platform.window = nullptr;
    Present_Frame();   // no window: nothing happens
    EXPECT_EQ(window.frames_presented, 1);
}

}  // namespace
