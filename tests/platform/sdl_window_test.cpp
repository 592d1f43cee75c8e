// sdl_window_test.cpp -- the SDL window on SDL's display-less driver: what SDL reports becomes the
// game's window events in 640 x 480 pixels.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "display/surface.h"
#include "platform/backends.h"

namespace {

class Sdl_Window_Test : public ::testing::Test {
protected:
    std::unique_ptr<Window_Backend> window;
    Uint32 window_id = 0;

    void Open(bool windowed) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        window = Make_Sdl_Window(windowed);
        ASSERT_TRUE(window) << SDL_GetError();
        for (Uint32 id = 1; id < 1000 && !window_id; ++id)
            if (SDL_GetWindowFromID(id)) window_id = id;
        ASSERT_NE(window_id, 0u);
    }

    std::vector<Window_Event> Poll() {
        std::vector<Window_Event> out;
        window->Poll_Events(out);
        return out;
    }
    void Push(SDL_Event e) {
        e.common.timestamp = 0;
        ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    }
    void Mouse_Button(Uint32 type, Uint8 button, int x, int y) {
        SDL_Event e{};
        e.type = type;
        e.button.windowID = window_id;
        e.button.button = button;
        e.button.x = x;
        e.button.y = y;
        Push(e);
    }
    void Key_Down(SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = window_id;
        e.key.keysym.sym = sym;
        e.key.keysym.mod = mod;
        Push(e);
    }
};

TEST_F(Sdl_Window_Test, MouseIsMappedToScreenPixelsAndClicksNeedAPressOnThePicture) {
    Open(true);   // 1280 x 960: twice the screen
    Poll();       // whatever SDL reports on opening
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.windowID = window_id;
    motion.motion.x = 641;
    motion.motion.y = 479;
    Push(motion);
    Mouse_Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 200, 100);
    Mouse_Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 210, 104);
    Mouse_Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 300, 300);   // no press before it
    Mouse_Button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 300, 300);
    Mouse_Button(SDL_MOUSEBUTTONUP, SDL_BUTTON_RIGHT, 300, 300);
    std::vector<Window_Event> events = Poll();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Window_Event::Mouse_Move);
    EXPECT_EQ(events[0].x, 320);
    EXPECT_EQ(events[0].y, 239);
    EXPECT_EQ(events[1].kind, Window_Event::Mouse_Move);   // the click's own position first
    EXPECT_EQ(events[1].x, 105);
    EXPECT_EQ(events[1].y, 52);
    EXPECT_EQ(events[2].kind, Window_Event::Click);
}

TEST_F(Sdl_Window_Test, KeysTextCompositionAndClosing) {
    Open(true);
    Poll();
    Key_Down(SDLK_BACKSPACE);
    Key_Down(SDLK_a);              // letters come as text, not as keys
    Key_Down(SDLK_RETURN);
    Key_Down(SDLK_KP_ENTER);
    Key_Down(SDLK_RETURN, KMOD_LALT);   // Alt+Enter switches full screen, no Enter
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    text.text.windowID = window_id;
    std::strcpy(text.text.text, "你好嗎");
    Push(text);
    SDL_Event edit{};
    edit.type = SDL_TEXTEDITING;
    edit.edit.windowID = window_id;
    std::strcpy(edit.edit.text, "ni");
    edit.edit.start = 2;
    Push(edit);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    Push(quit);

    std::vector<Window_Event> events = Poll();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, Window_Event::Key_Press);
    EXPECT_EQ(events[0].key, 8);
    EXPECT_EQ(events[1].kind, Window_Event::Key_Press);
    EXPECT_EQ(events[1].key, 13);
    EXPECT_EQ(events[2].key, 13);
    EXPECT_EQ(events[3].kind, Window_Event::Text);
    EXPECT_EQ(events[3].text, u"你好嗎");
    EXPECT_EQ(events[4].kind, Window_Event::Editing);
    EXPECT_EQ(events[4].text, u"ni");
    EXPECT_EQ(events[4].cursor, 2);
    EXPECT_EQ(events[5].kind, Window_Event::Close_Request);
}

TEST_F(Sdl_Window_Test, FullScreenWindowPresentsFramesAndKeepsTime) {
    Open(false);
    const int32_t t0 = window->Tick_Count();
    Surface frame = Make_Surface(640, 480, 0x07E0);
    window->Present(frame);
    Surface odd = Make_Surface(320, 200, 0xF800);   // another size gets its own texture
    window->Present(odd);
    window->Present(Surface{});                     // nothing to show: ignored
    window->Set_Text_Entry(true, 155, 465, 340, 15);
    EXPECT_GE(window->Tick_Count(), t0);
    EXPECT_FALSE(window->Key_Held(VK_ESCAPE));
    EXPECT_FALSE(window->Key_Held(VK_RETURN));
    EXPECT_FALSE(window->Key_Held(65));   // keys nobody polls are never held
}

}  // namespace
