// timer_test.cpp -- the frame delay and the frame counter on the fake clock.
#include <string>

#include "fixture.h"

namespace {

using Game_Timer = Headless_Test;

TEST_F(Game_Timer, WaitFrameYieldsUntilTheDelayFromTheCallIsOver) {
    struct Case {
        int32_t rate, start, step;
        int64_t polls;      // yields made
        int32_t end_tick;   // the clock when it returned
    };
    const Case cases[] = {
        {0, 1000, 1, 0, 1000},     // no delay, no yield
        {50, 1000, 1, 20, 1020},   // 20 ms
        {50, 1000, 3, 7, 1021},    // until the tick count reaches the end, not exactly on it
        {3, 0, 1, 333, 333},       // 333.33 ms
        {400, 0, 1, 2, 2},         // 2.5 ms from an even tick: rounds down to 2
        {400, 1, 1, 3, 4},         // 1 + 2.5 = 3.5: rounds to 4
        {-5, 1000, 1, 0, 1000},    // a negative rate ends in the past
    };
    for (const Case& c : cases) {
        window.now = c.start;
        window.ms_per_poll = c.step;
        window.polls = 0;
        Wait_Frame(c.rate);
        EXPECT_EQ(window.polls, c.polls) << "rate " << c.rate << " from " << c.start;
        EXPECT_EQ(window.now, c.end_tick) << "rate " << c.rate << " from " << c.start;
    }
    Platform.window = nullptr;   // no clock at all: returns instead of waiting for ever
    Wait_Frame(50);
}

TEST_F(Game_Timer, WaitFrameDeliversEventsWhileWaitingAndSurvivesTheClockWrap) {
    Install_Input_Handlers();
    window.ms_per_poll = 1;
    window.on_poll = [](Headless_Window& w, int64_t poll) {
        if (poll == 5) w.Click_At(100, 120);
    };
    Wait_Frame(50);
    EXPECT_TRUE(Input.Clicked);
    EXPECT_EQ(Input.Mouse_X, 100);

    // The 32-bit tick count turns negative in the middle of the wait: still 20 ms, then done.
    window.ms_per_poll = 0;
    window.now = 2147483647 - 5;
    window.polls = 0;
    window.on_poll = [](Headless_Window& w, int64_t) { w.now = int32_t(uint32_t(w.now) + 1u); };
    Wait_Frame(50);
    EXPECT_EQ(window.polls, 20);
}

// The counter's text drawn alone on a clear buffer, to compare frames with.
Surface Counter_Picture(int32_t shown) {
    Surface saved = Display.Back_Buffer;
    Display.Back_Buffer = Make_Surface(640, 480);
    std::string text = "FPS : " + std::to_string(shown);
    Draw_Outlined_Text(20, 20, std::u16string(text.begin(), text.end()), Rgb(255, 255, 255), Rgb(255, 0, 0));
    std::swap(saved, Display.Back_Buffer);
    return saved;
}

TEST_F(Game_Timer, FpsCountsTheFramesOfEachSecond) {
    SetFont(Font_Spec{u"新細明體", 12, false});
    const Surface zero = Counter_Picture(0), one = Counter_Picture(1), three = Counter_Picture(3);
    ASSERT_NE(zero.pixels, one.pixels);

    // The first frame shows 0 and takes the count at once.
    window.now = 5000;
    Draw_FPS();
    EXPECT_EQ(Display.Back_Buffer.pixels, zero.pixels);
    EXPECT_EQ(Display.fore_color, Rgb(255, 0, 0));
    EXPECT_EQ(Timer.FPS_Shown, 1);
    EXPECT_EQ(Timer.FPS_Count, 0);
    EXPECT_EQ(Timer.FPS_Next_Time, 6000);

    // Frames up to and at the end of the window count; the first one past it takes the count.
    struct Frame {
        int32_t tick;
        int32_t shown_before, shown_after, count_after;
    };
    const Frame frames[] = {{5400, 1, 1, 1}, {6000, 1, 1, 2}, {6001, 1, 3, 0}, {6500, 3, 3, 1}, {9000, 3, 2, 0}};
    for (const Frame& f : frames) {
        window.now = f.tick;
        Display.Back_Buffer = Make_Surface(640, 480);
        Draw_FPS();
        const Surface& expected = f.shown_before == 3 ? three : one;
        EXPECT_EQ(Display.Back_Buffer.pixels, expected.pixels) << f.tick;
        EXPECT_EQ(Timer.FPS_Shown, f.shown_after) << f.tick;
        EXPECT_EQ(Timer.FPS_Count, f.count_after) << f.tick;
    }
    EXPECT_EQ(Timer.FPS_Next_Time, 10000);
}

TEST_F(Game_Timer, FpsCountStopsAtItsWidthWhenTheClockStandsStill) {
    window.now = 100;
    Draw_FPS();   // takes the first count; the window now ends at 1100
    for (int i = 0; i < 40000; ++i) Draw_FPS();
    EXPECT_EQ(Timer.FPS_Count, 32767);
    window.now = 1101;
    Draw_FPS();
    EXPECT_EQ(Timer.FPS_Shown, 32767);
}

}  // namespace
