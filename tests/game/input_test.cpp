// input_test.cpp -- window events delivered through the yield and stored for the frame loops.
#include <vector>

#include "fixture.h"

namespace {

class Game_Input : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Install_Input_Handlers();
    }
};

const int16_t NI = int16_t(0xA741), HAO = int16_t(0xA66E), MA = int16_t(0xB6DC);

TEST_F(Game_Input, TypedCharactersArriveInOrderAsCodes) {
    struct Case {
        const char* what;
        std::vector<Window_Event> events;
        std::vector<int16_t> codes;
    };
    auto text = [](std::u16string t) {
        Window_Event e;
        e.kind = Window_Event::Text;
        e.text = std::move(t);
        return e;
    };
    auto key = [](int16_t k) {
        Window_Event e;
        e.kind = Window_Event::Key_Press;
        e.key = k;
        return e;
    };
    const Case cases[] = {
        {"a phrase committed at once", {text(u"你好嗎")}, {NI, HAO, MA}},
        {"an emoji between them is dropped", {text(u"你\U0001F600好")}, {NI, HAO}},
        {"no code page 950 code: dropped", {text(u"aé€กb")}, {97, int16_t(0xA3E1), 98}},
        {"keys and text interleaved", {text(u"ab"), key(8), text(u"c"), key(13)}, {97, 98, 8, 99, 13}},
        {"control characters in text are not keys", {text(u"x\ty\r\n\x7F")}, {120, 121}},
        {"printable ASCII", {text(u" ~09AZ")}, {32, 126, 48, 57, 65, 90}},
        {"a lone surrogate", {text(std::u16string(u"\xD800q"))}, {113}},
    };
    for (const Case& c : cases) {
        Reset_Input();
        for (const Window_Event& e : c.events) window.queued.push_back(e);
        Do_Events();
        EXPECT_EQ(Input.Key_Codes, c.codes) << c.what;
    }
}

TEST_F(Game_Input, TypingPilesUpOnlyToABound) {
    window.Type(std::u16string(5000, u'x'));
    Do_Events();
    EXPECT_EQ(Input.Key_Codes.size(), 1024u);
    Input.Key_Codes.clear();
    window.Type(u"y");
    Do_Events();
    EXPECT_EQ(Input.Key_Codes, std::vector<int16_t>{121});
}

TEST_F(Game_Input, MouseMovesAndClicks) {
    window.Move_Mouse(10, 20);
    window.Move_Mouse(639, 479);
    Do_Events();
    EXPECT_EQ(Input.Mouse_X, 639);
    EXPECT_EQ(Input.Mouse_Y, 479);
    EXPECT_FALSE(Input.Clicked);

    // A click without a move keeps the last position.
    Window_Event click;
    click.kind = Window_Event::Click;
    window.queued.push_back(click);
    Do_Events();
    EXPECT_TRUE(Input.Clicked);
    EXPECT_EQ(Input.Mouse_X, 639);

    Input.Clicked = false;
    window.Click_At(155, 466);
    Do_Events();
    EXPECT_TRUE(Input.Clicked);
    EXPECT_EQ(Input.Mouse_X, 155);
    EXPECT_EQ(Input.Mouse_Y, 466);
}

TEST_F(Game_Input, CompositionIsShownUntilCommitted) {
    Window_Event editing;
    editing.kind = Window_Event::Editing;
    editing.text = u"ㄋㄧˇ";
    editing.cursor = 3;
    window.queued.push_back(editing);
    Do_Events();
    EXPECT_EQ(Input.Composition, u"ㄋㄧˇ");
    EXPECT_EQ(Input.Composition_Cursor, 3);
    EXPECT_TRUE(Input.Key_Codes.empty());

    editing.text.clear();
    editing.cursor = 0;
    window.queued.push_back(editing);
    window.Type(u"你");
    Do_Events();
    EXPECT_EQ(Input.Composition, u"");
    EXPECT_EQ(Input.Key_Codes, std::vector<int16_t>{NI});
}

TEST_F(Game_Input, ClosingTheWindowQuitsWithStatusZero) {
    Platform.socket = &socket;
    socket.connected = true;
    Window_Event close;
    close.kind = Window_Event::Close_Request;
    window.queued.push_back(close);
    try {
        Do_Events();
        ADD_FAILURE() << "the program did not end";
    } catch (const Program_End& end) {
        EXPECT_EQ(end.status, 0);
    }
    EXPECT_FALSE(socket.connected);
}

}  // namespace
