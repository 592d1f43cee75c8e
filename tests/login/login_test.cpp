// login_test.cpp -- the login screen driven frame by frame: focus and the Tab latch, the fields,
// the mask, the caret, the button, confirming offline and with a server.
#include "login/login.h"

#include <unistd.h>

#include <tuple>

#include "game/game_screen.h"
#include "scene/small_world.h"

namespace {

class Login_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Install_Input_Handlers();
        window.held.clear(), window.frames_presented = 0;
        window.ms_per_poll = 10;            // the login screen waits 20 ms a frame
        ASSERT_EQ(chdir(ISO_OUT_DIR), 0);   // the game reads data\ from the current folder
    }
    // The picture the screen shows with these texts, no caret, the button lit or not (drawn on the
    // back buffer, which the screen has finished with).
    static Surface Expected_Screen(const std::u16string& id, const std::u16string& shown_password, bool lit) {
        BltFast(Display.Back_Buffer, 0, 0, Login.Login_Background, Rect{0, 0, 640, 480}, BLTFAST_WAIT);
        if (lit) BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, Rect{0, 0, 95, 39}, BLTFAST_WAIT);
        Draw_Outlined_Text(270, 230, id, Rgb(0, 0, 0), Rgb(255, 255, 255));
        Draw_Outlined_Text(270, 283, shown_password, Rgb(0, 0, 0), Rgb(255, 255, 255));
        return Display.Back_Buffer;
    }
};

TEST_F(Login_Test, HeldTabMovesTheFocusOnceEveryTwentyFrames) {
    window.held.insert(VK_TAB);
    std::string focus, open;   // after each frame: the focus, whether the input method was told of an entry
    std::vector<int> entry_y;
    Script_Frames(window, 65, [&](Headless_Window& w, int frame) {
        if (frame > 1) focus += char('0' + Login.Focus), open += w.text_entry_active ? 'o' : '-';
        if (frame == 2 || frame == 62) entry_y.push_back(w.text_entry_y);
    });
    EXPECT_EQ(Run_Until_End(Login_Screen), 0);
    EXPECT_EQ(focus, std::string(20, '2') + std::string(20, '3') + std::string(20, '0') + std::string(5, '1'));
    EXPECT_EQ(open, std::string(20, 'o') + std::string(40, '-') + std::string(5, 'o'));
    EXPECT_EQ(entry_y, (std::vector<int>{280, 228}));   // the password field's box, then the identifier's
}

// The identifier's glyphs: the Chinese one from the Chinese face, the caret after all of them.
TEST_F(Login_Test, FieldsTakeTheirTextAndThePasswordShowsOnlyItsMask) {
    Surface typed, lit_screen;
    Script_Frames(window, 29, [&](Headless_Window& w, int frame) {
        if (frame == 3) w.Type(u"abcdefghijklm你");   // the 13th is dropped, a double-byte one is not
        if (frame == 6) typed = w.last_frame, w.held.insert(VK_TAB);
        if (frame == 7) w.held.erase(VK_TAB), w.Type(u"xyz");
        if (frame == 27) w.held.insert(VK_TAB);   // the latch has run out: to the button
        if (frame == 28) w.held.erase(VK_TAB), w.Type(u"ignored");
        if (frame == 30) lit_screen = w.last_frame;
    });
    EXPECT_EQ(Run_Until_End(Login_Screen), 0);
    const std::u16string id = u"abcdefghijkl你";
    EXPECT_EQ(std::tuple(Login.Fields[0].text, Login.Fields[1].text, Login.Focus), std::tuple(id, u"xyz", 3));
    EXPECT_TRUE(lit_screen.pixels == Expected_Screen(id, u"* * * ", true).pixels);
    const int caret_x = 270 + Round_Half_Even(Text_Width(id));
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255));
    EXPECT_GE(small_world::Count_Pixels(typed, white, Rect{caret_x - 1, 232, caret_x + 2, 254}), 44);
}

// (The caret's blink is the chat line's test: both entries blink alike.)
TEST_F(Login_Test, TheButtonLightsUnderTheMouseButNotOnItsEdge) {
    Surface hovered, plain;
    Script_Frames(window, 39, [&](Headless_Window& w, int frame) {
        if (frame == 2) w.Move_Mouse(350, 340);
        if (frame == 3) hovered = w.last_frame, w.Move_Mouse(600, 20);
        if (frame == 4) plain = w.last_frame, w.Click_At(320, 340);   // the left edge
        if (frame == 38) w.Click_At(300, 290);                        // the password field
    });
    EXPECT_EQ(Run_Until_End(Login_Screen), 0);
    EXPECT_EQ(std::tuple(Net.Offline_Mode, Login.Focus), std::tuple(false, 2));   // no game was started
    for (int y = 320; y < 359; ++y)
        for (int x = 320; x < 415; ++x)
            ASSERT_TRUE(hovered.At(x, y) == Login.Login_Button.At(x - 320, y - 320) &&
                        plain.At(x, y) == Login.Login_Background.At(x, y))
                << x << ", " << y;
}

// (Enter in the identifier field, then in the password field, is what the window test does.)
TEST_F(Login_Test, EveryConfirmStartsTheOfflineGame) {
    const struct {
        const char* what;
        std::function<void(Headless_Window&, int)> script;
    } cases[] = {
        {"Enter on the focused button",
         [](Headless_Window& w, int frame) {
             if (frame == 2 || frame == 22) w.held.insert(VK_TAB);
             if (frame == 3) w.held.erase(VK_TAB);
             if (frame == 23) w.held.erase(VK_TAB), w.Press(13);
         }},
        {"a click just inside the button",
         [](Headless_Window& w, int frame) {
             if (frame == 2) w.Click_At(321, 340);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();   // a fresh start for each
        int game_frames = 0;
        Script_Frames(window, 400, [&](Headless_Window& w, int frame) {
            c.script(w, frame);
            if (Net.Link.In_Game && ++game_frames == 5) w.held.insert(VK_ESCAPE);
        });
        EXPECT_EQ(Run_Until_End(Login_Screen), 0);
        EXPECT_EQ(
            std::tuple(Chars.Own_Player.name, Net.Offline_Mode, Loading.Data_Loaded, Net.Link.In_Game, game_frames),
            std::tuple(u"哇係TAVREN", true, true, true, 5));
        // The game's font, and the login's line width that the game's carets are drawn in.
        EXPECT_EQ(std::tuple(Display.font.face, Display.font.size, Display.line_width), std::tuple(u"新細明體", 12, 2));
    }
}

TEST_F(Login_Test, WithAServerTheConfirmOpensTheConnectionOnce) {
    Net.Server_Host = "127.0.0.1", Net.Server_Port = 7000, Platform.socket = &socket;
    Install_Socket_Handlers();
    Surface waiting;
    Script_Frames(window, 7, [&](Headless_Window& w, int frame) {
        if (frame == 2) w.Type(u"a/b"), w.Press(13), w.Type(u"pw"), w.Press(13);
        if (frame == 4) socket.Receive("/verok x/e/");
        if (frame == 6) w.Press(13), w.Click_At(350, 340);   // confirms while connecting: ignored
        if (frame == 8) waiting = w.last_frame;
    });
    EXPECT_EQ(Run_Until_End(Login_Screen), 0);
    EXPECT_EQ(std::tuple(Net.Link.Login_Id, Net.Link.Login_Password, Net.Offline_Mode),
              std::tuple(u"a/b", u"pw", false));
    EXPECT_EQ(std::tuple(socket.host, socket.port), std::tuple("127.0.0.1", 7000));
    EXPECT_EQ(Count_Of(socket.sent, "/ver "), 1);
    // The screen shows how far the connection has got, under the login box.
    const Surface plain = Expected_Screen(u"a/b", u"* * ", false);
    int changed = 0;
    for (int y = 378; y < 405; ++y)
        for (int x = 240; x < 460; ++x) changed += waiting.At(x, y) != plain.At(x, y);
    EXPECT_GT(changed, 30);
    EXPECT_FALSE(Connection_Status().empty());
}

}   // namespace
