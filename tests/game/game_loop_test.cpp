// game_loop_test.cpp -- the game screen frame by frame: a walk from click to "/got", the hover
// labels and the sprite hit test.
#include <vector>

#include "game/game_screen.h"
#include "game/input.h"
#include "net/net.h"
#include "scene/small_world.h"

using namespace small_world;

namespace {

class Game_Loop_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Install_Input_Handlers();
        Make_Map(40, 40);
        Make_Figures(4);
    }
};

TEST_F(Game_Loop_Test, AClickWalksTheOwnCharacterToThePickedCell) {
    Net.Offline_Mode = false;   // the sends are captured; the server's echo comes from the script
    Platform.socket = &socket;
    Install_Socket_Handlers();
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    window.now = 1000;

    struct Seen {
        int32_t frame_now;   // tick during the frame the state comes from
        int16_t cell_x, cell_y, offset_x, offset_y, step_direction;
        int32_t step_time;
        int16_t screen_x, screen_y;
    };
    std::vector<Seen> seen;
    size_t got_before_click = 0;
    bool echoed = false;
    Script_Frames(
        window,
        [&](Headless_Window& w, int frame) {
            const Player_Record& own = Chars.Own_Player;
            if (frame > 1)
                seen.push_back({w.now, own.cell_x, own.cell_y, own.pixel_offset_x, own.pixel_offset_y,
                                own.step_direction, own.step_time, own.screen_x, own.screen_y});
            w.now += 10;
            if (frame == 4) {
                got_before_click = size_t(Count_Of(socket.sent, "/got "));
                w.Click_At(400, 240);   // the centre of cell (9, 5), four cells right of the own one
            }
            if (frame == 200) w.held.insert(VK_ESCAPE);
        },
        [&](Headless_Window&) {
            // The server's answer to the move request, delivered during the request's own yield.
            if (!echoed && socket.sent.find("/move 5\\5\\9\\5/e/") != std::string::npos) {
                echoed = true;
                socket.Receive("/move 0\\9\\5/e/");
            }
        });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);

    // "/ready" first, then "/got" with the own cell in every frame before the first path.
    EXPECT_EQ(socket.sent.rfind("/ready /e/", 0), 0u);
    EXPECT_EQ(got_before_click, 3u);
    EXPECT_EQ(Count_Of(socket.sent, "/got 5\\5/e/"), 3);
    ASSERT_TRUE(echoed);
    EXPECT_EQ(Chars.Own_Player.path_steps, (std::vector<int16_t>{3, 3, 3, 3}));
    EXPECT_EQ(Chars.Own_Player.cell_x, 9);
    EXPECT_EQ(Chars.Own_Player.cell_y, 5);
    // Once per walk, sent in the frame after the last step began, from the cell being left.
    EXPECT_EQ(Count_Of(socket.sent, "/got "), 4);
    EXPECT_EQ(Count_Of(socket.sent, "/got 8\\5/e/"), 1);

    // Each step ends on a multiple of 100 ms, 201 to 300 ms after the frame that began it, and
    // shows the figure a third and two thirds of the way before it lands on the next cell.
    std::vector<Seen> states;   // the distinct (cell, offset) states in order
    int steps = 0;
    int16_t previous_direction = 0;
    for (const Seen& s : seen) {
        EXPECT_EQ(s.screen_x, 300);
        EXPECT_EQ(s.screen_y, 190);
        if (s.step_direction != 0 && previous_direction == 0) {
            ++steps;
            EXPECT_EQ(s.step_time % 100, 0);
            EXPECT_GE(s.step_time - s.frame_now, 201);
            EXPECT_LE(s.step_time - s.frame_now, 300);
        }
        previous_direction = s.step_direction;
        if (states.empty() || states.back().cell_x != s.cell_x || states.back().offset_x != s.offset_x ||
            states.back().offset_y != s.offset_y)
            states.push_back(s);
    }
    EXPECT_EQ(steps, 4);
    ASSERT_EQ(states.size(), 13u);
    for (size_t i = 0; i < states.size(); ++i) {
        SCOPED_TRACE(i);
        const int third = int(i % 3);
        EXPECT_EQ(states[i].cell_x, 5 + int(i / 3));
        EXPECT_EQ(states[i].offset_x, -6 * third);
        EXPECT_EQ(states[i].offset_y, -3 * third);
    }
}

TEST_F(Game_Loop_Test, OfflineAClickWalksWithoutSendingAnything) {
    Net.Offline_Mode = true;
    Platform.socket = &socket;
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Script_Frames(window, [&](Headless_Window& w, int frame) {
        w.now += 20;
        if (frame == 3) w.Click_At(320, 220);   // the centre of cell (6, 6), straight below
        if (frame == 100) w.held.insert(VK_ESCAPE);
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    EXPECT_EQ(socket.sent, "");
    EXPECT_TRUE(Net.In_Game);
    EXPECT_EQ(Chars.Own_Player.cell_x, 6);
    EXPECT_EQ(Chars.Own_Player.cell_y, 6);
    EXPECT_EQ(Chars.Own_Player.direction, 4);
    EXPECT_EQ(window.frames_presented, 99);
}

TEST_F(Game_Loop_Test, OtherPlayersWalkToTheirTargetsWithoutSending) {
    Net.Offline_Mode = false;
    Platform.socket = &socket;
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Chars.Own_Player.path_length = 1;   // no "/got" in every frame: only the others' walks count
    Chars.Players.resize(2);
    Chars.Players[1].cell_x = 10, Chars.Players[1].cell_y = 10;
    Chars.Players[1].target_x = 12, Chars.Players[1].target_y = 10;
    Chars.Players[1].new_target = true;
    Script_Frames(window, [&](Headless_Window& w, int frame) {
        w.now += 25;
        if (frame == 80) w.held.insert(VK_ESCAPE);
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    EXPECT_EQ(Chars.Players[1].cell_x, 12);
    EXPECT_FALSE(Chars.Players[1].walking);
    EXPECT_EQ(Chars.Players[1].step_index, 0);
    EXPECT_EQ(socket.sent, "/ready /e/");
}

TEST_F(Game_Loop_Test, APathShorterThanItsCountEndsTheWalk) {
    Net.Offline_Mode = true;
    Player_Record& own = Chars.Own_Player;
    own.cell_x = own.cell_y = 5;
    own.walking = true;
    own.path_length = 5;
    own.path_steps = {3};
    Script_Frames(window, [&](Headless_Window& w, int frame) {
        w.now += 50;
        if (frame == 30) w.held.insert(VK_ESCAPE);
    });
    EXPECT_EQ(Run_Until_End(Game_Main_Loop), 0);
    EXPECT_EQ(own.cell_x, 6);
    EXPECT_FALSE(own.walking);
}

TEST_F(Game_Loop_Test, HoveringAFigureShowsItsName) {
    Game.Game_Font = Font_Spec{u"新細明體", 12, false};
    SetFont(Game.Game_Font);
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Chars.Own_Player.name = u"Bob";
    Chars.Players.resize(2);
    Chars.Players[0].name = u"Ann";
    Chars.Players[0].cell_x = 6, Chars.Players[0].cell_y = 6;   // drawn at (300, 210)
    // Out of the view, with a screen position left from long ago right where the own figure is:
    // its name never shows.
    Chars.Players[1].name = u"Ghost";
    Chars.Players[1].cell_x = 39, Chars.Players[1].cell_y = 39;
    Chars.Players[1].screen_x = 300, Chars.Players[1].screen_y = 190;

    Input.Mouse_X = 600, Input.Mouse_Y = 20;
    Draw_Game_Screen();
    const Surface no_label = Display.Back_Buffer;

    struct Case {
        int16_t mouse_x, mouse_y;
        const char16_t* name;   // whose label, or none
        int16_t frame_x, frame_y;
    };
    const Case cases[] = {
        {320, 185, u"Bob", 310, 170},
        {310, 185, nullptr, 0, 0},    // the frame's first column never counts
        {329, 185, nullptr, 0, 0},    // nor its last
        {320, 170, nullptr, 0, 0},    // nor its first row
        {320, 205, u"Ann", 310, 190},  // under the own figure's feet: the other's figure
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mouse (" << c.mouse_x << ", " << c.mouse_y << ")");
        Input.Mouse_X = c.mouse_x, Input.Mouse_Y = c.mouse_y;
        Draw_Game_Screen();
        const Surface hovered = Display.Back_Buffer;
        Display.Back_Buffer = no_label;
        if (c.name) {
            const int32_t h = Round_Half_Even(Text_Height(c.name));
            Draw_Outlined_Text(int16_t(c.frame_x - h / 2), int16_t(c.frame_y - h), c.name, Rgb(0, 0, 0),
                               Rgb(0, 0, 255));
        }
        EXPECT_TRUE(hovered.pixels == Display.Back_Buffer.pixels);
        EXPECT_EQ(Count_Pixels(hovered, Color_To_Pixel(Rgb(0, 0, 255)), Rect{0, 0, 640, 480}) > 0, c.name != nullptr);
    }
}

TEST(Sprite_Hit, ReadsThreeBytesOfTheSheetInsideTheFrameBorder) {
    Surface sheet = Make_Surface(10, 10);
    sheet.At(3, 3) = 0x00FF;   // low byte only
    sheet.At(5, 5) = 0xFF00;   // high byte only
    sheet.At(8, 7) = 0x0001;   // right of a black pixel, low byte
    sheet.At(8, 2) = 0x0100;   // right of a black pixel, high byte only
    sheet.At(0, 4) = sheet.At(9, 4) = sheet.At(4, 0) = sheet.At(4, 9) = 0xFFFF;   // the border
    struct Case {
        int16_t mouse_x, mouse_y;
        bool hit;
    };
    // The whole sheet is one frame drawn at (100, 100).
    const Case cases[] = {
        {103, 103, true},  {105, 105, true},  {106, 105, false}, {107, 107, true},  {107, 102, false},
        {100, 104, false}, {109, 104, false}, {104, 100, false}, {104, 109, false}, {50, 50, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sprite_Hit(sheet, c.mouse_x, c.mouse_y, 0, 0, 10, 10, 100, 100), c.hit)
            << "mouse (" << c.mouse_x << ", " << c.mouse_y << ")";
    }
    // A frame cut from inside the sheet: the mouse is mapped onto the sheet by the source corner.
    EXPECT_TRUE(Sprite_Hit(sheet, 51, 51, 2, 2, 6, 6, 50, 50));
    EXPECT_FALSE(Sprite_Hit(sheet, 50, 51, 2, 2, 6, 6, 50, 50));
    // A frame reaching past the sheet reads nothing beyond it.
    EXPECT_FALSE(Sprite_Hit(sheet, 160, 160, 0, 0, 300, 300, 0, 0));
}

}  // namespace
