// chat_test.cpp -- the chat line: editing, the Enter latch, sending, and Escape.
#include <vector>

#include "game/chat.h"
#include "game/game_screen.h"
#include "game/input.h"
#include "net/net.h"
#include "scene/small_world.h"

namespace {

std::u16string Typed(const std::vector<int16_t>& codes) {
    Game.Chat_Input.clear();
    for (int16_t c : codes) Apply_Chat_Key(c);
    return Game.Chat_Input;
}

TEST(Chat_Editing, TakesPrintableAsciiUnderTheLimitAndDoubleByteAlways) {
    Reset_Game();
    const int16_t ni = Input_Code(u'你');
    ASSERT_LT(ni, 0);
    std::vector<int16_t> ninety_nine(99, 'a');

    struct Case {
        const char* what;
        std::vector<int16_t> codes;
        std::u16string expected;
    };
    std::vector<int16_t> full = ninety_nine;
    full.insert(full.end(), {'b', 'c', ni, 'd'});
    const std::u16string hundred = std::u16string(99, u'a') + u"b";
    const Case cases[] = {
        {"backspace removes the last", {'a', 'b', 'c', 8}, u"ab"},
        {"backspace on empty", {8, 8}, u""},
        {"control codes, Enter and Escape are ignored, 127 is taken", {'x', 13, 27, 9, 0, 31, 127, 128, 200}, u"x\x7f"},
        {"the 101st ASCII character is dropped, a double-byte one is not", full, hundred + u"你"},
        {"backspace removes a double-byte character as one", {'a', ni, ni, 8}, u"a你"},
        {"a code with no character is dropped", {'a', int16_t(-1)}, u"a"},
    };
    for (const Case& c : cases) EXPECT_EQ(Typed(c.codes), c.expected) << c.what;
}

class Chat_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Net.Offline_Mode = false;
        Platform.socket = &socket;
    }
};

TEST_F(Chat_Test, HeldEnterTogglesTheLineEveryTwentyFrames) {
    window.held.insert(VK_RETURN);
    std::vector<int> toggles;
    int16_t active = Game.Chat_Active;
    for (int frame = 1; frame <= 45; ++frame) {
        Check_Keys();
        if (Game.Chat_Active != active) toggles.push_back(frame);
        active = Game.Chat_Active;
    }
    EXPECT_EQ(toggles, (std::vector<int>{1, 21, 41}));
    EXPECT_EQ(socket.sent, "");   // an empty line sends nothing
}

TEST_F(Chat_Test, EnterSendsTheEscapedLineAndAStillHeldEnterReopensIt) {
    Game.Chat_Active = 1;
    Game.Chat_Input = u"a/b\\c";
    window.held.insert(VK_RETURN);
    Check_Keys();
    EXPECT_EQ(socket.sent, "/say a/#b/$c/e/");
    EXPECT_EQ(Game.Chat_Input, u"");
    EXPECT_EQ(Game.Chat_Active, 0);
    EXPECT_EQ(Game.Enter_Latch, 0);
    Check_Keys();
    EXPECT_EQ(Game.Chat_Active, 1);
    EXPECT_EQ(Game.Chat_Input, u"");
    // Offline the line is cleared all the same, and nothing is sent.
    socket.sent.clear();
    Net.Offline_Mode = true;
    Game.Chat_Input = u"hello";
    Game.Enter_Latch = 0;
    Check_Keys();
    EXPECT_EQ(socket.sent, "");
    EXPECT_EQ(Game.Chat_Input, u"");
}

TEST_F(Chat_Test, TheLineInTheGameLoop) {
    Install_Input_Handlers();
    small_world::Make_Map(20, 20);
    std::vector<bool> entry_active;
    Script_Frames(window, [&](Headless_Window& w, int frame) {
        w.now += 16;
        entry_active.push_back(w.text_entry_active);
        switch (frame) {
            case 2:   // Enter opens the line; what is typed in the same frame is taken
                w.held.insert(VK_RETURN);
                w.Type(u"x");
                break;
            case 3:
                w.held.erase(VK_RETURN);
                w.Type(u"你好");
                w.Type(u"a/b");
                w.Press(8);
                w.Type(u"b\\c");
                break;
            case 4: {
                Input.Composition = u"ㄋ";
                break;
            }
            case 30:   // Enter closes and sends; what is typed in that frame is dropped
                Input.Composition.clear();
                w.held.insert(VK_RETURN);
                w.Type(u"zz");
                break;
            case 31:   // typing into a closed line is not kept
                w.held.erase(VK_RETURN);
                w.Type(u"q");
                break;
            case 33:   // a click on the chat box opens it
                w.Click_At(200, 470);
                w.Type(u"k");
                break;
            case 35:   // Escape ends the game, the open line is not sent
                w.held.insert(VK_ESCAPE);
                break;
        }
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    EXPECT_EQ(Count_Of(socket.sent, "/say "), 1);
    EXPECT_NE(socket.sent.find(Wire(u"/say x你好a/#b/$c/e/")), std::string::npos);
    EXPECT_EQ(Game.Chat_Input, u"k");
    EXPECT_EQ(Game.Chat_Active, 1);
    // The input method is told where the line is exactly while it is open.
    ASSERT_GE(entry_active.size(), 35u);
    EXPECT_FALSE(entry_active[1]);   // seen at the start of frame 2: after frame 1
    EXPECT_TRUE(entry_active[2]);
    EXPECT_TRUE(entry_active[29]);
    EXPECT_FALSE(entry_active[30]);
    EXPECT_TRUE(entry_active[33]);
    EXPECT_EQ(window.text_entry_x, 155);
    EXPECT_EQ(window.text_entry_y, 465);
}

TEST_F(Chat_Test, CaretBlinksAfterTheTextAndTheCompositionShowsThere) {
    SetFont(Font_Spec{u"新細明體", 12, false});
    Set_Line_Width(2);
    Game.Chat_Active = 1;
    Game.Chat_Input = u"hi";
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255));
    const int32_t x = 155 + Round_Half_Even(Text_Width(u"hi"));
    std::vector<int> shown;
    for (int frame = 1; frame <= 62; ++frame) {
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
        SetForeColor(Rgb(255, 255, 255));
        Edit_Chat_Line();
        if (small_world::Count_Pixels(Display.Back_Buffer, white, Rect{x - 2, 466, x + 3, 484}) >= 18)
            shown.push_back(frame);
    }
    std::vector<int> expected;
    for (int f = 1; f <= 29; ++f) expected.push_back(f);
    expected.push_back(62);   // the cycle of 61 frames starts again
    EXPECT_EQ(shown, expected);

    // A composition is drawn, underlined, from the caret on, and leaves the colour alone.
    Input.Composition = u"ㄋㄧ";
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
    SetForeColor(Rgb(255, 255, 255));
    Edit_Chat_Line();
    EXPECT_EQ(Display.fore_color, Rgb(255, 255, 255));
    const uint16_t red = Color_To_Pixel(Rgb(255, 0, 0));
    EXPECT_GT(small_world::Count_Pixels(Display.Back_Buffer, red, Rect{x, 465, x + 40, 490}), 10);
    EXPECT_EQ(small_world::Count_Pixels(Display.Back_Buffer, red, Rect{0, 465, x - 1, 490}), 0);
}

}  // namespace
