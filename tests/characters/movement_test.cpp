// movement_test.cpp -- stepping from cell to cell, and path finding: hand-drawn maps, the box cut,
// the 64-step limit, random maps.
#include <gtest/gtest.h>

#include <random>

#include "fixture.h"

namespace {

using Path = std::vector<int16_t>;
using Cell = Step;

// '#' blocked (-1), anything else free; returns the cells marked 'S' and 'T'.
std::pair<Cell, Cell> Draw_Map(const std::vector<std::string>& rows) {
    Map.Map_Width = int16_t(rows[0].size()), Map.Map_Height = int16_t(rows.size());
    Map.Ground_Grid.Resize(Map.Map_Width, Map.Map_Height);
    Cell marked[2];
    for (int16_t y = 0; y < Map.Map_Height; ++y)
        for (int16_t x = 0; x < Map.Map_Width; ++x) {
            const char c = rows[size_t(y)][size_t(x)];
            Map.Ground_Grid(x, y).blocked = c == '#' ? -1 : 0;
            if (c == 'S' || c == 'T') marked[c == 'T'] = {x, y};
        }
    return {marked[0], marked[1]};
}

// The fill as plainly described: sweep the whole box, columns outer, rows inner, every numbered
// cell each time, until the start has a number or a sweep changes nothing.
Path Plain_Fill(Cell s, Cell t, int bx, int by, int bw, int bh) {
    const int w = Map.Map_Width, h = Map.Map_Height;
    bw = std::min(bw, w - bx), bh = std::min(bh, h - by);
    Path g(size_t((w + 1) * (h + 1)), 0);
    auto at = [&](int x, int y) -> int16_t& { return g[size_t(x * (h + 1) + y)]; };
    at(t.x, t.y) = 1;
    for (bool changed = true; changed && !(s.x >= 0 && s.y >= 0 && s.x <= w && s.y <= h && at(s.x, s.y));) {
        changed = false;
        for (int x = std::max(bx, 0); x <= std::min(bx + bw, w); ++x)
            for (int y = std::max(by, 0); y <= std::min(by + bh, h); ++y)
                for (auto [dx, dy] : {std::pair{0, -1}, {1, 0}, {0, 1}, {-1, 0}})
                    if (at(x, y) && x + dx >= 0 && x + dx <= bx + bw && y + dy >= 0 && y + dy <= by + bh &&
                        !Is_Blocked(int16_t(dx), int16_t(dy), int16_t(x), int16_t(y)) && !at(x + dx, y + dy))
                        at(x + dx, y + dy) = int16_t(at(x, y) + 1), changed = true;
    }
    return g;
}

struct Moving : Headless_Test {
    Player_Record r;
    void SetUp() override {
        Headless_Test::SetUp();
        Init_Direction_Steps();
        Init_Pixel_Steps();
    }
    // The main loop's call, with a box of `size` (38 in the game) at (box_x, box_y); returns the steps.
    Path Find(Cell s, Cell t, int16_t box_x = 0, int16_t box_y = 0, int16_t size = 38) {
        int16_t w = size, h = size;
        Find_Path(r, s.x, s.y, t.x, t.y, box_x, box_y, w, h);
        return Path(r.path_steps.begin(), r.path_steps.begin() + r.path_length);
    }
};

}   // namespace

TEST_F(Moving, A_Step_In_Each_Direction_Moves_A_Third_Then_Two_Thirds_Then_Lands) {
    Draw_Map(std::vector<std::string>(10, std::string(10, '.')));
    const struct {
        int16_t d, dx, dy, px, py;
    } cases[] = {
        {1, 0, -1, -6, 3}, {2, 1, -1, -13, 0}, {3, 1, 0, -6, -3}, {4, 1, 1, 0, -6},
        {5, 0, 1, 6, -3},  {6, -1, 1, 13, 0},  {7, -1, 0, 6, 3},  {8, -1, -1, 0, 6},
    };
    // The thirds of the step shown after each tick; from 1300 on the record stands on the new cell.
    const std::pair<int, int> ticks[] = {{1099, 0}, {1100, 1}, {1199, 1}, {1200, 2}, {1299, 2}, {1300, 0}, {5000, 0}};
    for (const auto& c : cases) {
        r = Player_Record{};
        r.cell_x = r.cell_y = 5, r.step_direction = c.d, r.step_time = 1300;
        for (auto [now, thirds] : ticks) {
            window.now = now;
            Step_Player(r);
            const bool landed = now >= 1300;
            EXPECT_EQ(std::tuple(r.pixel_offset_x, r.pixel_offset_y, r.cell_x, r.cell_y, r.step_direction),
                      std::tuple(thirds * c.px, thirds * c.py, 5 + landed * c.dx, 5 + landed * c.dy, landed ? 0 : c.d))
                << "direction " << c.d << " at " << now;
        }
    }
}

TEST_F(Moving, Blocked_Off_Map_Or_Unknown_Steps_End_Where_They_Stand) {
    Draw_Map(std::vector<std::string>(10, std::string(10, '.')));
    Map.Ground_Grid(6, 5).blocked = -1;
    Map.Ground_Grid(4, 5).blocked = 7;   // any nonzero value blocks
    const struct {
        int16_t x, y, d;
    } cases[] = {
        {5, 5, 3},  {5, 5, 7},         {3, 0, 1},      {0, 3, 7}, {9, 9, 4}, {0, 0, 8},   // blocked, off the map
        {5, 5, 9},  {5, 5, -1},        {5, 5, 32767},                                     // no such direction
        {12, 3, 0}, {32767, 32767, 4}, {-32768, 0, 0},   // standing off the map, at the int16 edges
    };
    for (const auto& c : cases) {
        // Every record carries an offset of 11, which the step must leave alone.
        r = Player_Record{};
        r.cell_x = c.x, r.cell_y = c.y, r.step_direction = c.d, r.step_time = 1300, r.pixel_offset_x = 11;
        window.now = 1300;
        Step_Player(r);
        EXPECT_EQ(std::tuple(r.cell_x, r.cell_y, r.step_direction, r.pixel_offset_x), std::tuple(c.x, c.y, 0, 11))
            << c.x << ", " << c.y << " in direction " << c.d;
    }
}

TEST_F(Moving, Hand_Drawn_Maps_Give_The_Expected_Steps) {
    const std::pair<std::vector<std::string>, Path> cases[] = {
        {{"S...T"}, {3, 3, 3, 3}},
        {{"S..", "...", "..T"}, {4, 4}},
        {{".....", ".S#T.", "....."}, {2, 4}},           // a tie between 2 and 4 goes to 2
        {{"....", ".S#.", ".#T.", "...."}, {4}},         // diagonal between two blocked cells (kept)
        {{"S#..", ".#T.", "....", "...."}, {5, 4, 2}},   // around a wall
    };
    for (const auto& [rows, steps] : cases) {
        const auto [s, t] = Draw_Map(rows);
        r.step_index = 3, r.walking = false;
        EXPECT_EQ(Find(s, t), steps) << testing::PrintToString(rows);
        EXPECT_TRUE(r.walking && r.step_index == 0);
    }
}

TEST_F(Moving, No_Path_Leaves_The_Walk_As_It_Was) {
    const auto [s, t] = Draw_Map({"S..#", "...#", "##.#", "..#T"});
    // A walled-in target: the fill stops, nothing found; the walk in progress keeps going.
    r.walking = true, r.step_index = 2;
    EXPECT_EQ(Find(s, t), Path{});
    EXPECT_TRUE(r.walking);
    // A blocked target, or one off the map (a server may send one): no search, the old grid stays.
    r.distance_grid.assign(3, 42);
    for (Cell target : {Cell{3, 0}, Cell{4, 0}, Cell{0, 4}, Cell{-1, 0}, Cell{0, -1}, Cell{32767, 32767}}) {
        r.path_length = 5;
        Find(s, target);
        EXPECT_EQ(std::tuple(r.path_length, r.distance_grid, r.step_index), std::tuple(0, Path(3, 42), 2))
            << target.x << ", " << target.y;
    }
    // Start equal to target: an empty walk.
    r = Player_Record{};
    EXPECT_EQ(Find(s, s), Path{});
    EXPECT_TRUE(r.walking);
}

TEST_F(Moving, Paths_Over_64_Steps_Are_Dropped) {
    Draw_Map({std::string(70, '.')});
    EXPECT_EQ(Find({0, 0}, {64, 0}, 0, 0, 100), Path(64, 3));
    r.step_index = 7;
    EXPECT_EQ(Find({0, 0}, {65, 0}, 0, 0, 100), Path{});
    EXPECT_EQ(std::tuple(r.path_steps.size(), r.walking, r.step_index), std::tuple(1u, true, 0));

    // A winding corridor inside the view box, much longer than 64 steps; its first two lanes are not.
    const auto [s, t] =
        Draw_Map({"S.............................", "#############################.", "..............................",
                  ".#############################", "..............................", "#############################.",
                  ".............................T"});
    EXPECT_EQ(Find(s, t), Path{});
    EXPECT_EQ(Find(s, Cell{0, 2}).size(), 58u);
}

// On random maps and boxes the fill numbers every cell as the plain sweep does, and every path found
// starts at the start, ends at the target, steps on free cells only and has at most 64 steps.
TEST_F(Moving, Random_Maps_Fill_As_The_Plain_Sweep_And_Give_Sound_Paths) {
    std::mt19937 random(77);
    int found = 0;
    for (int round = 0; round < 1000; ++round) {
        // Every tenth map and box larger than a column's 64-row bit word.
        const int side = round % 10 == 9 ? 140 : 30;
        const int w = 2 + int(random() % unsigned(side)), h = 2 + int(random() % unsigned(side));
        const int walls = int(random() % 45);
        Draw_Map(std::vector<std::string>(size_t(h), std::string(size_t(w), '.')));
        for (auto& cell : Map.Ground_Grid.cells) cell.blocked = int(random() % 100) < walls ? -1 : 0;
        const Cell s{int16_t(int(random() % unsigned(w + 2)) - 1), int16_t(int(random() % unsigned(h + 2)) - 1)};
        const Cell t{int16_t(random() % unsigned(w)), int16_t(random() % unsigned(h))};
        Map.Ground_Grid(t.x, t.y).blocked = 0;
        const int16_t bx = int16_t(int(random() % 12) - 4), by = int16_t(int(random() % 12) - 4);
        const int16_t size = int16_t(8 + random() % unsigned(side + 2));
        r = Player_Record{};
        const Path steps = Find(s, t, bx, by, size);
        const Path fill = Plain_Fill(s, t, bx, by, size, size);
        Path kept(fill.size());
        for (int x = 0; x <= w; ++x)
            for (int y = 0; y <= h; ++y) kept[size_t(x * (h + 1) + y)] = Distance_At(r, x, y);
        ASSERT_EQ(kept, fill) << "round " << round;
        // What the record keeps is bounded by the box and the cells around it, not the map.
        ASSERT_LE(r.distance_grid.size(), size_t(size + 3) * size_t(size + 3)) << "round " << round;
        // A walk starts exactly when the start was reached, also from beyond the box or the map.
        EXPECT_EQ(r.walking, s.x >= 0 && s.y >= 0 && fill[size_t(s.x * (h + 1) + s.y)] != 0) << "round " << round;
        ASSERT_LE(steps.size(), 64u);
        int x = s.x, y = s.y;
        for (int16_t d : steps) {
            ASSERT_TRUE(d >= 1 && d <= 8);
            x += Chars.Direction_Steps[size_t(d)].x, y += Chars.Direction_Steps[size_t(d)].y;
            ASSERT_TRUE(x >= 0 && y >= 0 && x < w && y < h && Map.Ground_Grid(x, y).blocked == 0) << x << ", " << y;
        }
        EXPECT_TRUE(steps.empty() || (x == t.x && y == t.y)) << "round " << round;
        found += !steps.empty();
    }
    EXPECT_GT(found, 150);   // the maps are open enough for the checks to mean something
}
