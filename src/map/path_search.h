// path_search.h -- the path search that the client, the server and the bots share: a flood fill
// from the target inside a search box with axis moves, then a descent from the start in eight
// directions; the view box the game searches in; and the walkable regions those rules give.
// No state: callers own the work space, so a search inside a frame or a turn allocates nothing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "map/map_file.h"

// The view box is this many cells wide and high around the own character, half of it each way.
constexpr int16_t VIEW_CELLS = 38;
constexpr int16_t VIEW_HALF = VIEW_CELLS / 2;
constexpr int16_t MAX_PATH_STEPS = 64;   // a longer path counts as none

// The cell step of each direction 0..8: 0 none, 1 (0, -1) and on clockwise.
struct Cell_Step {
    int16_t x = 0, y = 0;
};
inline constexpr Cell_Step CELL_STEPS[9] = {{0, 0}, {0, -1}, {1, -1}, {1, 0},  {1, 1},
                                            {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}};

// First column (or row) of the view box of a character standing on column (or row) `own`: the
// box starts VIEW_HALF before it, cut at 0. The far side is cut by the search, not here.
constexpr int16_t View_Origin(int16_t own) { return own <= VIEW_HALF ? int16_t(0) : int16_t(own - VIEW_HALF); }

// The free cells (blocked 0) of a window of a map as bits, a run of `words` per column.
struct Walk_Grid {
    int32_t map_width = 0, map_height = 0;   // the map's size, which cuts the search box
    int32_t x0 = 0, y0 = 0, cols = 0, rows = 0;
    size_t words = 0;
    std::vector<uint64_t> bits;   // bit (y - y0) % 64 of word (x - x0) * words + (y - y0) / 64
    bool Free(int32_t x, int32_t y) const;
};
// The window (x0, y0, cols, rows) of the map, cut to the cells the map holds; reuses `grid`'s storage.
void Fill_Walk_Grid(const Map_Model& map, int32_t x0, int32_t y0, int32_t cols, int32_t rows, Walk_Grid& grid);
// All of the map.
Walk_Grid Make_Walk_Grid(const Map_Model& map);

// The numbers of the last fill, kept for the cells around its box only: column-major from (x0,
// y0), `rows` a column; the target is numbered 1 wherever it lies.
struct Path_Numbers {
    std::vector<int16_t> grid;
    int32_t x0 = 0, y0 = 0, cols = 0, rows = 0;
    int16_t target_x = -1, target_y = -1;
};
// The number of cell (x, y): 1 at the target, 0 where the fill numbered nothing.
int16_t Number_At(const Path_Numbers& numbers, int32_t x, int32_t y);

// The fill's bit sets, kept between searches.
struct Path_Scratch {
    std::vector<uint64_t> open;      // may still be numbered: free, inside the neighbour bounds, 0
    std::vector<uint64_t> pending;   // numbered inside the box and not yet expanded
};

enum class Path_Result : uint8_t {
    No_Target,   // the target is blocked (-1) or off the map: nothing searched, numbers untouched
    Unreached,   // the fill stopped before it numbered the start
    Found,       // `steps` holds the path, empty when the start is the target
    Too_Long,    // the descent went past MAX_PATH_STEPS steps
};

// A search from start to target inside the box (box_* are cut to the map and written back).
// The target's own blocked value is the caller's to check (a blocked target, -1, is no search);
// only the free cells of `walk` are numbered, and it must hold the box and the cells around it.
// `steps` gets the directions 1..8 of a found path; on Too_Long it holds the 65 steps taken.
Path_Result Search_Path(const Walk_Grid& walk, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                        int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height, Path_Numbers& numbers,
                        Path_Scratch& scratch, std::vector<int16_t>& steps);
// The descent alone, over numbers a fill made: appends to `steps`, Too_Long past the limit,
// Unreached when it finds nothing numbered around a cell (numbers no fill of this box made).
Path_Result Descend_Numbers(const Path_Numbers& numbers, int32_t map_width, int32_t map_height, int16_t start_x,
                            int16_t start_y, int16_t target_x, int16_t target_y, int16_t box_x, int16_t box_y,
                            int16_t box_width, int16_t box_height, std::vector<int16_t>& steps);
// The search a click of a player standing on (start) makes: its view box around the start. A
// target that is off the map or blocked in any way is No_Target here. `walk` holds all the map.
Path_Result Search_From_View(const Walk_Grid& walk, int16_t start_x, int16_t start_y, int16_t target_x,
                             int16_t target_y, Path_Numbers& numbers, Path_Scratch& scratch,
                             std::vector<int16_t>& steps);
// The smallest nonzero value, 0 when all are 0.
int16_t Smallest_Nonzero(const int16_t* values, int count);

// The regions a player can walk between: free cells joined by axis steps, which is how the fill
// spreads (a diagonal step of a descent always lands on a cell the fill numbered).
struct Walk_Regions {
    int32_t width = 0, height = 0;
    std::vector<int32_t> label;   // per cell, row by row: its region, -1 when not free
    std::vector<int32_t> sizes;   // cells of each region
    int32_t largest = -1;         // the region with the most cells (the first of equals); -1: none
    bool In_Largest(int32_t x, int32_t y) const;
};
Walk_Regions Find_Walk_Regions(const Map_Model& map);
// The cells of the largest region, row by row: where the server starts players and the bots walk.
std::vector<std::pair<int16_t, int16_t>> Largest_Region_Cells(const Walk_Regions& regions);
