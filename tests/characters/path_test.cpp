// path_test.cpp -- path finding on hand-drawn maps, the box cut, the 64-step limit, random maps.
#include <gtest/gtest.h>

#include <random>

#include "characters/player.h"
#include "fixture.h"
#include "map/map.h"

namespace {

struct Cell {
    int16_t x = -1, y = -1;
};

// '#' blocked (-1), '.' free, 'S' start, 'T' target; returns S and T.
std::pair<Cell, Cell> Draw_Map(const std::vector<std::string>& rows) {
    const int w = int(rows[0].size()), h = int(rows.size());
    Map = Map_Model{};
    Map.Map_Width = int16_t(w);
    Map.Map_Height = int16_t(h);
    Map.Ground_Grid.Resize(w, h);
    Map.Object_Grid.Resize(w, h);
    Map.Overlay_Grid.Resize(w, h);
    Cell s, t;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            char c = rows[size_t(y)][size_t(x)];
            Map.Ground_Grid(x, y).blocked = c == '#' ? -1 : 0;
            if (c == 'S') s = {int16_t(x), int16_t(y)};
            if (c == 'T') t = {int16_t(x), int16_t(y)};
        }
    return {s, t};
}

std::vector<int16_t> Steps(const Player_Record& r) {
    return std::vector<int16_t>(r.path_steps.begin(), r.path_steps.begin() + r.path_length);
}

class Path_Finding : public Headless_Test {
protected:
    Player_Record r;
    void SetUp() override {
        Headless_Test::SetUp();
        Init_Direction_Steps();
    }
    // The main loop's call: the 38 x 38 view box at (box_x, box_y).
    std::vector<int16_t> Find(Cell s, Cell t, int16_t box_x = 0, int16_t box_y = 0, int16_t size = 38) {
        int16_t bw = size, bh = size;
        Find_Path(r, s.x, s.y, t.x, t.y, box_x, box_y, bw, bh);
        return Steps(r);
    }
};

using Path = std::vector<int16_t>;

}  // namespace

TEST_F(Path_Finding, Hand_Drawn_Maps_Give_The_Expected_Steps) {
    struct Case {
        const char* name;
        std::vector<std::string> rows;
        Path steps;
    };
    const std::vector<std::string> open(12, std::string(12, '.'));
    const Case cases[] = {
        {"straight row", open, {3, 3, 3, 3}},                       // (5,5) -> (9,5), set below
        {"diagonal descent", open, {4, 4}},                         // (5,5) -> (7,7)
        {"tie between 2 and 4 goes to 2",
         {".....",
          ".S#T.",
          "....."},
         {2, 4}},
        {"diagonal between two blocked cells",
         {"....",
          ".S#.",
          ".#T.",
          "...."},
         {4}},
        {"around a wall",
         {"S#..",
          ".#T.",
          "....",
          "...."},
         {5, 4, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto [s, t] = Draw_Map(c.rows);
        if (std::string(c.name) == "straight row") s = {5, 5}, t = {9, 5};
        if (std::string(c.name) == "diagonal descent") s = {5, 5}, t = {7, 7};
        r = Player_Record{};
        EXPECT_EQ(Find(s, t), c.steps);
        EXPECT_TRUE(r.walking);
        EXPECT_EQ(r.step_index, 0);
    }
}

TEST_F(Path_Finding, No_Path_Cases_Leave_The_Walk_As_It_Was) {
    auto [s, t] = Draw_Map({"S..#",
                            "...#",
                            "##.#",
                            "..#T"});
    // Walled-in target: the fill stops, nothing found; the walk in progress keeps going.
    r.walking = true;
    r.step_index = 2;
    r.path_length = 5;
    EXPECT_EQ(Find(s, t), Path{});
    EXPECT_TRUE(r.walking);
    EXPECT_EQ(r.step_index, 2);

    // Blocked target: no search at all, the old grid stays.
    r.distance_grid.assign(3, 42);
    r.path_length = 5;
    Find(s, Cell{3, 0});
    EXPECT_EQ(r.path_length, 0);
    EXPECT_EQ(r.distance_grid, std::vector<int16_t>(3, 42));
    EXPECT_EQ(r.step_index, 2);

    // Targets off the map (a server may send one) give no path and read nothing.
    for (Cell off : {Cell{4, 0}, Cell{0, 4}, Cell{-1, 0}, Cell{0, -1}, Cell{32767, 32767}}) {
        r.path_length = 5;
        Find(s, off);
        EXPECT_EQ(r.path_length, 0) << off.x << "," << off.y;
        EXPECT_EQ(r.distance_grid, std::vector<int16_t>(3, 42));
    }

    // Start equal to target: an empty walk.
    r = Player_Record{};
    EXPECT_EQ(Find(s, s), Path{});
    EXPECT_TRUE(r.walking);

    // A start beyond the box's far edge cannot be reached.
    Draw_Map(std::vector<std::string>(60, std::string(60, '.')));
    r = Player_Record{};
    EXPECT_EQ(Find(Cell{50, 5}, Cell{5, 5}), Path{});
    EXPECT_FALSE(r.walking);
}

TEST_F(Path_Finding, Paths_Over_64_Steps_Are_Dropped) {
    // A single row: 64 steps is the longest walk kept.
    Draw_Map({std::string(70, '.')});
    int16_t bx = 0, by = 0, bw = 100, bh = 100;
    Find_Path(r, 0, 0, 64, 0, bx, by, bw, bh);
    EXPECT_EQ(r.path_length, 64);
    EXPECT_EQ(Steps(r), Path(64, 3));
    bw = bh = 100;
    Find_Path(r, 0, 0, 65, 0, bx, by, bw, bh);
    EXPECT_EQ(r.path_length, 0);
    EXPECT_EQ(r.path_steps.size(), 1u);
    EXPECT_TRUE(r.walking);
    EXPECT_EQ(r.step_index, 0);

    // A winding corridor inside the view box, much longer than 64 steps.
    auto [s, t] = Draw_Map({"S.............................",
                            "#############################.",
                            "..............................",
                            ".#############################",
                            "..............................",
                            "#############################.",
                            ".............................T"});
    r = Player_Record{};
    EXPECT_EQ(Find(s, t), Path{});
    EXPECT_TRUE(r.walking);
    // Its first two lanes are short enough.
    r = Player_Record{};
    Path steps = Find(s, Cell{0, 2});
    ASSERT_FALSE(steps.empty());
    EXPECT_LE(steps.size(), 64u);
    EXPECT_EQ(steps[0], 3);
}

TEST_F(Path_Finding, The_Box_Is_Cut_At_The_Map_Edge_And_Written_Back) {
    Draw_Map(std::vector<std::string>(100, std::string(100, '.')));
    int16_t bx = 90, by = 90, bw = 38, bh = 38;
    // The start lies far outside the box, so the fill runs until it cannot grow.
    Find_Path(r, 10, 10, 95, 95, bx, by, bw, bh);
    EXPECT_EQ(r.path_length, 0);
    EXPECT_EQ(bw, 10);
    EXPECT_EQ(bh, 10);
    ASSERT_EQ(r.distance_grid.size(), 101u * 101u);
    auto at = [&](int x, int y) { return r.distance_grid[size_t(x) * 101 + size_t(y)]; };
    for (int y = 0; y <= 100; ++y) EXPECT_EQ(at(100, y), 0) << "column 100, row " << y;
    for (int x = 0; x <= 100; ++x) EXPECT_EQ(at(x, 100), 0) << "row 100, column " << x;
    EXPECT_EQ(at(95, 95), 1);
    EXPECT_EQ(at(99, 99), 9);
    EXPECT_EQ(at(90, 90), 11);
    // One column and row before the box get numbers but are never expanded.
    EXPECT_EQ(at(89, 95), 7);
    EXPECT_EQ(at(95, 89), 7);
    EXPECT_EQ(at(88, 95), 0);
    EXPECT_EQ(at(89, 89), 0);

    // A box that fits is left alone.
    bx = 10, by = 20, bw = 38, bh = 38;
    Find_Path(r, 11, 21, 12, 22, bx, by, bw, bh);
    EXPECT_EQ(bw, 38);
    EXPECT_EQ(bh, 38);
    EXPECT_EQ(Steps(r), Path{4});
}

// The fill as plainly described: sweep the whole box, columns outer, rows inner, every numbered
// cell each time, until the start has a number or a sweep changes nothing.
std::vector<int16_t> Plain_Fill(Cell s, Cell t, int bx, int by, int bw, int bh) {
    const int w = Map.Map_Width, h = Map.Map_Height, rows = h + 1;
    if (bx + bw > w) bw = w - bx;
    if (by + bh > h) bh = h - by;
    std::vector<int16_t> g(size_t((w + 1) * (h + 1)), 0);
    g[size_t(t.x * rows + t.y)] = 1;
    const std::pair<int, int> axis[] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    for (;;) {
        if (s.x >= 0 && s.y >= 0 && s.x <= w && s.y <= h && g[size_t(s.x * rows + s.y)] != 0) return g;
        bool changed = false;
        for (int x = bx; x <= bx + bw; ++x)
            for (int y = by; y <= by + bh; ++y) {
                if (x < 0 || y < 0 || x > w || y > h || g[size_t(x * rows + y)] == 0) continue;
                for (auto [dx, dy] : axis) {
                    const int nx = x + dx, ny = y + dy;
                    if (nx < 0 || nx > bx + bw || ny < 0 || ny > by + bh) continue;
                    if (nx >= w || ny >= h || Map.Ground_Grid(nx, ny).blocked != 0) continue;
                    if (g[size_t(nx * rows + ny)] != 0) continue;
                    g[size_t(nx * rows + ny)] = int16_t(g[size_t(x * rows + y)] + 1);
                    changed = true;
                }
            }
        if (!changed) return g;
    }
}

// A random map of 2 .. max_side cells a side, up to max_walls percent of them blocked.
void Random_Map(std::mt19937& random, int max_side, int max_walls, int& w, int& h) {
    w = 2 + int(random() % unsigned(max_side - 1));
    h = 2 + int(random() % unsigned(max_side - 1));
    std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
    const int walls = int(random() % unsigned(max_walls));
    for (auto& row : rows)
        for (char& c : row)
            if (int(random() % 100) < walls) c = '#';
    Draw_Map(rows);
}

TEST_F(Path_Finding, The_Fill_Numbers_Cells_As_The_Plain_Sweep_Does) {
    std::mt19937 random(77);
    for (int round = 0; round < 300; ++round) {
        int w, h;
        Random_Map(random, 50, 50, w, h);
        const Cell s{int16_t(int(random() % unsigned(w + 4)) - 2), int16_t(int(random() % unsigned(h + 4)) - 2)};
        const Cell t{int16_t(random() % unsigned(w)), int16_t(random() % unsigned(h))};
        Map.Ground_Grid(t.x, t.y).blocked = 0;
        int16_t bx = int16_t(int(random() % 20) - 4), by = int16_t(int(random() % 20) - 4);
        int16_t bw = int16_t(random() % 40), bh = int16_t(random() % 40);
        const std::vector<int16_t> expected = Plain_Fill(s, t, bx, by, bw, bh);
        r = Player_Record{};
        Find_Path(r, s.x, s.y, t.x, t.y, bx, by, bw, bh);
        ASSERT_EQ(r.distance_grid, expected) << "round " << round;
    }
}

TEST(Smallest_Nonzero, Skips_Zeros_And_Keeps_The_First_Smallest) {
    struct Case {
        std::vector<int16_t> values;
        int16_t expected;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0, 0}, 0}, {{0, 5, 0, 3, 7, 0, 3, 0}, 3}, {{9, 0, 0, 0, 0, 0, 0, 1}, 1},
        {{4, 4, 4, 4, 4, 4, 4, 4}, 4}, {{0, 0, 0, 0, 0, 0, 0, 2}, 2}, {{}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(Smallest_Nonzero(c.values.data(), int(c.values.size())), c.expected);
}

// Every path found on random maps starts at the start, ends at the target, steps on free cells
// only and has at most 64 steps.
TEST_F(Path_Finding, Random_Maps_Give_Sound_Paths) {
    std::mt19937 random(20240607);
    int found = 0;
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int w, h;
        Random_Map(random, 16, 45, w, h);
        const Cell s{int16_t(random() % unsigned(w)), int16_t(random() % unsigned(h))};
        const Cell t{int16_t(random() % unsigned(w)), int16_t(random() % unsigned(h))};
        r = Player_Record{};
        r.path_steps = {7, 7, 7};   // left over from an earlier walk
        const Path steps = Find(s, t, int16_t(random() % 3), int16_t(random() % 3));
        if (!r.walking) {
            EXPECT_TRUE(steps.empty());
            continue;
        }
        ASSERT_LE(steps.size(), 64u);
        int x = s.x, y = s.y;
        for (int16_t d : steps) {
            ASSERT_TRUE(d >= 1 && d <= 8);
            x += Chars.Direction_Steps[size_t(d)].x;
            y += Chars.Direction_Steps[size_t(d)].y;
            ASSERT_TRUE(x >= 0 && y >= 0 && x < w && y < h);
            ASSERT_EQ(Map.Ground_Grid(x, y).blocked, 0) << "steps onto blocked (" << x << ", " << y << ")";
        }
        EXPECT_EQ(x, t.x);
        EXPECT_EQ(y, t.y);
        found += !steps.empty();
    }
    EXPECT_GT(found, 150);   // the maps are open enough for the checks to mean something
}
