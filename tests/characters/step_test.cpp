// step_test.cpp -- stepping from cell to cell: offsets on the clock, blocked and off-map steps.
#include <gtest/gtest.h>

#include "characters/player.h"
#include "fixture.h"
#include "map/map.h"

namespace {

class Stepping : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Init_Direction_Steps();
        Init_Pixel_Steps();
        Map.Map_Width = Map.Map_Height = 10;
        Map.Ground_Grid.Resize(10, 10);
    }
    // A record on (x, y) stepping in direction d, due at 1300.
    static Player_Record Stepper(int16_t x, int16_t y, int16_t d) {
        Player_Record r;
        r.cell_x = x;
        r.cell_y = y;
        r.step_direction = d;
        r.direction = d;
        r.step_time = 1300;
        return r;
    }
    void Step_At(Player_Record& r, int32_t now) {
        window.now = now;
        Step_Player(r);
    }
};

}  // namespace

TEST_F(Stepping, Each_Direction_Moves_A_Third_Then_Two_Thirds_Then_Lands) {
    struct Case {
        int16_t d, dx, dy, px, py;
    };
    const Case cases[] = {
        {1, 0, -1, -6, 3}, {2, 1, -1, -13, 0}, {3, 1, 0, -6, -3}, {4, 1, 1, 0, -6},
        {5, 0, 1, 6, -3},  {6, -1, 1, 13, 0},  {7, -1, 0, 6, 3},  {8, -1, -1, 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("direction " + std::to_string(c.d));
        Player_Record r = Stepper(5, 5, c.d);
        Step_At(r, 1099);
        EXPECT_EQ(r.pixel_offset_x, 0);
        EXPECT_EQ(r.pixel_offset_y, 0);
        Step_At(r, 1100);
        EXPECT_EQ(r.pixel_offset_x, c.px);
        EXPECT_EQ(r.pixel_offset_y, c.py);
        Step_At(r, 1199);
        EXPECT_EQ(r.pixel_offset_x, c.px);
        Step_At(r, 1200);
        EXPECT_EQ(r.pixel_offset_x, 2 * c.px);
        EXPECT_EQ(r.pixel_offset_y, 2 * c.py);
        EXPECT_EQ(r.cell_x, 5);
        EXPECT_EQ(r.step_direction, c.d);
        Step_At(r, 1299);
        EXPECT_EQ(r.cell_y, 5);
        Step_At(r, 1300);
        EXPECT_EQ(r.pixel_offset_x, 0);
        EXPECT_EQ(r.pixel_offset_y, 0);
        EXPECT_EQ(r.cell_x, 5 + c.dx);
        EXPECT_EQ(r.cell_y, 5 + c.dy);
        EXPECT_EQ(r.step_direction, 0);
        // Between steps the call changes nothing.
        Step_At(r, 5000);
        EXPECT_EQ(r.cell_x, 5 + c.dx);
        EXPECT_EQ(r.cell_y, 5 + c.dy);
    }
    // A frame that comes late jumps straight to the landing.
    Player_Record r = Stepper(5, 5, 3);
    Step_At(r, 4000);
    EXPECT_EQ(r.cell_x, 6);
    EXPECT_EQ(r.pixel_offset_x, 0);
}

TEST_F(Stepping, Blocked_Off_Map_Or_Unknown_Steps_End_Where_They_Stand) {
    Map.Ground_Grid(6, 5).blocked = -1;
    Map.Ground_Grid(4, 5).blocked = 7;   // any nonzero value blocks
    struct Case {
        const char* name;
        int16_t x, y, d;
    };
    const Case cases[] = {
        {"blocked cell", 5, 5, 3},        {"nonzero blocked value", 5, 5, 7}, {"off the top", 3, 0, 1},
        {"off the left", 0, 3, 7},        {"off the bottom right", 9, 9, 4},  {"off the corner", 0, 0, 8},
        {"direction 9", 5, 5, 9},         {"direction -1", 5, 5, -1},         {"direction 32767", 5, 5, 32767},
        {"standing off the map", 12, 3, 0}, {"at the int16 edge", 32767, 32767, 4},
        {"before the int16 edge", -32768, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Player_Record r = Stepper(c.x, c.y, c.d);
        r.pixel_offset_x = 11;   // left as they are
        Step_At(r, 1300);
        EXPECT_EQ(r.cell_x, c.x);
        EXPECT_EQ(r.cell_y, c.y);
        EXPECT_EQ(r.step_direction, 0);
        EXPECT_EQ(r.pixel_offset_x, 11);
    }
}
