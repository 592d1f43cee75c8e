// path.cpp -- path finding: a flood fill from the target inside the search box, then a descent.
#include "characters/path.h"

#include <algorithm>

#include "map/map.h"

namespace {

// The box's reach after the cut: neighbours must lie in 0 .. x_hi, 0 .. y_hi.
struct Search_Area {
    int32_t x_lo, y_lo, x_hi, y_hi;
    int32_t rows;   // distance_grid is column-major, rows = Map_Height + 1 a column
};

constexpr int AXIS_DIRECTIONS[4] = {1, 3, 5, 7};

enum : uint8_t { BLOCKED = 1, EXPANDED = 2 };

size_t Grid_Size() { return size_t(Map.Map_Width + 1) * size_t(Map.Map_Height + 1); }

}   // namespace

Path_State Path_Search;

void Reset_Path() { Path_Search = Path_State{}; }

int16_t Smallest_Nonzero(const int16_t* values, int count) {
    int16_t smallest = 0;
    for (int i = 0; i < count; ++i)
        if (smallest == 0 || (values[i] != 0 && values[i] < smallest)) smallest = values[i];
    return smallest;
}

void Find_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
               int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height) {
    record.path_length = 0;
    const int32_t map_w = Map.Map_Width, map_h = Map.Map_Height;
    if (target_x < 0 || target_y < 0 || target_x >= map_w || target_y >= map_h) return;
    if (target_x >= Map.Ground_Grid.width || target_y >= Map.Ground_Grid.height) return;
    if (Map.Ground_Grid(target_x, target_y).blocked == -1) return;

    if (int32_t(box_x) + box_width > map_w) box_width = int16_t(map_w - box_x);
    if (int32_t(box_y) + box_height > map_h) box_height = int16_t(map_h - box_y);

    const Search_Area area{box_x, box_y, int32_t(box_x) + box_width, int32_t(box_y) + box_height, map_h + 1};
    // Reuses the allocation: this runs inside a frame.
    record.distance_grid.assign(Grid_Size(), 0);
    int16_t* grid = record.distance_grid.data();
    grid[size_t(target_x) * size_t(area.rows) + size_t(target_y)] = 1;

    // Only cells of the grid can be swept (a box origin before column or row 0 has nothing there).
    const int32_t sweep_x0 = std::max(area.x_lo, 0), sweep_x1 = std::min(area.x_hi, map_w);
    const int32_t sweep_y0 = std::max(area.y_lo, 0), sweep_y1 = std::min(area.y_hi, map_h);
    const bool start_in_grid = start_x >= 0 && start_y >= 0 && start_x <= map_w && start_y <= map_h;
    const size_t start_at = start_in_grid ? size_t(start_x) * size_t(area.rows) + size_t(start_y) : 0;
    const bool any_sweep = sweep_x0 <= sweep_x1 && sweep_y0 <= sweep_y1;

    // Per search, around the swept cells (one more on each side, where neighbours lie): whether a
    // cell may be entered, whether it has been expanded, and per column how many numbered cells
    // wait to be expanded. Expanding a cell numbers all its free neighbours, so a second expansion
    // would change nothing: each cell is expanded once and columns with nothing waiting are
    // skipped. The sweeps themselves, their order and the numbers are unchanged.
    Path_State& scratch = Path_Search;
    const int32_t mask_x0 = sweep_x0 - 1, mask_y0 = sweep_y0 - 1;
    const int32_t mask_h = sweep_y1 - sweep_y0 + 3;
    if (any_sweep) {
        const int32_t mask_w = sweep_x1 - sweep_x0 + 3;
        scratch.flags.assign(size_t(mask_w) * size_t(mask_h), 0);
        for (int32_t i = 0; i < mask_w; ++i)
            for (int32_t j = 0; j < mask_h; ++j)
                if (Is_Blocked(0, 0, int16_t(mask_x0 + i), int16_t(mask_y0 + j)))
                    scratch.flags[size_t(i) * size_t(mask_h) + size_t(j)] = BLOCKED;
        scratch.pending.assign(size_t(mask_w), 0);
    }
    auto flag = [&](int32_t x, int32_t y) -> uint8_t& {
        return scratch.flags[size_t(x - mask_x0) * size_t(mask_h) + size_t(y - mask_y0)];
    };
    auto swept = [&](int32_t x, int32_t y) { return x >= sweep_x0 && x <= sweep_x1 && y >= sweep_y0 && y <= sweep_y1; };
    if (any_sweep && swept(target_x, target_y)) ++scratch.pending[size_t(target_x - mask_x0)];

    for (;;) {
        if (start_in_grid && grid[start_at] != 0) {
            Descend_Path(record, start_x, start_y, target_x, target_y, box_x, box_y, box_width, box_height);
            record.walking = true;
            record.step_index = 0;
            return;
        }
        if (!any_sweep) return;
        // In place: a cell numbered in this sweep is expanded later in the same sweep when it comes
        // after the current one in sweep order (below it, or in a later column).
        bool changed = false;
        for (int32_t x = sweep_x0; x <= sweep_x1; ++x) {
            if (scratch.pending[size_t(x - mask_x0)] == 0) continue;
            int16_t* column = grid + size_t(x) * size_t(area.rows);
            for (int32_t y = sweep_y0; y <= sweep_y1; ++y) {
                const int16_t value = column[y];
                if (value == 0) continue;
                uint8_t& state = flag(x, y);
                if (state & EXPANDED) continue;
                state |= EXPANDED;
                --scratch.pending[size_t(x - mask_x0)];
                for (int d : AXIS_DIRECTIONS) {
                    const Step s = Chars.Direction_Steps[size_t(d)];
                    const int32_t nx = x + s.x, ny = y + s.y;
                    if (nx < 0 || nx > area.x_hi || ny < 0 || ny > area.y_hi) continue;
                    if (flag(nx, ny) & BLOCKED) continue;
                    int16_t& next = grid[size_t(nx) * size_t(area.rows) + size_t(ny)];
                    if (next != 0) continue;
                    next = int16_t(value + 1);
                    changed = true;
                    if (swept(nx, ny)) ++scratch.pending[size_t(nx - mask_x0)];
                }
            }
        }
        if (!changed) return;
    }
}

void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height) {
    const int32_t map_w = Map.Map_Width, map_h = Map.Map_Height, rows = map_h + 1;
    const int32_t x_hi = std::min(int32_t(box_x) + box_width, map_w);
    const int32_t y_hi = std::min(int32_t(box_y) + box_height, map_h);
    if (record.distance_grid.size() != Grid_Size()) {   // no fill ran for this map
        record.path_length = 0;
        return;
    }
    const int16_t* grid = record.distance_grid.data();

    int32_t cx = start_x, cy = start_y;
    while (cx != target_x || cy != target_y) {
        int16_t candidates[8];
        for (int d = 1; d <= 8; ++d) {
            const Step s = Chars.Direction_Steps[size_t(d)];
            const int32_t nx = cx + s.x, ny = cy + s.y;
            const bool inside = nx >= 0 && nx <= x_hi && ny >= 0 && ny <= y_hi;
            candidates[d - 1] = inside ? grid[size_t(nx) * size_t(rows) + size_t(ny)] : int16_t(0);
        }
        const int16_t smallest = Smallest_Nonzero(candidates, 8);
        int d = 1;
        while (d <= 8 && !(smallest != 0 && candidates[d - 1] == smallest)) ++d;
        if (d > 8) {   // nothing numbered around: not a grid this fill made
            record.path_length = 0;
            return;
        }
        cx += Chars.Direction_Steps[size_t(d)].x;
        cy += Chars.Direction_Steps[size_t(d)].y;
        record.path_length = int16_t(record.path_length + 1);
        record.path_steps.resize(size_t(record.path_length));
        record.path_steps[size_t(record.path_length - 1)] = int16_t(d);
        if (record.path_length > MAX_PATH_STEPS) {
            record.path_length = 0;
            record.path_steps.assign(1, 0);
            return;
        }
    }
}
