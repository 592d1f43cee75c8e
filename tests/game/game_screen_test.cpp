// game_screen_test.cpp -- the game screen: the cell under the mouse and what a click asks for, a
// walk frame by frame from click to "/got", the hover labels, the chat line.
#include "game/game_screen.h"

#include <array>
#include <tuple>
#include <vector>

#include "game/chat.h"
#include "game/picking.h"
#include "platform/encoding.h"
#include "scene/small_world.h"

using namespace small_world;

namespace {

TEST(Point_In_Tile, InsideTheDiamondOnlyStrictly) {
    // The tile's box starts at (100, 50): corners (120, 50), (140, 60), (120, 70), (100, 60).
    const std::tuple<int16_t, int16_t, bool> cases[] = {
        {120, 50, false}, {120, 60, true}, {100, 60, false},    {140, 60, false},    {120, 70, false}, {101, 60, true},
        {139, 60, true},  {119, 51, true}, {110, 52, false},    {130, 52, false},    {130, 56, true},  {130, 55, false},
        {110, 68, false}, {120, 69, true}, {-32000, 60, false}, {120, 32000, false},
    };
    for (auto [x, y, inside] : cases) EXPECT_EQ(Point_In_Tile(x, y, 100, 50), inside) << x << ", " << y;
}

TEST(Sprite_Hit, ReadsThreeBytesOfTheSheetInsideTheFrameBorder) {
    Surface sheet = Make_Surface(10, 10);
    sheet.At(3, 3) = 0x00FF;   // low byte only
    sheet.At(5, 5) = 0xFF00;   // high byte only
    sheet.At(8, 7) = 0x0001;   // right of a black pixel, low byte
    sheet.At(8, 2) = 0x0100;   // right of a black pixel, high byte only
    sheet.At(0, 4) = sheet.At(9, 4) = sheet.At(4, 0) = sheet.At(4, 9) = 0xFFFF;   // the border
    // The whole sheet is one frame drawn at (100, 100): mouse x, y and the result.
    const std::tuple<int16_t, int16_t, bool> cases[] = {
        {103, 103, true},  {105, 105, true},  {106, 105, false}, {107, 107, true},  {107, 102, false},
        {100, 104, false}, {109, 104, false}, {104, 100, false}, {104, 109, false}, {50, 50, false},
    };
    for (auto [x, y, hit] : cases) EXPECT_EQ(Sprite_Hit(sheet, x, y, 0, 0, 10, 10, 100, 100), hit) << x << ", " << y;
    // A frame cut from inside the sheet is mapped onto it by its source corner; one reaching past
    // the sheet reads nothing beyond it.
    EXPECT_TRUE(Sprite_Hit(sheet, 51, 51, 2, 2, 6, 6, 50, 50) && !Sprite_Hit(sheet, 50, 51, 2, 2, 6, 6, 50, 50));
    EXPECT_FALSE(Sprite_Hit(sheet, 160, 160, 0, 0, 300, 300, 0, 0));
}

class Game_Screen_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Install_Input_Handlers();
        Make_Map(40, 40);
        Make_Figures(4);
        Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
        Platform.socket = &socket;
    }
};

TEST_F(Game_Screen_Test, PickingAndClicks) {
    Draw_Scene(320, 190, 38, 38);
    const struct {
        int16_t x, y;
        bool found;
        int16_t cell_x, cell_y;
    } picks[] = {
        {320, 200, true, 5, 5},      // the own tile's centre
        {400, 240, true, 9, 5},      // four cells along x
        {320, 460, true, 18, 18},    // under the status panel: the cell drawn beneath it
        {320, 190, false, 18, 18},   // the own tile's top corner lies on an edge: nothing, the last stays
        {20, 20, false, 18, 18},     // above the map's top corner
    };
    for (const auto& c : picks) {
        EXPECT_EQ(Pick_Cell(c.x, c.y), c.found) << c.x << ", " << c.y;
        EXPECT_EQ(std::tuple(Picking.Picked_X, Picking.Picked_Y), std::tuple(c.cell_x, c.cell_y)) << c.x << ", " << c.y;
    }
    Scene.Visible_Cols = 100;   // a table that does not match its size: nothing, no read past it
    EXPECT_FALSE(Pick_Cell(320, 200));

    // Every click asks to walk to the cell picked last; one inside the chat box opens the line.
    Net.Offline_Mode = false;
    Picking.Chat_Box.assign(1, Rect{155, 465, 495, 640});
    const std::tuple<int16_t, int16_t, bool> clicks[] = {
        {155, 470, false}, {156, 470, true}, {494, 479, true}, {495, 470, false}, {300, 300, false}};
    for (auto [x, y, opens] : clicks) {
        Chat.Chat_Active = 0, Picking.Picked_X = 9, Picking.Picked_Y = 5;
        socket.sent.clear();
        Input.Mouse_X = x, Input.Mouse_Y = y, Input.Clicked = true;
        Check_Click();
        // The loop clears Clicked at the end of the frame; online the path waits for the server.
        EXPECT_EQ(std::tuple(Chat.Chat_Active, socket.sent, Input.Clicked, Chars.Own_Player.path_length),
                  std::tuple(opens ? 1 : 0, "/move 5\\5\\9\\5/e/", true, 0))
            << x << ", " << y;
    }
    // A click never closes an open line, and no click does nothing at all.
    Chat.Chat_Active = 1, Input.Clicked = false;
    socket.sent.clear();
    Check_Click();
    EXPECT_TRUE(Chat.Chat_Active == 1 && socket.sent.empty());
}

TEST_F(Game_Screen_Test, AClickWalksTheOwnCharacterToThePickedCell) {
    Net.Offline_Mode = false;   // the sends are captured; the script plays the server
    Install_Socket_Handlers();
    window.now = 1000;
    Chars.Players = {At_Cell(10, 10)};   // another player walks to its target alongside, sending nothing
    Chars.Players[0].target_x = 12, Chars.Players[0].target_y = 10, Chars.Players[0].new_target = true;

    // Each step ends on a multiple of 100 ms, 201 to 300 ms after the frame that began it, and
    // shows the figure a third and two thirds of the way before it lands on the next cell; the
    // own figure stays at (300, 190) all along.
    std::vector<std::array<int, 3>> states;   // the distinct (cell_x, offset_x, offset_y) in order
    int steps = 0, previous_direction = 0;
    bool echoed = false;
    Script_Frames(
        window, 199,
        [&](Headless_Window& w, int frame) {
            const Player_Record& own = Chars.Own_Player;   // as the frame before left it, at tick w.now
            if (frame > 1) {
                EXPECT_EQ(std::tuple(own.screen_x, own.screen_y), std::tuple(300, 190));
                if (own.step_direction != 0 && previous_direction == 0) {
                    ++steps;
                    EXPECT_EQ(own.step_time % 100, 0);
                    EXPECT_TRUE(own.step_time - w.now >= 201 && own.step_time - w.now <= 300) << own.step_time - w.now;
                }
                previous_direction = own.step_direction;
                const std::array<int, 3> state{own.cell_x, own.pixel_offset_x, own.pixel_offset_y};
                if (states.empty() || states.back() != state) states.push_back(state);
            }
            w.now += 10;
            if (frame == 4) w.Click_At(400, 240);   // the centre of cell (9, 5), four cells right of the own one
        },
        [&](Headless_Window&) {   // the server's answer, delivered during the request's own yield
            if (!echoed && socket.sent.find("/move 5\\5\\9\\5/e/") != std::string::npos)
                echoed = true, socket.Receive("/move 0\\9\\5/e/");
        });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    ASSERT_TRUE(echoed);
    EXPECT_EQ(steps, 4);
    std::vector<std::array<int, 3>> expected;
    for (int i = 0; i < 13; ++i) expected.push_back({5 + i / 3, -6 * (i % 3), -3 * (i % 3)});
    EXPECT_EQ(states, expected);
    // "/ready" first, then "/got" with the own cell in each of the 3 frames before the first path,
    // and once per walk: in the frame after the last step began, from the cell being left.
    EXPECT_EQ(socket.sent.rfind("/ready /e/", 0), 0u);
    EXPECT_EQ(Count_Of(socket.sent, "/got 5\\5/e/"), 3);
    EXPECT_EQ(Count_Of(socket.sent, "/got 8\\5/e/"), 1);
    EXPECT_EQ(Count_Of(socket.sent, "/got "), 4);
    const Player_Record& other = Chars.Players[0];
    EXPECT_EQ(std::tuple(other.cell_x, other.walking, other.step_index), std::tuple(12, false, 0));
}

TEST_F(Game_Screen_Test, OfflineAPathEndsAtItsLastEntryAndAClickWalksWithoutSending) {
    Net.Offline_Mode = true;
    Player_Record& own = Chars.Own_Player;
    own.walking = true, own.path_length = 5, own.path_steps = {3};   // shorter than its count
    bool stopped = false;
    Script_Frames(window, 99, [&](Headless_Window& w, int frame) {
        w.now += 50;
        if (frame != 30) return;
        stopped = own.cell_x == 6 && own.cell_y == 5 && !own.walking;
        w.Click_At(320, 220);   // the centre of cell (7, 6), straight below
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(std::tuple(own.cell_x, own.cell_y, own.direction), std::tuple(7, 6, 4));
    // Nothing sent; Escape ends frame 100 before it is drawn.
    EXPECT_EQ(std::tuple(socket.sent, Net.Link.In_Game, window.frames_presented), std::tuple("", true, 99));
}

TEST_F(Game_Screen_Test, HoveringAFigureShowsItsName) {
    SetFont(Game.Game_Font = Font_Spec{u"新細明體", 12, false});
    Chars.Own_Player.name = u"Bob";
    // Ann is drawn at (300, 210). Ghost is out of the view, with a screen position left from long
    // ago right where the own figure is: its name never shows.
    Chars.Players = {At_Cell(6, 6), At_Cell(39, 39)};
    Chars.Players[0].name = u"Ann", Chars.Players[1].name = u"Ghost";
    Chars.Players[1].screen_x = 300, Chars.Players[1].screen_y = 190;
    Input.Mouse_X = 600, Input.Mouse_Y = 20;
    Draw_Game_Screen();
    const Surface no_label = Display.Back_Buffer;
    // The mouse, whose label shows (or none) and the frame it belongs to.
    const struct {
        int16_t mouse_x, mouse_y;
        const char16_t* name;
        int16_t frame_x, frame_y;
    } cases[] = {
        {320, 185, u"Bob", 310, 170},
        {310, 185, nullptr, 0, 0},      // the frame's first column never counts
        {320, 205, u"Ann", 310, 190},   // under the own figure's feet: the other's figure
    };
    for (const auto& c : cases) {
        Input.Mouse_X = c.mouse_x, Input.Mouse_Y = c.mouse_y;
        Draw_Game_Screen();
        const Surface hovered = Display.Back_Buffer;
        Display.Back_Buffer = no_label;
        if (c.name) {   // blue on a black outline; the height, not the width, is halved
            const int32_t h = Round_Half_Even(Text_Height(c.name));
            Draw_Outlined_Text(int16_t(c.frame_x - h / 2), int16_t(c.frame_y - h), c.name, 0, Rgb(0, 0, 255));
        }
        EXPECT_TRUE(hovered.pixels == Display.Back_Buffer.pixels) << c.mouse_x << ", " << c.mouse_y;
        EXPECT_EQ(Count_Pixels(hovered, Color_To_Pixel(Rgb(0, 0, 255)), Rect{0, 0, 640, 480}) > 0, c.name != nullptr);
    }
}

TEST_F(Game_Screen_Test, EnterTogglesEveryTwentyFramesAndAtOnceAfterASend) {
    window.held.insert(VK_RETURN);   // held on an empty line: toggles, sends nothing
    std::string active;              // after each frame
    for (int frame = 1; frame <= 45; ++frame) Check_Keys(), active += char('0' + Chat.Chat_Active);
    EXPECT_EQ(active, std::string(20, '1') + std::string(20, '0') + std::string(5, '1'));   // frames 1, 21, 41
    EXPECT_EQ(socket.sent, "");

    // Sending closes the line and leaves the latch at 0: a still held Enter reopens it, empty. (The
    // line sent is the game loop's test; that nothing goes out offline, the sends'.)
    Chat.Chat_Active = 1, Chat.Enter_Latch = 0, Chat.Chat_Input.text = u"a";
    Check_Keys();
    EXPECT_TRUE(Chat.Chat_Input.text.empty() && Chat.Chat_Active == 0 && Chat.Enter_Latch == 0);
    Check_Keys();
    EXPECT_TRUE(Chat.Chat_Input.text.empty() && Chat.Chat_Active == 1);
}

TEST_F(Game_Screen_Test, TheChatLineInTheGameLoop) {
    std::string entry_open;   // whether the input method was told of an open entry, after each frame
    Script_Frames(window, 34, [&](Headless_Window& w, int frame) {   // Escape in 35: the open line unsent
        if (frame > 1) entry_open += w.text_entry_active ? '1' : '0';
        if (frame == 2) w.held.insert(VK_RETURN), w.Type(u"x");   // opens; typed in that frame: taken
        if (frame == 3) w.held.erase(VK_RETURN), w.Type(u"你好"), w.Type(u"a/b"), w.Press(8), w.Type(u"b\\c");
        if (frame == 4) Input.Composition = u"ㄋ";
        if (frame == 30) Input.Composition.clear(), w.held.insert(VK_RETURN), w.Type(u"zz");   // sends; "zz" dropped
        if (frame == 31) w.held.erase(VK_RETURN), w.Type(u"q");   // typed into a closed line: not kept
        if (frame == 33) w.Click_At(200, 470), w.Type(u"k");      // a click on the chat box opens it
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    const std::string sent = To_Cp950(u"/say x你好a/#b/$c/e/");
    EXPECT_EQ(std::tuple(Count_Of(socket.sent, "/say "), Count_Of(socket.sent, sent)), std::tuple(1, 1));
    EXPECT_TRUE(Chat.Chat_Input.text == u"k" && Chat.Chat_Active == 1);
    // The input method is told where the line is exactly while it is open.
    EXPECT_EQ(entry_open, "0" + std::string(28, '1') + "000" + "11");   // open in frames 2..29 and 33..34
    EXPECT_EQ(std::pair(window.text_entry_x, window.text_entry_y), std::pair(155, 465));
}

// The chat line's text runs past the bottom of the 480 rows; the composition's mark must not.
TEST_F(Game_Screen_Test, CaretBlinksAfterTheTextAndTheCompositionIsMarkedThereInsideTheScreen) {
    SetFont(Font_Spec{u"新細明體", 12, false});
    Set_Line_Width(2);
    Chat.Chat_Active = 1, Chat.Chat_Input.text = u"hi";
    const uint16_t white = Color_To_Pixel(Rgb(255, 255, 255)), red = Color_To_Pixel(Rgb(255, 0, 0));
    const int32_t x = 155 + Round_Half_Even(Text_Width(u"hi")), width = Round_Half_Even(Text_Width(u"ㄋㄧ"));
    auto frame = [&] {   // one frame of the open line; whether the caret shows
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
        SetForeColor(Rgb(255, 255, 255));
        Edit_Chat_Line();
        return Count_Pixels(Display.Back_Buffer, white, Rect{x - 2, 466, x + 3, 484}) >= 18 ? '|' : ' ';
    };
    std::string shown;
    for (int f = 1; f <= 62; ++f) shown += frame();
    EXPECT_EQ(shown, std::string(29, '|') + std::string(32, ' ') + "|");   // a cycle of 61 frames
    // A composition is drawn, underlined, from the caret on, and leaves the colour alone.
    Input.Composition = u"ㄋㄧ";
    frame();
    EXPECT_EQ(Display.fore_color, Rgb(255, 255, 255));
    EXPECT_GT(Count_Pixels(Display.Back_Buffer, red, Rect{x, 465, x + 40, 490}), 10);
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, red, Rect{0, 465, x - 1, 490}), 0);
    // The red pixels in the last two rows under "ㄋㄧ" drawn after "hi": committed, and composed.
    auto bottom_rows = [&](const std::u16string& committed, const std::u16string& composed) {
        Chat.Chat_Input.text = committed;
        Input.Composition = composed;
        Chat.Chat_Input.caret_counter = 40;   // the caret is off: only text and mark
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
        Draw_Outlined_Text(155, 465, committed, Rgb(255, 255, 255), Rgb(255, 0, 0));
        Edit_Chat_Line();
        return Count_Pixels(Display.Back_Buffer, red, Rect{x, 478, x + width, 480});
    };
    EXPECT_EQ(bottom_rows(u"hi", u"ㄋㄧ"), 2 * width);   // both rows under the whole composition
    EXPECT_LT(bottom_rows(u"hiㄋㄧ", u""), width);       // committed text has no such line
}

}   // namespace
