// authority_test.cpp -- the server decides where players stand: a move is taken only from where
// the player can be by now and to where the client's own search walks; reports of standing still
// are never a flood; players start and return only where they can walk out; the server's moves
// and the client's paths agree.
#include <random>

#include "client_walk.h"
#include "map/world_files.h"
#include "server_seam.h"

namespace {

bool In_Corridor(int x, int y) { return x % 4 == 0 || y % 4 == 0; }

class Authority : public Server_Seam {
protected:
    void SetUp() override {
        Server_Seam::SetUp();
        map = world_test::Corridor_World();
        options.register_open = true;
        options.view_radius = 0;
    }
    // Its own cell, as the server holds it.
    std::pair<int, int> Cell(const Peer& p) {
        const Connection& c = Server_Side(p);
        return {c.cell_x, c.cell_y};
    }
    // A player whose account was last on (x, y).
    Peer& Join_At(const std::u16string& name, int16_t x, int16_t y) {
        Add_Account(To_Utf8(name), "pw");
        EXPECT_TRUE(Save_Positions(store, {{Find_Account(store, To_Utf8(name))->id, x, y}}));
        Peer& p = Join(name);
        EXPECT_EQ(Cell(p), (std::pair<int, int>(x, y)));
        return p;
    }
    void Click(Peer& p, int fx, int fy, int tx, int ty) {
        Send_Text(p, u"/move " + Join_Numbers({fx, fy, tx, ty}) + u"/e/");
    }
};

}   // namespace

TEST_F(Authority, Moves_Are_Taken_Only_From_Where_The_Player_Can_Stand_To_Where_It_Can_Walk) {
    for (int y = 80; y <= 104; ++y)   // and an open field, where paths from cells side by side part
        for (int x = 80; x <= 104; ++x) map.Ground_Grid(x, y).blocked = 0;
    Start();
    Peer& a = Join_At(u"甲", 40, 40);
    Peer& b = Join_At(u"乙", 36, 40);
    const size_t echoes = a.Count(u"/move "), heard = b.Count(u"/move ");
    const struct {
        int fx, fy, tx, ty;
        const char* why;
    } refused[] = {
        {40, 40, 42, 42, "a walled-in centre"},
        {40, 40, 41, 41, "a wall"},
        {40, 40, 100, 40, "across the map, outside the view box"},
        {40, 40, 40, 60, "one cell past the view box"},
        {44, 40, 48, 40, "from a cell the player is not on"},
        {0, 0, 4, 0, "from a far cell"},
    };
    for (const auto& r : refused) {
        Click(a, r.fx, r.fy, r.tx, r.ty);
        EXPECT_EQ(Cell(a), std::pair(40, 40)) << r.why;
    }
    EXPECT_EQ(a.Count(u"/move "), echoes) << "a refused move is not echoed";
    EXPECT_EQ(b.Count(u"/move "), heard) << "nor told to anyone";
    EXPECT_EQ(game.counts.moves_refused, 6u);
    // Logged once, not per message; again after a few seconds.
    size_t lines = 0;
    for (const std::string& line : log) lines += line.find("refused a move") != std::string::npos;
    EXPECT_EQ(lines, 1u);
    now += 6000;
    Click(a, 40, 40, 42, 42);
    EXPECT_TRUE(Logged("(and 5 more since the last one logged)"));
    Click(a, 40, 40, 40, 59);   // the last row of the view box
    EXPECT_EQ(Cell(a), std::pair(40, 59));
    Click(a, 40, 40, 40, 40);

    // A walk of 16 steps across the field: redirected from a cell it can have reached by now,
    // not from one it cannot yet stand on.
    Peer& c = Join_At(u"丙", 84, 84);
    Click(c, 84, 84, 100, 84);
    ASSERT_EQ(Cell(c), std::pair(100, 84));
    now += 4 * 201;
    // A target whose path from the next cell parts from the path from this one (see below).
    const Walk_Grid walk = Make_Walk_Grid(map);
    Path_Numbers numbers;
    Path_Scratch scratch;
    auto cells = [&](int x, int y, int tx, int ty) {
        std::vector<int16_t> steps;
        EXPECT_EQ(Search_From_View(walk, int16_t(x), int16_t(y), int16_t(tx), int16_t(ty), numbers, scratch, steps),
                  Path_Result::Found);
        std::vector<std::pair<int, int>> out{{x, y}};
        for (int16_t d : steps) out.emplace_back(x += CELL_STEPS[d].x, y += CELL_STEPS[d].y);
        return out;
    };
    std::pair<int, int> target{-1, -1}, parted{-1, -1};
    for (const auto& [tx, ty] : {std::pair{92, 100}, {96, 96}, {84, 100}, {100, 100}, {88, 104}}) {
        const auto direct = cells(88, 84, tx, ty), redirected = cells(89, 84, tx, ty);
        for (const auto& cell : redirected)
            if (std::find(direct.begin(), direct.end(), cell) == direct.end() && cell != std::pair(89, 84)) {
                target = {tx, ty}, parted = cell;
                break;
            }
        if (parted.first >= 0) break;
    }
    ASSERT_GE(parted.first, 0) << "no target whose two paths part";
    const auto [tx, ty] = target;
    Click(c, 92, 84, tx, ty);   // 8 steps along: too soon
    EXPECT_EQ(Cell(c), std::pair(100, 84));
    Click(c, 88, 84, tx, ty);   // 4 steps along
    EXPECT_EQ(Cell(c), target);
    EXPECT_EQ(a.Last(u"/move " + Num(c.id)), u"/move " + Join_Numbers({c.id, tx, ty}));
    // The client hears that echo while it steps on to (89, 84), and finds its path from there:
    // a cell of that path is taken too, once it can be reached.
    const auto redirected = cells(89, 84, tx, ty);
    const size_t k = size_t(std::find(redirected.begin(), redirected.end(), parted) - redirected.begin());
    now += int64_t(k + 1) * 201;
    Click(c, parted.first, parted.second, 84, 84);
    EXPECT_EQ(Cell(c), std::pair(84, 84));
}

TEST_F(Authority, Reports_Of_Standing_Still_Are_Never_A_Flood) {
    options.messages_per_second = 20;   // the default limits
    Start();
    Peer& a = Join_At(u"甲", 40, 40);
    // A click on a walled-in cell: the client finds no path and reports its cell every frame.
    Send_Text(a, u"/move 40\\40\\42\\42/e/");
    for (int second = 0; second < 10 && !a.closed; ++second) {
        for (int frame = 0; frame < 60; ++frame) Send(a, "/got 40\\40/e/");
        Advance(1000);
    }
    EXPECT_FALSE(a.closed);
    EXPECT_FALSE(Logged("too fast"));
    // The same for each cell of a walk it may be on, and the allowance is still whole after.
    Send_Text(a, u"/move 40\\40\\48\\40/e/");
    for (int frame = 0; frame < 600; ++frame) Send(a, "/got 44\\40/e/");
    EXPECT_FALSE(Logged("too fast"));
    // A cell it cannot be on is no report of standing: that is a flood.
    for (int frame = 0; frame < 600 && !a.closed; ++frame) Send(a, "/got 0\\0/e/");
    EXPECT_TRUE(Logged("too fast"));
}

TEST_F(Authority, Players_Start_And_Return_Only_Where_They_Can_Walk) {
    Start();
    for (int i = 0; i < 40; ++i) {
        std::u16string name = u"n";
        Peer& p = Join(name.append(Num(i)));
        const auto [x, y] = Cell(p);
        EXPECT_TRUE(In_Corridor(x, y)) << "newcomer " << i << " at (" << x << ", " << y << ")";
    }
    // Saved on a walled-in centre (before the server checked moves): back in the nearest corridor.
    Add_Account("舊", "pw");
    ASSERT_TRUE(Save_Positions(store, {{Find_Account(store, "舊")->id, 62, 62}}));
    Peer& old = Join(u"舊", u"pw");
    const auto [x, y] = Cell(old);
    EXPECT_TRUE(In_Corridor(x, y) && std::max(std::abs(x - 62), std::abs(y - 62)) == 2) << x << ", " << y;
}

// The server takes a click exactly when the client's own search, in the view box the scene gives,
// finds a path within the step limit: both run one search, so this checks the box and the limit.
TEST_F(Authority, The_Server_Takes_A_Move_Exactly_When_The_Client_Finds_A_Path) {
    std::mt19937 random(5);
    int taken = 0, refused = 0;
    for (int round = 0; round < 12; ++round) {
        const int16_t w = int16_t(30 + random() % 60), h = int16_t(30 + random() % 60);
        map = Map_Model{};
        map.Map_Width = w, map.Map_Height = h;
        map.Ground_Grid.Resize(w, h);
        map.Object_Grid.Resize(w, h);
        map.Overlay_Grid.Resize(w, h);
        const unsigned walls = 10 + random() % 35;
        for (auto& cell : map.Ground_Grid.cells) cell.blocked = random() % 100 < walls ? -1 : 0;
        Close_Accounts(store);
        Start();
        Peer& p = Join(u"p");
        for (int click = 0; click < 40; ++click) {
            const auto [sx, sy] = Cell(p);
            const int16_t tx = int16_t(sx + int(random() % 61) - 30), ty = int16_t(sy + int(random() % 61) - 30);
            const bool walks = Client_Walks(map, int16_t(sx), int16_t(sy), tx, ty);
            now += 20000;
            Click(p, sx, sy, tx, ty);
            ASSERT_EQ(Cell(p) == (std::pair<int, int>(tx, ty)), walks)
                << "round " << round << ": (" << sx << ", " << sy << ") to (" << tx << ", " << ty << ")";
            (walks ? taken : refused) += 1;
        }
        Forget_Connection(game, p.serial);
        Pump();
    }
    EXPECT_GT(taken, 60);
    EXPECT_GT(refused, 60);
}
