// input_timer_test.cpp -- window events delivered through the yield and stored for the frame
// loops; the frame delay on the fake clock.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "game/game_screen.h"
#include "ui/screen.h"

namespace {

using Game_Input = Headless_Test;
using Game_Timer = Headless_Test;

Window_Event Event(Window_Event::Kind kind, std::u16string text = u"", int16_t key = 0) {
    return {kind, 0, 0, key, std::move(text), 0};
}

TEST_F(Game_Input, TypedCharactersArriveInOrderAsCodes) {
    Install_Input_Handlers();
    const int16_t NI = int16_t(0xA741), HAO = int16_t(0xA66E), MA = int16_t(0xB6DC);
    auto text = [](std::u16string t) { return Event(Window_Event::Text, std::move(t)); };
    auto key = [](int16_t k) { return Event(Window_Event::Key_Press, u"", k); };
    const struct {
        const char* what;
        std::vector<Window_Event> events;
        std::vector<int16_t> codes;
    } cases[] = {
        {"a phrase committed at once", {text(u"你好嗎")}, {NI, HAO, MA}},
        {"an emoji between them is dropped", {text(u"你\U0001F600好")}, {NI, HAO}},
        {"no code page 950 code: dropped", {text(u"aé€กb")}, {97, int16_t(0xA3E1), 98}},
        {"keys and text interleaved", {text(u"ab"), key(8), text(u"c"), key(13)}, {97, 98, 8, 99, 13}},
        {"control characters in text are not keys", {text(u"x\ty\r\n\x7F")}, {120, 121}},
        {"printable ASCII", {text(u" ~09AZ")}, {32, 126, 48, 57, 65, 90}},
        {"a lone surrogate", {text(std::u16string(u"\xD800q"))}, {113}},
        {"a composition is no key; its commit is", {Event(Window_Event::Editing, u"ㄋㄧ"), text(u"你")}, {NI}},
        {"typing piles up only to a bound", {text(std::u16string(5000, u'x'))}, std::vector<int16_t>(1024, 'x')},
    };
    for (const auto& c : cases) {
        Reset_Input();
        for (const Window_Event& e : c.events) window.queued.push_back(e);
        Do_Events();
        EXPECT_EQ(Input.Key_Codes, c.codes) << c.what;
    }
    Input.Key_Codes.clear();   // consumed: typing is taken again
    window.Type(u"y");
    Do_Events();
    EXPECT_EQ(Input.Key_Codes, std::vector<int16_t>{121});
}

TEST_F(Game_Input, MouseCompositionAndClosingTheWindow) {
    Install_Input_Handlers();
    window.Move_Mouse(639, 479);
    Do_Events();
    EXPECT_EQ(std::tuple(Input.Mouse_X, Input.Mouse_Y, Input.Clicked), std::tuple(639, 479, false));
    window.queued.push_back(Event(Window_Event::Click));   // a click without a move keeps the position
    Window_Event editing = Event(Window_Event::Editing, u"ㄋㄧˇ");
    editing.cursor = 3;
    window.queued.push_back(editing);
    Do_Events();
    EXPECT_EQ(std::tuple(Input.Mouse_X, Input.Mouse_Y, Input.Clicked), std::tuple(639, 479, true));
    EXPECT_EQ(std::pair(Input.Composition, Input.Composition_Cursor), std::pair(std::u16string(u"ㄋㄧˇ"), 3));
    window.queued.push_back(Event(Window_Event::Editing));   // shown until committed or cancelled
    Do_Events();
    EXPECT_EQ(Input.Composition, u"");

    // Closing the window closes the socket and ends the program with status 0.
    Platform.socket = &socket;
    socket.connected = true;
    window.queued.push_back(Event(Window_Event::Close_Request));
    EXPECT_EQ(Run_Until_End(Do_Events), 0);
    EXPECT_FALSE(socket.connected);
}

TEST_F(Game_Timer, WaitFrameYieldsUntilTheDelayFromTheCallIsOver) {
    // rate, clock at the call, clock step per yield; the clock when it returned (each yield moves
    // it, so a wait that yields when it need not shows too).
    const struct {
        int32_t rate, start, step, end_tick;
    } cases[] = {
        {0, 1000, 1, 1000},    // no delay, no yield
        {50, 1000, 1, 1020},   // 20 ms
        {50, 1000, 3, 1021},   // until the tick count reaches the end, not exactly on it
        {3, 0, 1, 333},        // 333.33 ms
        {400, 0, 1, 2},        // 2.5 ms from an even tick: rounds down to 2
        {400, 1, 1, 4},        // 1 + 2.5 = 3.5: rounds to 4
        {-5, 1000, 1, 1000},   // a negative rate ends in the past
    };
    for (const auto& c : cases) {
        window.now = c.start, window.ms_per_poll = c.step;
        Wait_Frame(c.rate);
        EXPECT_EQ(window.now, c.end_tick) << c.rate << '@' << c.start;
    }
    // (That events are delivered while waiting, every screen's scripted clicks rely on.)
    // The 32-bit tick count turns negative in the middle of the wait: still 20 ms, then done.
    window.ms_per_poll = 0, window.now = 2147483647 - 5, window.polls = 0;
    window.on_poll = [](Headless_Window& w, int64_t) { w.now = int32_t(uint32_t(w.now) + 1u); };
    Wait_Frame(50);
    EXPECT_EQ(window.polls, 20);
    Platform.window = nullptr;   // no clock at all: returns instead of waiting for ever
    Wait_Frame(50);
}

// A window whose display takes a frame every 16 ms and whose waits sleep on the fake clock: each
// wait is recorded and moves the clock by its length, or to the moment an event was due to come.
struct Paced_Window : Headless_Window {
    int32_t period = 16, next_due = 0;
    std::vector<int32_t> waits;
    std::vector<std::pair<int32_t, Window_Event>> coming;   // (tick, event) in tick order

    int32_t Frame_Due_In() override { return std::max(0, next_due - now); }
    void Present(const Surface& frame) override {
        Headless_Window::Present(frame);
        next_due = now + period;
    }
    void Wait_Events(int32_t timeout_ms) override {
        waits.push_back(timeout_ms);
        now += timeout_ms;
        if (!coming.empty() && coming.front().first <= now) {
            now = std::max(coming.front().first, now - timeout_ms);
            queued.push_back(coming.front().second);
            coming.erase(coming.begin());
        }
    }
};

TEST_F(Game_Timer, WaitsSleepUntilTheDisplayTakesTheNextFrameHandlingEventsAsTheyCome) {
    Paced_Window paced;
    Platform.window = &paced;
    Install_Input_Handlers();
    paced.now = 1000;
    Window_Event click = Event(Window_Event::Click);
    paced.coming = {{1005, Event(Window_Event::Mouse_Move)}, {1006, click}};
    std::vector<std::pair<int32_t, bool>> frames;   // tick and click seen at each frame
    Run_Screen(
        [&] {
            frames.emplace_back(paced.now, Input.Clicked);
            return frames.size() < 4;
        },
        0);
    // The first wait is cut short by the mouse at 1005, the second by the click at 1006; the
    // click is handled then and the next frame sees it; no frame comes before the display is due.
    EXPECT_EQ(paced.waits, (std::vector<int32_t>{16, 11, 10, 16, 16}));
    EXPECT_EQ(frames,
              (std::vector<std::pair<int32_t, bool>>{{1000, false}, {1016, true}, {1032, false}, {1048, false}}));
    // The login screen's 20 ms: one sleep, then the display is due already.
    paced.waits.clear();
    Wait_Frame(50);
    Wait_For_Display();
    EXPECT_EQ(paced.waits, (std::vector<int32_t>{20}));
    // While the socket expects data, a wait is cut into slices so that its data is fetched soon.
    struct Open_Socket : Scripted_Socket {
        bool Expecting_Data() const override { return true; }
    } open;
    Platform.socket = &open;
    paced.waits.clear();
    Wait_Frame(100);
    EXPECT_EQ(paced.waits, (std::vector<int32_t>{4, 4, 2}));
    Platform.socket = nullptr;
    Platform.window = &window;
}

}   // namespace
