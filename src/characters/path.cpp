// path.cpp -- a player's path finding: the shared search over the loaded map, its numbers and
// steps kept in the record.
#include "characters/path.h"

#include <algorithm>

#include "map/map.h"

namespace {

// The record's numbers as the shared search keeps them, and back; the vectors change hands, so
// their storage is reused from search to search.
void Take_Numbers(Player_Record& r, Path_Numbers& n) {
    n.grid.swap(r.distance_grid);
    n.x0 = r.distance_x;
    n.y0 = r.distance_y;
    n.cols = r.distance_cols;
    n.rows = r.distance_rows;
    n.target_x = r.distance_target_x;
    n.target_y = r.distance_target_y;
}

void Give_Numbers(Path_Numbers& n, Player_Record& r) {
    r.distance_grid.swap(n.grid);
    r.distance_x = n.x0;
    r.distance_y = n.y0;
    r.distance_cols = n.cols;
    r.distance_rows = n.rows;
    r.distance_target_x = n.target_x;
    r.distance_target_y = n.target_y;
}

// The record's path from the search's steps, as the descent leaves it: a path over the limit is
// dropped to a single empty entry.
void Keep_Steps(Player_Record& r, Path_Result result, const std::vector<int16_t>& steps) {
    if (result == Path_Result::Found) {
        r.path_steps.assign(steps.begin(), steps.end());
        r.path_length = int16_t(steps.size());
    } else {
        r.path_length = 0;
        if (result == Path_Result::Too_Long) r.path_steps.assign(1, 0);
    }
}

}   // namespace

Path_State Path_Search;

void Reset_Path() { Path_Search = Path_State{}; }

int16_t Distance_At(const Player_Record& r, int32_t x, int32_t y) {
    if (x == r.distance_target_x && y == r.distance_target_y) return 1;
    const int64_t col = int64_t(x) - r.distance_x, row = int64_t(y) - r.distance_y;
    if (col < 0 || row < 0 || col >= r.distance_cols || row >= r.distance_rows) return 0;
    const size_t at = size_t(col) * size_t(r.distance_rows) + size_t(row);
    return at < r.distance_grid.size() ? r.distance_grid[at] : int16_t(0);
}

void Find_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
               int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height) {
    record.path_length = 0;
    const int32_t map_w = Map.Map_Width, map_h = Map.Map_Height;
    if (target_x < 0 || target_y < 0 || target_x >= map_w || target_y >= map_h) return;
    if (target_x >= Map.Ground_Grid.width || target_y >= Map.Ground_Grid.height) return;
    if (Map.Ground_Grid(target_x, target_y).blocked == -1) return;

    // Only the free cells the fill can reach are read from the map: the box cut to the map and
    // one cell around it.
    Path_State& work = Path_Search;
    const int32_t w = std::min<int32_t>(int32_t(box_x) + box_width, map_w) - box_x;
    const int32_t h = std::min<int32_t>(int32_t(box_y) + box_height, map_h) - box_y;
    Fill_Walk_Grid(Map, int32_t(box_x) - 1, int32_t(box_y) - 1, w + 3, h + 3, work.window);
    Take_Numbers(record, work.numbers);
    const Path_Result result = Search_Path(work.window, start_x, start_y, target_x, target_y, box_x, box_y, box_width,
                                           box_height, work.numbers, work.scratch, work.steps);
    Give_Numbers(work.numbers, record);
    if (result == Path_Result::Unreached) return;   // the walk in progress keeps going
    Keep_Steps(record, result, work.steps);
    record.walking = true;
    record.step_index = 0;
}

void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height) {
    Path_State& work = Path_Search;
    Take_Numbers(record, work.numbers);
    work.steps.clear();
    const Path_Result result = Descend_Numbers(work.numbers, Map.Map_Width, Map.Map_Height, start_x, start_y, target_x,
                                               target_y, box_x, box_y, box_width, box_height, work.steps);
    Give_Numbers(work.numbers, record);
    Keep_Steps(record, result, work.steps);
}
