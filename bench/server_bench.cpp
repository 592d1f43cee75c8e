// server_bench.cpp -- the game server's cost per move without sockets: one player's "/move" among
// N players on the default world, with its echo and what the others hear queued, then taken as
// the network layer would; with every move to everyone (radius 0) and to those near (20).
#include <benchmark/benchmark.h>

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

    Server_Bench(int count, int32_t radius) {
        map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
        Start_Password_Hashing();
        std::string error;
        Open_Accounts(store, ":memory:", error);
        Game_Options options;
        options.register_open = true;
        options.view_radius = radius;
        options.messages_per_second = 0;
        options.connects_per_minute = 0;
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
    size_t Walk(Connection& c) {
        int16_t x = c.cell_x, y = c.cell_y;
        for (int tries = 0; tries < 50; ++tries) {
            const auto cell = game.free_cells[random() % game.free_cells.size()];
            if (std::abs(cell.first - c.cell_x) <= 19 && std::abs(cell.second - c.cell_y) <= 19) {
                x = cell.first;
                y = cell.second;
                break;
            }
        }
        const std::string xy = std::to_string(x) + "\\" + std::to_string(y);
        const std::string from = std::to_string(c.cell_x) + "\\" + std::to_string(c.cell_y) + "\\";
        Receive(game, c, "/move " + from + xy + "/e//got " + xy + "/e/", now);
        return Drain();
    }
    ~Server_Bench() { Close_Accounts(store); }

    size_t Drain() {
        Commit_Positions(game);
        size_t bytes = 0;
        for (const uint64_t serial : game.dirty) {
            Connection* c = Find_Connection(game, serial);
            c->dirty = c->urgent = false;
            bytes += c->out.size();
            c->out.clear();
        }
        game.dirty.clear();
        game.urgent.clear();
        return bytes;
    }
};

// Each iteration: one player walks to a free cell near it and says it arrived.
void BM_Server_Move(benchmark::State& state) {
    Server_Bench bench(int(state.range(0)), int32_t(state.range(1)));
    size_t bytes = 0;
    for (auto _ : state) bytes += bench.Walk(*bench.players[bench.random() % bench.players.size()]);
    state.counters["bytes_out_per_move"] = benchmark::Counter(double(bytes) / double(state.iterations()));
}
BENCHMARK(BM_Server_Move)->Args({1000, 0})->Args({1000, 20})->Args({3000, 20})->Unit(benchmark::kMicrosecond);

}   // namespace
