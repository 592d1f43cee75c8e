// picking_test.cpp -- the cell under the mouse and what a click asks for.
#include "game/game_screen.h"
#include "game/input.h"
#include "game/picking.h"
#include "net/net.h"
#include "scene/small_world.h"

using namespace small_world;

namespace {

TEST(Point_In_Tile, InsideTheDiamondOnlyStrictly) {
    struct Case {
        int16_t x, y;
        bool inside;
    };
    // The tile's box starts at (100, 50): corners (120, 50), (140, 60), (120, 70), (100, 60).
    const Case cases[] = {
        {120, 50, false}, {120, 60, true},  {100, 60, false}, {140, 60, false}, {120, 70, false},
        {101, 60, true},  {139, 60, true},  {119, 51, true},  {110, 52, false}, {130, 52, false},
        {130, 56, true},  {130, 55, false},  {110, 68, false}, {120, 69, true},  {-32000, 60, false}, {120, 32000, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Point_In_Tile(c.x, c.y, 100, 50), c.inside) << "(" << c.x << ", " << c.y << ")";
}

class Picking_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Make_Map(40, 40);
        Init_Direction_Steps();
        Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
        Draw_Scene(320, 190, 38, 38);
        Game.Chat_Box.assign(1, Rect{155, 465, 495, 640});
    }
};

TEST_F(Picking_Test, PicksTheTileDrawnUnderTheMouse) {
    struct Case {
        int16_t x, y;
        bool found;
        int16_t cell_x, cell_y;
    };
    const Case cases[] = {
        {320, 200, true, 5, 5},     // the own tile's centre
        {400, 240, true, 9, 5},     // four cells along x
        {320, 460, true, 18, 18},   // under the status panel: the cell drawn beneath it
        {320, 190, false, 18, 18},  // the own tile's top corner lies on an edge: nothing, the last stays
        {20, 20, false, 18, 18},    // above the map's top corner
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
        EXPECT_EQ(Pick_Cell(c.x, c.y), c.found);
        EXPECT_EQ(Game.Picked_X, c.cell_x);
        EXPECT_EQ(Game.Picked_Y, c.cell_y);
    }
    // A table that does not match its size picks nothing rather than reading past it.
    Scene.Visible_Cols = 100;
    EXPECT_FALSE(Pick_Cell(320, 200));
}

TEST_F(Picking_Test, EveryClickAsksToWalkAndTheChatBoxOpensTheLine) {
    Net.Offline_Mode = false;
    Platform.socket = &socket;
    struct Case {
        int16_t x, y;
        bool opens;
    };
    const Case cases[] = {{155, 470, false}, {156, 470, true}, {494, 479, true}, {495, 470, false}, {300, 300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x << ", " << c.y << ")");
        Game.Chat_Active = 0;
        Game.Picked_X = 9, Game.Picked_Y = 5;
        socket.sent.clear();
        Input.Mouse_X = c.x, Input.Mouse_Y = c.y;
        Input.Clicked = true;
        Check_Click();
        EXPECT_EQ(Game.Chat_Active, c.opens ? 1 : 0);
        EXPECT_EQ(socket.sent, "/move 5\\5\\9\\5/e/");
        EXPECT_TRUE(Input.Clicked);   // the loop clears it at the end of the frame
        EXPECT_EQ(Chars.Own_Player.path_length, 0);   // online the path waits for the server
    }
    // A click never closes an open line, and no click does nothing at all.
    Game.Chat_Active = 1;
    Input.Clicked = false;
    socket.sent.clear();
    Check_Click();
    EXPECT_EQ(socket.sent, "");
    EXPECT_EQ(Game.Chat_Active, 1);
}

TEST_F(Picking_Test, OfflineAClickFindsThePathAtOnceAndSendsNothing) {
    Net.Offline_Mode = true;
    Platform.socket = &socket;
    Map.Ground_Grid(7, 5).blocked = -1;
    Game.Picked_X = 7, Game.Picked_Y = 5;   // blocked: no path
    Input.Clicked = true;
    Check_Click();
    EXPECT_EQ(Chars.Own_Player.path_length, 0);
    EXPECT_FALSE(Chars.Own_Player.walking);
    Game.Picked_X = 8, Game.Picked_Y = 5;
    Check_Click();
    EXPECT_TRUE(Chars.Own_Player.walking);
    EXPECT_GE(Chars.Own_Player.path_length, 3);   // around the blocked cell
    EXPECT_EQ(socket.sent, "");
}

}  // namespace
