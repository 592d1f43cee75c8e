// world_bench.cpp -- loading a 1600 x 1600 map against reading its bytes; path searches in the view
// box; the frame in which 500 players on a 1600 x 1600 map are each sent a "/move", and the memory
// their searches keep.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "characters/character_file.h"
#include "characters/path.h"
#include "characters/player.h"
#include "display/bitmap.h"
#include "game/game.h"
#include "loading/loading.h"
#include "map/map.h"
#include "net/net.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "scene/scene.h"

namespace {

namespace fs = std::filesystem;

// A program folder in /tmp holding a 1600 x 1600 map with empty texts and its one picture.
struct Big_Map_Folder {
    fs::path folder;
    std::string map_path;
    size_t size = 0;

    Big_Map_Folder() {
        folder = fs::temp_directory_path() / ("isoworld-bench-" + std::to_string(getpid()));
        fs::create_directories(folder / "images");
        // A 2 x 2 24-bit BMP.
        const unsigned char bmp[] = {'B', 'M', 70, 0, 0,  0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0, 2, 0, 0, 0, 2, 0,
                                     0,   0,   1,  0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0,  0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0,   0,   0,  0, 0,  0, 9, 9, 9, 9, 9,  9, 0, 0, 9,  9, 9, 9, 9, 9, 0, 0};
        std::ofstream(folder / "images/tile.bmp", std::ios::binary)
            .write(reinterpret_cast<const char*>(bmp), sizeof bmp);

        Map_Model m;
        m.Map_Images.resize(1);
        m.Map_Images[0].file_name = u"images\\tile.bmp";
        m.Map_Width = m.Map_Height = MAX_MAP_SIDE;
        m.Ground_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        m.Object_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        m.Overlay_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        for (size_t i = 0; i < m.Ground_Grid.cells.size(); ++i) {
            m.Ground_Grid.cells[i] =
                Ground_Cell{int16_t(i % 7 * 40), int16_t(i % 3 * 20), int16_t(i % 11 == 0 ? -1 : 0), 1, u""};
            m.Object_Grid.cells[i].present = int16_t(i % 13 == 0);
        }
        const std::string bytes = Write_Map(m);
        size = bytes.size();
        map_path = (folder / "testmap.map").string();
        std::ofstream(map_path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    ~Big_Map_Folder() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

Big_Map_Folder& Big_Map() {
    static Big_Map_Folder folder;
    return folder;
}

void BM_Read_Map_Bytes(benchmark::State& state) {
    const Big_Map_Folder& big = Big_Map();
    for (auto _ : state) {
        std::optional<std::string> bytes = Read_Whole_File(big.map_path);
        benchmark::DoNotOptimize(bytes->data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
}

// The loading screen's call: read, parse into the map model (reusing it from the previous load),
// load the picture.
void BM_Load_Map(benchmark::State& state) {
    const Big_Map_Folder& big = Big_Map();
    Platform.program_folder = big.folder.string();
    for (auto _ : state) {
        Load_Map(From_Utf8(big.map_path));
        benchmark::DoNotOptimize(Map.Ground_Grid.cells.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(big.size));
    Reset_Map();
}

// A first load: the bytes already in memory, parsed into a new model (its allocation included).
void BM_Parse_Map_Fresh(benchmark::State& state) {
    const Big_Map_Folder& big = Big_Map();
    const std::string bytes = *Read_Whole_File(big.map_path);
    for (auto _ : state) {
        Map_Model m = Parse_Map(bytes, "testmap.map");
        benchmark::DoNotOptimize(m.Ground_Grid.cells.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

// A 120 x 120 map; '#' cells blocked. The search box is the main loop's (38 x 38 from (40, 40)).
void Make_Field(bool maze) {
    Map = Map_Model{};
    Map.Map_Width = Map.Map_Height = 120;
    Map.Ground_Grid.Resize(120, 120);
    if (maze) {
        // Walls across the box every other row, the gap at alternating ends: one long corridor.
        for (int y = 41; y <= 77; y += 2)
            for (int x = 40; x <= 78; ++x)
                if (x != ((y / 2) % 2 ? 78 : 40)) Map.Ground_Grid(x, y).blocked = -1;
    }
    Init_Direction_Steps();
}

void Search(benchmark::State& state, bool maze) {
    Make_Field(maze);
    Player_Record r;
    int16_t path_length = 0;
    for (auto _ : state) {
        int16_t bx = 40, by = 40, bw = 38, bh = 38;
        Find_Path(r, 40, 40, 78, 78, bx, by, bw, bh);
        path_length = r.path_length;
        benchmark::DoNotOptimize(r.distance_grid.data());
    }
    state.counters["path_length"] = path_length;
    state.counters["start_number"] = Distance_At(r, 40, 40);
    Reset_Map();
}

void BM_Find_Path_Open_Field(benchmark::State& state) { Search(state, false); }
void BM_Find_Path_Maze(benchmark::State& state) { Search(state, true); }

}   // namespace

BENCHMARK(BM_Read_Map_Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load_Map)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Parse_Map_Fresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Find_Path_Open_Field)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Find_Path_Maze)->Unit(benchmark::kMicrosecond);

namespace {

// The default world's pictures and figures on a 1600 x 1600 map made of its 120 x 120 map
// repeated; the own character in the middle.
struct Big_World {
    Headless_Window window;
    bool loaded = false;

    Big_World() {
        Platform.window = &window;
        Platform.program_folder = ISO_OUT_DIR;
        if (chdir(ISO_OUT_DIR) != 0) return;
        window.held.insert(VK_ESCAPE);   // a missing file ends the error screen at once
        try {
            Load_Map(u"data\\testmap.map");
            Load_Character_File(u"data\\testple.ple");
            Load_Bitmap(u"images\\s.bmp", 0, Loading.Status_Panel);
        } catch (const Program_End&) {
            std::fprintf(stderr, "world_bench: the default world under %s did not load\n", ISO_OUT_DIR);
            return;
        }
        window.held.clear();
        const Map_Model small = Map;
        Map.Map_Width = Map.Map_Height = MAX_MAP_SIDE;
        Map.Ground_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        Map.Object_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        Map.Overlay_Grid.Resize(MAX_MAP_SIDE, MAX_MAP_SIDE);
        for (int32_t y = 0; y < MAX_MAP_SIDE; ++y)
            for (int32_t x = 0; x < MAX_MAP_SIDE; ++x) {
                const int32_t sx = x % small.Map_Width, sy = y % small.Map_Height;
                Map.Ground_Grid(x, y) = small.Ground_Grid(sx, sy);
                Map.Object_Grid(x, y) = small.Object_Grid(sx, sy);
                Map.Overlay_Grid(x, y) = small.Overlay_Grid(sx, sy);
            }
        Init_Direction_Steps();
        Init_Pixel_Steps();
        Game.Game_Font = Font_Spec{u"新細明體", 12, false};
        SetFont(Game.Game_Font);
        loaded = true;
    }
};

size_t Resident_Bytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return size_t(resident) * size_t(sysconf(_SC_PAGESIZE));
}

// 500 others on free cells of the view box around the own character, each sent a "/move" to
// another free cell of the box; then the frame that serves them: 500 searches, the walk steps,
// the drawing. The receipt and the frame are timed; placing the players is not.
void BM_Frame_Serving_500_Moves(benchmark::State& state) {
    static Big_World world;
    if (!world.loaded) {
        state.SkipWithError("the default world did not load");
        return;
    }
    constexpr int PLAYERS = 500;
    Reset_Net();
    Net.Offline_Mode = true;
    Net.Link.In_Game = true;
    Player_Record& own = Chars.Own_Player;
    own = Player_Record{};
    own.id = 1;
    own.cell_x = own.cell_y = MAX_MAP_SIDE / 2;
    Chars.Players.clear();
    for (int i = 0; i < PLAYERS; ++i) Add_Player(int16_t(100 + i), u"player");
    const size_t before = Resident_Bytes();
    Draw_Game_Screen();   // publishes the view box the dispatcher and the searches use

    uint32_t seed = 99;
    auto free_cell = [&seed] {
        for (;;) {
            seed = seed * 1103515245u + 12345u;
            const int16_t x = int16_t(Scene.View_X + int32_t((seed >> 8) % 39u));
            const int16_t y = int16_t(Scene.View_Y + int32_t((seed >> 20) % 39u));
            if (!Is_Blocked(0, 0, x, y)) return std::pair(x, y);
        }
    };
    int64_t searches = 0, paths = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::u16string text;
        for (int i = 0; i < PLAYERS; ++i) {
            Player_Record& p = Chars.Players[size_t(i)];
            const auto [x, y] = free_cell();
            const auto [tx, ty] = free_cell();
            p.cell_x = x, p.cell_y = y;
            p.walking = false, p.step_direction = 0, p.step_index = 0, p.path_length = 0;
            text += u"/move " + Decimal(p.id) + u"\\" + Decimal(tx) + u"\\" + Decimal(ty) + u"/e/";
        }
        const std::string receipt = To_Cp950(text);
        state.ResumeTiming();
        Dispatch_Messages(receipt);
        for (const Player_Record& p : Chars.Players) searches += p.new_target;
        Game_Frame();
        for (const Player_Record& p : Chars.Players) paths += p.walking;
    }
    size_t kept = (Path_Search.scratch.open.capacity() + Path_Search.scratch.pending.capacity() +
                   Path_Search.window.bits.capacity()) *
                  8;
    for (const Player_Record& p : Chars.Players)
        kept += p.distance_grid.capacity() * sizeof(int16_t) + p.path_steps.capacity() * sizeof(int16_t);
    state.counters["searches"] = benchmark::Counter(double(searches), benchmark::Counter::kAvgIterations);
    state.counters["paths"] = benchmark::Counter(double(paths), benchmark::Counter::kAvgIterations);
    state.counters["search_MB"] = double(kept) / 1e6;
    state.counters["rss_growth_MB"] = double(Resident_Bytes() - std::min(before, Resident_Bytes())) / 1e6;
    Chars.Players.clear();
}
BENCHMARK(BM_Frame_Serving_500_Moves)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}   // namespace
