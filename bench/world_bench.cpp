// world_bench.cpp -- loading a 1600 x 1600 map against reading its bytes; path searches in the view box.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "characters/path.h"
#include "characters/player.h"
#include "map/map.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/platform.h"

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
    state.counters["start_number"] = r.distance_grid[40 * 121 + 40];
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
