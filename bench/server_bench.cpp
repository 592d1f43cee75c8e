// server_bench.cpp -- the game server's cost per move without sockets: one player's "/move" among
// N players on the default world, with its echo and what the others hear queued, then taken as
// the network layer would; with every move to everyone (radius 0) and to those near (20).
#include <benchmark/benchmark.h>

#include <array>
#include <random>

#include "game.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace {

struct Server_Bench {
    Map_Model map;
    Account_Store store;
    Game game;
    std::vector<Connection*> players;
    int64_t now = 0;

    // `side` 0: the default world; else that world repeated to side x side cells.
    Server_Bench(int count, int32_t radius, int16_t side = 0) {
        map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
        if (side > 0) map = Repeat_Map(map, side, side);
        Start_Password_Hashing();
        std::string error;
        Open_Accounts(store, ":memory:", error);
        Game_Options options;
        options.register_open = true;
        options.view_radius = radius;
        options.messages_per_second = 0;
        options.connects_per_minute = 0;
        options.max_clients = size_t(count) + 16;
        options.hash = Hash_Cost{1, 8192};
        options.seed = 3;
        Init_Game(game, options, map, &store);
        game.log = nullptr;
        for (int i = 0; i < count; ++i) {
            Connection* c = Open_Connection(game, "127.0.0.1", "127.0.0.1:1", now);
            Receive(game, *c, "/ver 0.1 beta/e//id p" + std::to_string(i) + "/e//pass pw/e/", now);
            Run_Checks_Now(game);
            Receive(game, *c, "/ready /e/", now);
            Drain();
            players.push_back(c);
        }
        // Everyone walks once, so what follows is the steady state, not the first views.
        for (Connection* c : players) Walk(*c);
    }

    std::mt19937 random{1};
    // A free cell of the player's view box, as a click picks it; the server takes it when the
    // client's search reaches it, and refuses it otherwise (both are part of the cost).
    std::pair<int16_t, int16_t> Target(const Connection& c) {
        for (int tries = 0; tries < 50; ++tries) {
            const auto cell = game.free_cells[random() % game.free_cells.size()];
            if (std::abs(cell.first - c.cell_x) <= VIEW_HALF && std::abs(cell.second - c.cell_y) <= VIEW_HALF)
                return cell;
        }
        return {c.cell_x, c.cell_y};
    }
    size_t Walk(Connection& c) {
        const auto [x, y] = Target(c);
        const std::string xy = std::to_string(x) + "\\" + std::to_string(y);
        const std::string from = std::to_string(c.cell_x) + "\\" + std::to_string(c.cell_y) + "\\";
        now += 13000;   // its last walk is over, however long
        Receive(game, c, "/move " + from + xy + "/e//got " + xy + "/e/", now);
        return Drain();
    }
    ~Server_Bench() { Close_Accounts(store); }

    size_t Drain() {
        Commit_Positions(game);
        size_t bytes = 0;
        for (const uint64_t serial : Take_Writes(game, true)) {
            Connection* c = Find_Connection(game, serial);
            bytes += c->out.size();
            c->out.clear();
        }
        return bytes;
    }
};

// Each iteration: one player walks to a free cell near it and says it arrived.
void BM_Server_Move(benchmark::State& state) {
    Server_Bench bench(int(state.range(0)), int32_t(state.range(1)), int16_t(state.range(2)));
    size_t bytes = 0;
    for (auto _ : state) bytes += bench.Walk(*bench.players[bench.random() % bench.players.size()]);
    state.counters["bytes_out_per_move"] = benchmark::Counter(double(bytes) / double(state.iterations()));
}
// On the default world, and at the density of 3000 players on it repeated 3 x 3 (360 x 360), with
// 1000, 3000 and 10,000 players: a move costs what the players near it cost.
BENCHMARK(BM_Server_Move)
    ->Args({1000, 0, 0})
    ->Args({1000, 20, 0})
    ->Args({3000, 20, 0})
    ->Args({1000, 20, 208})
    ->Args({3000, 20, 360})
    ->Args({10000, 20, 660})
    ->Unit(benchmark::kMicrosecond);

// What the server's check of one click costs: the client's search from the player's cell to a
// free cell of its view box on the default world.
void BM_Server_Move_Check(benchmark::State& state) {
    const Map_Model map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
    const Walk_Grid walk = Make_Walk_Grid(map);
    const Walk_Regions regions = Find_Walk_Regions(map);
    std::vector<std::pair<int16_t, int16_t>> cells;
    for (int16_t y = 0; y < regions.height; ++y)
        for (int16_t x = 0; x < regions.width; ++x)
            if (regions.In_Largest(x, y)) cells.emplace_back(x, y);
    std::vector<std::array<int16_t, 4>> clicks;
    std::mt19937 random(2);
    while (clicks.size() < 4096) {
        const auto from = cells[random() % cells.size()], to = cells[random() % cells.size()];
        if (std::abs(from.first - to.first) <= VIEW_HALF && std::abs(from.second - to.second) <= VIEW_HALF)
            clicks.push_back({from.first, from.second, to.first, to.second});
    }
    Path_Numbers numbers;
    Path_Scratch scratch;
    std::vector<int16_t> steps;
    size_t i = 0, found = 0;
    for (auto _ : state) {
        const auto& c = clicks[i++ % clicks.size()];
        found += Search_From_View(walk, c[0], c[1], c[2], c[3], numbers, scratch, steps) == Path_Result::Found;
    }
    state.counters["found"] = benchmark::Counter(double(found) / double(state.iterations()));
}
BENCHMARK(BM_Server_Move_Check)->Unit(benchmark::kMicrosecond);

}   // namespace
