// sdl_window_test.cpp -- the SDL window on SDL's display-less driver: what SDL reports becomes the
// game's window events in 640 x 480 pixels, and frames of any size can be shown.
#include <SDL.h>
#include <gtest/gtest.h>
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "platform/backends.h"
#include "platform/encoding.h"
#include "platform/surface.h"

namespace {

class Sdl_Window_Test : public ::testing::Test {
protected:
    std::unique_ptr<Window_Backend> window;
    Uint32 window_id = 0;

    void Open(bool windowed) {
        SDL_setenv("SDL_VIDEODRIVER", "dummy", 1);
        window = Make_Sdl_Window(windowed);
        ASSERT_TRUE(window) << SDL_GetError();
        for (Uint32 id = 1; id < 1000 && !window_id; ++id)
            if (SDL_GetWindowFromID(id)) window_id = id;
        std::vector<Window_Event> opening;
        window->Poll_Events(opening);   // whatever SDL reports on opening
    }
    // Queues an event of the window, filled in by `fill`; every kind used here keeps its window
    // identifier where a window event does.
    void Push(Uint32 type, const std::function<void(SDL_Event&)>& fill = {}) {
        SDL_Event e{};
        e.type = type;
        e.window.windowID = window_id;
        if (fill) fill(e);
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }
};

TEST_F(Sdl_Window_Test, Mouse_Keys_Text_And_Closing_Become_Window_Events) {
    Open(true);   // 1280 x 960: twice the screen
    Push(SDL_MOUSEMOTION, [](SDL_Event& e) {
        e.motion.x = 641;
        e.motion.y = 479;
    });
    // A click comes at its own position; a release without a press, and the right button, are none.
    const Uint32 down = SDL_MOUSEBUTTONDOWN, up = SDL_MOUSEBUTTONUP;
    for (auto [type, button, x, y] : {std::tuple{down, SDL_BUTTON_LEFT, 200, 100},
                                      {up, SDL_BUTTON_LEFT, 210, 104},
                                      {up, SDL_BUTTON_LEFT, 300, 300},
                                      {down, SDL_BUTTON_RIGHT, 300, 300},
                                      {up, SDL_BUTTON_RIGHT, 300, 300}})
        Push(type, [&](SDL_Event& e) {
            e.button.button = Uint8(button);
            e.button.x = x;
            e.button.y = y;
        });
    // Letters come as text, not as keys; Alt+Enter switches full screen and is no Enter.
    for (auto [key, mod] : {std::pair{SDLK_BACKSPACE, KMOD_NONE},
                            {SDLK_a, KMOD_NONE},
                            {SDLK_RETURN, KMOD_NONE},
                            {SDLK_KP_ENTER, KMOD_NONE},
                            {SDLK_RETURN, KMOD_LALT}})
        Push(SDL_KEYDOWN, [&](SDL_Event& e) { e.key.keysym = SDL_Keysym{SDL_SCANCODE_UNKNOWN, key, Uint16(mod), 0}; });
    Push(SDL_TEXTINPUT, [](SDL_Event& e) { std::strcpy(e.text.text, "你好嗎"); });
    Push(SDL_TEXTEDITING, [](SDL_Event& e) {
        std::strcpy(e.edit.text, "ni");
        e.edit.start = 2;
    });
    Push(SDL_QUIT);

    std::vector<Window_Event> out;
    window->Poll_Events(out);
    std::string seen;
    for (const Window_Event& e : out)
        seen += std::to_string(e.kind) + ":" + std::to_string(e.x) + "," + std::to_string(e.y) + "," +
                std::to_string(e.key) + "," + To_Utf8(e.text) + "," + std::to_string(e.cursor) + " ";
    EXPECT_EQ(seen,
              "0:320,239,0,,0 0:105,52,0,,0 1:0,0,0,,0 2:0,0,8,,0 2:0,0,13,,0 2:0,0,13,,0 3:0,0,0,你好嗎,0 "
              "4:0,0,0,ni,2 5:0,0,0,,0 ");
}

TEST_F(Sdl_Window_Test, Full_Screen_Shows_Frames_Of_Any_Size_And_Keeps_Time) {
    Open(false);
    const int32_t t0 = window->Tick_Count();
    for (const Surface& frame : {Make_Surface(640, 480, 0x07E0), Make_Surface(320, 200, 0xF800), Surface{}})
        window->Present(frame);
    window->Set_Text_Entry(true, 155, 465, 340, 15);
    EXPECT_GE(window->Tick_Count(), t0);
    // SDL's display-less driver presents without waiting for a refresh: the window paces the
    // frames itself, the next one due within a refresh period of a 60 Hz display. A wait with
    // nothing left to wait for returns at once.
    window->Present(Make_Surface(640, 480));
    const int32_t due = window->Frame_Due_In();
    EXPECT_TRUE(due > 0 && due <= 17) << due;
    window->Wait_Events(0);
    EXPECT_FALSE(window->Key_Held(VK_RETURN));   // keys nobody pressed are not held
}

#ifndef _WIN32   // Windows' own display driver is always there
// Where no display is reachable SDL would fall back to drawing off screen: the window refuses to
// open and says why, unless the user chose such a driver on purpose.
TEST(Sdl_Window_Without_A_Display, Refuses_To_Open_And_Says_Why) {
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    } saved[] = {{"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}, {"SDL_VIDEODRIVER", {}}};
    for (Saved& s : saved) {
        if (const char* v = std::getenv(s.name)) s.value = v;
        unsetenv(s.name);
    }
    testing::internal::CaptureStderr();
#ifdef __SANITIZE_ADDRESS__
    // SDL's probe of the display libraries leaves allocations behind in libraries it unloads again.
    __lsan_disable();
#endif
    const bool opened = Make_Sdl_Window(true) != nullptr;
    const std::string said = testing::internal::GetCapturedStderr();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);   // chosen on purpose: it opens
    const bool chosen_opens = Make_Sdl_Window(true) != nullptr;
#ifdef __SANITIZE_ADDRESS__
    __lsan_enable();
#endif
    for (const Saved& s : saved) s.value ? setenv(s.name, s.value->c_str(), 1) : unsetenv(s.name);
    EXPECT_FALSE(opened);
    EXPECT_NE(said.find("no display"), std::string::npos) << said;
    EXPECT_NE(said.find("DISPLAY="), std::string::npos) << said;
    EXPECT_TRUE(chosen_opens);
}
#endif

}   // namespace
