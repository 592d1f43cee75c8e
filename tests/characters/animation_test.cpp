// animation_test.cpp -- the animation clock and the drawing of frames.
#include <gtest/gtest.h>

#include "fixture.h"

namespace {

// Sheets 1 (all 0x7777) and 3, whose column i has the raw pixel value 1 + i: frame i of a sequence
// made by Use shows column i.
struct Animation_Clock : Headless_Test {
    Player_Record r;
    Sequence sequence;
    void SetUp() override {
        Headless_Test::SetUp();
        Animations.Sheets = {Sheet{u"other", 1, Make_Surface(8, 4, 0x7777)}, Sheet{u"s", 3, Make_Surface(8, 4)}};
        for (size_t i = 0; i < 32; ++i) Animations.Sheets[1].surface.pixels[i] = uint16_t(1 + i % 8);
    }
    // A sequence on sheet 3 whose frames last `ms` milliseconds each.
    void Use(std::vector<int16_t> ms) {
        sequence = Sequence{1, 3, int16_t(ms.size()), {}};
        for (size_t i = 0; i < ms.size(); ++i) sequence.frames.push_back({ms[i], int16_t(i), 0, 1, 1, 0, 0});
    }
    // Draws at tick `now` on a cleared screen; gives the frame shown (-1 for none), then the
    // record's frame_index, animating and next_frame_time after the drawing.
    std::tuple<int, int, bool, int32_t> Shown_At(int32_t now) {
        window.now = now;
        BltColorFill(Display.Back_Buffer, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, 0);
        Draw_Animation_Frame(sequence, r, 10, 10);
        return {int(Display.Back_Buffer.At(10, 10)) - 1, r.frame_index, r.animating, r.next_frame_time};
    }
};

}   // namespace

TEST_F(Animation_Clock, A_Started_Sequence_Plays_Once_At_Half_Speed_Then_Rests_On_Frame_0) {
    Use({50, 50, 50});
    Start_Animation(r, 2.0f);
    for (auto [now, after] : {std::pair{1000, std::tuple{0, 1, true, 1100}},   // next_frame_time 0: advance at once
                              {1050, {1, 1, true, 1100}},
                              {1100, {1, 2, true, 1200}},
                              {1199, {2, 2, true, 1200}},
                              {1200, {2, 0, false, 1300}},   // the last frame had its time: rest on frame 0
                              {1400, {0, 0, false, 1300}},
                              {5000, {0, 0, false, 1300}}})
        EXPECT_EQ(Shown_At(now), after) << "tick " << now;

    // A one-frame sequence just started ends at once: frame 0, resting.
    Use({40});
    r = Player_Record{};
    Start_Animation(r, 2.0f);
    EXPECT_EQ(Shown_At(700), std::tuple(0, 0, false, 780));
    // Animating on the last frame with next_frame_time 0: the sequence ends rather than running off.
    Use({50, 50});
    r = Player_Record{};
    r.frame_index = 1;
    Start_Animation(r, 1.0f);
    EXPECT_EQ(Shown_At(300), std::tuple(1, 0, false, 350));
}

TEST_F(Animation_Clock, Frame_Times_Round_Halves_To_Even) {
    // duration x speed + now: 62.5 + 1000 gives 1062, 62.5 + 1001 gives 1064
    const std::tuple<int, float, int, int> cases[] = {
        {25, 2.5f, 1000, 1062}, {25, 2.5f, 1001, 1064}, {125, 0.5f, 1000, 1062}, {125, 0.5f, 1001, 1064},
        {50, 2.0f, 1000, 1100}, {3, 0.5f, 0, 2},        {1, 0.5f, 0, 0}};
    for (auto [duration, speed, now, expected] : cases) {
        Use({10, int16_t(duration)});
        r = Player_Record{};
        Start_Animation(r, speed);
        EXPECT_EQ(std::get<3>(Shown_At(now)), expected) << duration << " x " << speed << " + " << now;
    }
}

TEST_F(Animation_Clock, Odd_Indexes_Frames_And_Sheets_Stay_Inside_The_Tables) {
    // An index left beyond a shorter sequence, or below 0, shows frame 0.
    Use({50, 50});
    for (int16_t index : {5, 2, -3}) {
        r = Player_Record{};
        r.frame_index = index, r.next_frame_time = 9999;
        EXPECT_EQ(Shown_At(100), std::tuple(0, 0, false, 9999)) << "index " << index;
    }
    // No frames, or no sheets: nothing is drawn and nothing breaks.
    sequence = Sequence{1, 3, 0, {}};
    EXPECT_EQ(std::get<0>(Shown_At(400)), -1);
    Use({50});
    Animations.Sheets.clear();
    EXPECT_EQ(std::get<0>(Shown_At(500)), -1);
}

TEST_F(Animation_Clock, Frames_Are_Keyed_Clipped_And_Offset) {
    sequence = Sequence{1, 3, 1, {Frame{50, 2, 0, 4, 2, -5, 3}}};   // columns 2..5, rows 0..1
    Animations.Sheets[1].surface.At(3, 0) = 0;                      // a see-through pixel
    Display.Back_Buffer.At(16, 13) = 0x4444;
    Draw_Animation_Frame(sequence, r, 20, 10);   // at (15, 13)
    Draw_Animation_Frame(sequence, r, 3, -4);    // at (-2, -1): the visible part lands at column and row 0
    sequence.sheet_id = 42;                      // no sheet has it: the first sheet is used
    Draw_Animation_Frame(sequence, r, 100, 100);
    const std::tuple<int, int, int> pixels[] = {{15, 13, 3}, {16, 13, 0x4444}, {18, 14, 6}, {19, 13, 0},
                                                {15, 15, 0}, {0, 0, 5},        {1, 0, 6},   {2, 0, 0},
                                                {0, 1, 0},   {95, 103, 0x7777}};
    for (auto [x, y, pixel] : pixels) EXPECT_EQ(Display.Back_Buffer.At(x, y), pixel) << x << ", " << y;
}
