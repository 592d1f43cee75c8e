// login_test.cpp -- the login screen driven frame by frame: focus and the Tab latch, the fields,
// the mask, the button, confirming offline and with a server.
#include <unistd.h>

#include <map>
#include <string>

#include "fixture.h"
#include "game/game.h"
#include "game/input.h"
#include "login/login.h"
#include "platform/encoding.h"

namespace {

int Run_Login() {
    try {
        Login_Screen();
    } catch (const Program_End& end) {
        return end.status;
    }
    return -1;
}

int Count_Of(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

class Login_Test : public Headless_Test {
protected:
    std::string saved_folder;
    int64_t last_frame = -1;

    void SetUp() override {
        Headless_Test::SetUp();
        Install_Input_Handlers();
        window.ms_per_poll = 10;   // the login screen waits 20 ms a frame
        // The game reads data\ from the current folder: the generated world's.
        char buffer[4096];
        saved_folder = getcwd(buffer, sizeof buffer) ? buffer : ".";
        ASSERT_EQ(chdir(ISO_OUT_DIR), 0);
    }
    void TearDown() override {
        if (chdir(saved_folder.c_str()) != 0) ADD_FAILURE() << "cannot return to " << saved_folder;
        Headless_Test::TearDown();
    }
    // Calls `frame` with the number of the frame about to run (1 for the first), once per frame.
    void On_Frame(std::function<void(Headless_Window&, int)> frame, int limit = 400) {
        window.on_poll = [this, frame, limit](Headless_Window& w, int64_t) {
            if (w.frames_presented == last_frame) return;
            last_frame = w.frames_presented;
            const int number = int(w.frames_presented) + 1;
            if (number > limit) w.held.insert(VK_ESCAPE);
            frame(w, number);
        };
    }
    // The picture the screen shows with these texts, no caret, the button lit or not.
    static Surface Expected_Screen(const std::u16string& id, const std::u16string& shown_password, bool lit) {
        Surface saved = Display.Back_Buffer;
        BltFast(Display.Back_Buffer, 0, 0, Login.Login_Background, Rect{0, 0, 640, 480}, BLTFAST_WAIT);
        if (lit) BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, Rect{0, 0, 95, 39}, BLTFAST_WAIT);
        Draw_Outlined_Text(270, 230, id, Rgb(0, 0, 0), Rgb(255, 255, 255));
        Draw_Outlined_Text(270, 283, shown_password, Rgb(0, 0, 0), Rgb(255, 255, 255));
        Surface expected = Display.Back_Buffer;
        Display.Back_Buffer = saved;
        return expected;
    }
};

TEST_F(Login_Test, HeldTabMovesTheFocusOnceEveryTwentyFrames) {
    window.held.insert(VK_TAB);
    std::map<int, int> focus_after;    // frame -> focus after it
    std::map<int, bool> entry_after;   // frame -> the input method told of an open entry
    std::map<int, int> entry_y;
    On_Frame([&](Headless_Window& w, int frame) {
        focus_after[frame - 1] = Login.Focus;
        entry_after[frame - 1] = w.text_entry_active;
        entry_y[frame - 1] = w.text_entry_y;
        if (frame == 66) w.held.insert(VK_ESCAPE);
    });
    EXPECT_EQ(Run_Login(), 0);
    const std::pair<int, int> expected[] = {{1, 2}, {20, 2}, {21, 3}, {40, 3}, {41, 0}, {60, 0}, {61, 1}, {65, 1}};
    for (auto [frame, focus] : expected) EXPECT_EQ(focus_after[frame], focus) << "after frame " << frame;
    EXPECT_TRUE(entry_after[1]);
    EXPECT_EQ(entry_y[1], 280);   // the password field's box
    EXPECT_FALSE(entry_after[21]);
    EXPECT_FALSE(entry_after[41]);
    EXPECT_TRUE(entry_after[61]);
    EXPECT_EQ(entry_y[61], 228);
}

TEST_F(Login_Test, FieldsTakeTheirTextAndThePasswordShowsOnlyItsMask) {
    Surface lit_screen;
    On_Frame([&](Headless_Window& w, int frame) {
        switch (frame) {
            case 2: w.Type(u"abc"); w.Press(8); w.Press(8); w.Press(8); w.Press(8); break;   // "" and more
            case 3: w.Type(u"abcdefghijklm"); break;   // the 13th is dropped
            case 4: w.Type(u"你"); break;              // a double-byte one is still taken
            case 5: w.held.insert(VK_TAB); break;
            case 6: w.held.erase(VK_TAB); w.Type(u"xyz"); break;
            case 26: w.held.insert(VK_TAB); break;   // the latch has run out: to the button
            case 27: w.held.erase(VK_TAB); w.Type(u"ignored"); break;
            case 29: lit_screen = w.last_frame; break;
            case 30: w.held.insert(VK_ESCAPE); break;
        }
    });
    EXPECT_EQ(Run_Login(), 0);
    EXPECT_EQ(Login.Fields[0].text, u"abcdefghijkl你");
    EXPECT_EQ(Login.Fields[1].text, u"xyz");
    EXPECT_EQ(Login.Focus, 3);
    const Surface expected = Expected_Screen(u"abcdefghijkl你", u"* * * ", true);
    EXPECT_TRUE(lit_screen.pixels == expected.pixels);
}

TEST_F(Login_Test, TheCaretBlinksAtTheStartOfTheEmptyIdentifierField) {
    std::map<int, int> white_at_caret;
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255));
    On_Frame([&](Headless_Window& w, int frame) {
        if (frame > 1) {
            int n = 0;
            for (int y = 232; y < 254; ++y)
                for (int x = 268; x < 273; ++x) n += w.last_frame.At(x, y) == white;
            white_at_caret[frame - 1] = n;
        }
        if (frame == 40) w.held.insert(VK_ESCAPE);
    });
    EXPECT_EQ(Run_Login(), 0);
    EXPECT_GE(white_at_caret[1], 22 * 2);   // two pixels wide, rows 232..253 of 230..255
    EXPECT_GE(white_at_caret[29], 22 * 2);
    EXPECT_EQ(white_at_caret[30], 0);
    EXPECT_EQ(white_at_caret[38], 0);
}

TEST_F(Login_Test, TheButtonLightsUnderTheMouseAndItsEdgeIsNotInside) {
    Surface hovered, plain;
    On_Frame([&](Headless_Window& w, int frame) {
        switch (frame) {
            case 2: w.Move_Mouse(350, 340); break;
            case 3: hovered = w.last_frame; w.Move_Mouse(600, 20); break;
            case 4: plain = w.last_frame; w.Click_At(320, 340); break;   // the left edge
            case 6: w.Click_At(300, 290); break;                        // the password field
            case 8: w.held.insert(VK_ESCAPE); break;
        }
    });
    EXPECT_EQ(Run_Login(), 0);
    EXPECT_FALSE(Net.Offline_Mode);   // no game was started
    EXPECT_EQ(Login.Focus, 2);
    for (int y = 0; y < 39; ++y)
        for (int x = 0; x < 95; ++x) {
            ASSERT_EQ(hovered.At(320 + x, 320 + y), Login.Login_Button.At(x, y)) << x << ", " << y;
            ASSERT_EQ(plain.At(320 + x, 320 + y), Login.Login_Background.At(320 + x, 320 + y)) << x << ", " << y;
        }
}

TEST_F(Login_Test, EveryConfirmStartsTheOfflineGame) {
    struct Case {
        const char* what;
        std::function<void(Headless_Window&, int)> script;
    };
    const Case cases[] = {
        {"Enter in the identifier field, then in the password field",
         [](Headless_Window& w, int frame) {
             if (frame == 2) w.Type(u"me"), w.Press(13), w.Type(u"pw"), w.Press(13);
         }},
        {"Enter on the focused button",
         [](Headless_Window& w, int frame) {
             if (frame == 2 || frame == 22) w.held.insert(VK_TAB);
             if (frame == 3) w.held.erase(VK_TAB);
             if (frame == 23) w.held.erase(VK_TAB), w.Press(13);
         }},
        {"a click just inside the button", [](Headless_Window& w, int frame) {
             if (frame == 2) w.Click_At(321, 340);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reset_All_Modules();
        Platform.window = &window;
        Platform.program_folder = ISO_OUT_DIR;
        Install_Input_Handlers();
        window.held.clear();
        window.frames_presented = 0;
        last_frame = -1;
        int game_frames = 0;
        On_Frame([&](Headless_Window& w, int frame) {
            c.script(w, frame);
            if (Net.In_Game && ++game_frames == 5) w.held.insert(VK_ESCAPE);
        });
        EXPECT_EQ(Run_Login(), 0);
        EXPECT_EQ(Chars.Own_Player.name, u"哇係TAVREN");
        EXPECT_TRUE(Net.Offline_Mode);
        EXPECT_TRUE(Loading.Data_Loaded);
        EXPECT_TRUE(Net.In_Game);
        EXPECT_EQ(game_frames, 5);
        EXPECT_TRUE(Display.font.face == u"新細明體" && Display.font.size == 12);
        EXPECT_EQ(Display.line_width, 2);   // the carets of the game are drawn in the login's width
    }
}

TEST_F(Login_Test, WithAServerTheConfirmOpensTheConnectionOnce) {
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = 7000;
    Platform.socket = &socket;
    Install_Socket_Handlers();
    Surface waiting;
    On_Frame([&](Headless_Window& w, int frame) {
        switch (frame) {
            case 2: w.Type(u"a/b"); w.Press(13); w.Type(u"pw"); w.Press(13); break;
            case 4: socket.Receive("/verok x/e/"); break;
            case 6: w.Press(13); w.Click_At(350, 340); break;   // confirms while connecting: ignored
            case 8: waiting = w.last_frame; w.held.insert(VK_ESCAPE); break;
        }
    });
    EXPECT_EQ(Run_Login(), 0);
    EXPECT_EQ(Net.Login_Id, u"a/b");
    EXPECT_EQ(Net.Login_Password, u"pw");
    EXPECT_FALSE(Net.Offline_Mode);
    EXPECT_EQ(socket.host, "127.0.0.1");
    EXPECT_EQ(socket.port, 7000);
    EXPECT_EQ(Count_Of(socket.sent, "/ver 0.1 beta/e/"), 1);
    EXPECT_EQ(Count_Of(socket.sent, "/id a/#b/e/"), 1);
    // The screen shows how far the connection has got, under the login box.
    const Surface plain = Expected_Screen(u"a/b", u"* * ", false);
    int changed = 0;
    for (int y = 378; y < 405; ++y)
        for (int x = 240; x < 460; ++x) changed += waiting.At(x, y) != plain.At(x, y);
    EXPECT_GT(changed, 30);
    EXPECT_FALSE(Connection_Status().empty());
}

}  // namespace
