// path.cpp -- path finding: a flood fill from the target inside the search box, then a descent.
#include "characters/path.h"

#include <algorithm>
#include <bit>

#include "map/map.h"

namespace {

// The cells a fill may number, column-major, and its bit sets' shape.
struct Fill_Area {
    int16_t* grid;
    int32_t cols, rows;
    size_t words;                       // words of a column's bit set
    int32_t step_col[4], step_row[4];   // the axis steps 1, 3, 5, 7
};

// Sweeps until the start has a number (true) or a sweep numbers nothing (false). The start is
// looked at between sweeps only: a sweep always runs to its end. For boxes of at most 62 rows
// and columns (the view box is 39): a column's set is one word, the columns waiting one word.
bool Fill_One_Word(const Fill_Area& a, Path_State& work, const int16_t* start_number) {
    uint64_t* open = work.open.data();
    uint64_t* pending = work.pending.data();
    // Per column, the rows whose cells are expanded (none in the first and last column).
    uint64_t inner[64] = {};
    const uint64_t inner_rows = ((uint64_t(1) << (a.rows - 1)) - 1) & ~uint64_t(1);
    uint64_t columns = 0;   // bit c: column c has cells waiting
    for (int32_t c = 1; c <= a.cols - 2; ++c) {
        inner[c] = inner_rows;
        if (pending[c]) columns |= uint64_t(1) << c;
    }
    for (;;) {
        if (start_number && *start_number != 0) return true;
        uint64_t numbered = 0;
        // Columns in order; a later column given cells now is taken in this sweep.
        for (uint64_t left = columns; left != 0;) {
            const int32_t c = std::countr_zero(left);
            uint64_t from = ~uint64_t(0);
            for (uint64_t bits; (bits = pending[c] & from) != 0;) {
                const int32_t r = std::countr_zero(bits);
                pending[c] &= ~(uint64_t(1) << r);
                from = ~uint64_t(0) << (r + 1);   // a cell above this one waits for the next sweep
                const int16_t next = int16_t(a.grid[size_t(c) * size_t(a.rows) + size_t(r)] + 1);
                // Without branches: whether a neighbour is open is as good as random.
                for (int i = 0; i < 4; ++i) {
                    const int32_t nc = c + a.step_col[i], nr = r + a.step_row[i];
                    const uint64_t hit = open[nc] & (uint64_t(1) << nr);
                    open[nc] ^= hit;
                    int16_t& number = a.grid[size_t(nc) * size_t(a.rows) + size_t(nr)];
                    number = hit ? next : number;
                    numbered |= hit;
                    const uint64_t waits = hit & inner[nc];
                    pending[nc] |= waits;
                    columns |= uint64_t(waits != 0) << nc;
                }
            }
            if (pending[c] == 0) columns &= ~(uint64_t(1) << c);
            left = columns & (~uint64_t(0) << c << 1);
        }
        if (numbered == 0) return false;
    }
}

// The same for boxes of any size: runs of words per column, columns visited one by one.
bool Fill_Any_Size(const Fill_Area& a, Path_State& work, const int16_t* start_number) {
    const size_t words = a.words;
    auto word = [words](std::vector<uint64_t>& set, int32_t col, int32_t row) -> uint64_t& {
        return set[size_t(col) * words + size_t(row) / 64];
    };
    auto bit = [](int32_t row) { return uint64_t(1) << (row % 64); };
    for (;;) {
        if (start_number && *start_number != 0) return true;
        bool changed = false;
        for (int32_t c = 1; c <= a.cols - 2; ++c) {
            uint64_t* waiting = &work.pending[size_t(c) * words];
            int32_t from = 0;
            for (;;) {
                size_t w = size_t(from) / 64;
                if (w >= words) break;
                uint64_t bits = waiting[w] & (~uint64_t(0) << (from % 64));
                while (bits == 0 && ++w < words) bits = waiting[w];
                if (bits == 0) break;
                const int32_t r = int32_t(w * 64) + std::countr_zero(bits);
                waiting[w] &= ~bit(r);
                from = r + 1;
                const int16_t next = int16_t(a.grid[size_t(c) * size_t(a.rows) + size_t(r)] + 1);
                for (int i = 0; i < 4; ++i) {
                    const int32_t nc = c + a.step_col[i], nr = r + a.step_row[i];
                    uint64_t& open = word(work.open, nc, nr);
                    if (!(open & bit(nr))) continue;
                    open &= ~bit(nr);
                    a.grid[size_t(nc) * size_t(a.rows) + size_t(nr)] = next;
                    changed = true;
                    if (nc >= 1 && nc <= a.cols - 2 && nr >= 1 && nr <= a.rows - 2)
                        word(work.pending, nc, nr) |= bit(nr);
                }
            }
        }
        if (!changed) return false;
    }
}

}   // namespace

Path_State Path_Search;

void Reset_Path() { Path_Search = Path_State{}; }

int16_t Smallest_Nonzero(const int16_t* values, int count) {
    int16_t smallest = 0;
    for (int i = 0; i < count; ++i)
        if (smallest == 0 || (values[i] != 0 && values[i] < smallest)) smallest = values[i];
    return smallest;
}

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

    if (int32_t(box_x) + box_width > map_w) box_width = int16_t(map_w - box_x);
    if (int32_t(box_y) + box_height > map_h) box_height = int16_t(map_h - box_y);
    // Neighbours must lie in 0 .. x_hi, 0 .. y_hi; only cells of the map's grid (0 .. map_w,
    // 0 .. map_h) inside the box are swept, i.e. expanded.
    const int32_t x_hi = int32_t(box_x) + box_width, y_hi = int32_t(box_y) + box_height;
    const int32_t sweep_x0 = std::max<int32_t>(box_x, 0), sweep_x1 = std::min(x_hi, map_w);
    const int32_t sweep_y0 = std::max<int32_t>(box_y, 0), sweep_y1 = std::min(y_hi, map_h);
    const bool any_sweep = sweep_x0 <= sweep_x1 && sweep_y0 <= sweep_y1;

    // The numbers can only fall on the swept cells and their neighbours, one more on each side:
    // that is all the record keeps (the target, numbered 1, may lie anywhere).
    const int32_t x0 = sweep_x0 - 1, y0 = sweep_y0 - 1;
    const int32_t cols = any_sweep ? sweep_x1 - sweep_x0 + 3 : 0, rows = any_sweep ? sweep_y1 - sweep_y0 + 3 : 0;
    record.distance_grid.assign(size_t(cols) * size_t(rows), 0);   // reuses the allocation
    record.distance_x = x0;
    record.distance_y = y0;
    record.distance_cols = cols;
    record.distance_rows = rows;
    record.distance_target_x = target_x;
    record.distance_target_y = target_y;
    int16_t* grid = record.distance_grid.data();

    // Per column a run of words, a bit per row: `open` for cells a neighbour's number may still go
    // to (free, inside the neighbour bounds, not numbered), `pending` for numbered cells of the box
    // waiting to be expanded. Expanding a cell numbers all its open neighbours, so a second
    // expansion would change nothing: each cell is expanded once, in sweep order, and only the
    // cells waiting are visited. The sweeps themselves, their order and the numbers are those of
    // sweeping the whole box again and again.
    Fill_Area area{grid, cols, rows, (size_t(rows) + 63) / 64, {}, {}};
    Path_State& work = Path_Search;
    work.open.assign(size_t(cols) * area.words, 0);
    work.pending.assign(size_t(cols) * area.words, 0);
    if (any_sweep) {
        const int32_t ground_w = std::min<int32_t>(map_w, Map.Ground_Grid.width);
        const int32_t ground_h = std::min<int32_t>(map_h, Map.Ground_Grid.height);
        const int32_t fx0 = std::max(x0, 0), fx1 = std::min({x0 + cols - 1, x_hi, ground_w - 1});
        const int32_t fy0 = std::max(y0, 0), fy1 = std::min({y0 + rows - 1, y_hi, ground_h - 1});
        for (int32_t y = fy0; y <= fy1; ++y) {
            const size_t word = size_t(y - y0) / 64;
            const uint64_t bit = uint64_t(1) << ((y - y0) % 64);
            const Ground_Cell* cell = &Map.Ground_Grid(fx0, y);
            uint64_t* open = &work.open[size_t(fx0 - x0) * area.words + word];
            for (int32_t x = fx0; x <= fx1; ++x, ++cell, open += area.words) *open |= cell->blocked == 0 ? bit : 0;
        }
    }
    const int32_t tc = target_x - x0, tr = target_y - y0;
    if (tc >= 0 && tr >= 0 && tc < cols && tr < rows) {
        grid[size_t(tc) * size_t(rows) + size_t(tr)] = 1;
        work.open[size_t(tc) * area.words + size_t(tr) / 64] &= ~(uint64_t(1) << (tr % 64));
        if (tc >= 1 && tc <= cols - 2 && tr >= 1 && tr <= rows - 2)
            work.pending[size_t(tc) * area.words + size_t(tr) / 64] |= uint64_t(1) << (tr % 64);
    }
    // The four axis steps in the order 1, 3, 5, 7, each held to one cell.
    for (size_t i = 0; i < 4; ++i) {
        const Step s = Chars.Direction_Steps[2 * i + 1];
        area.step_col[i] = std::clamp<int32_t>(s.x, -1, 1);
        area.step_row[i] = std::clamp<int32_t>(s.y, -1, 1);
    }

    const bool start_in_grid = start_x >= 0 && start_y >= 0 && start_x <= map_w && start_y <= map_h;
    const int32_t sc = start_x - x0, sr = start_y - y0;
    // Where the start's number will be, or null when the fill can never number it.
    const int16_t* start_number = start_in_grid && sc >= 0 && sr >= 0 && sc < cols && sr < rows
                                      ? grid + size_t(sc) * size_t(rows) + size_t(sr)
                                      : nullptr;
    const bool start_is_target = start_x == target_x && start_y == target_y;
    const bool reached =
        start_is_target || (any_sweep && (area.words == 1 && cols <= 64 ? Fill_One_Word(area, work, start_number)
                                                                        : Fill_Any_Size(area, work, start_number)));
    if (!reached) return;
    Descend_Path(record, start_x, start_y, target_x, target_y, box_x, box_y, box_width, box_height);
    record.walking = true;
    record.step_index = 0;
}

void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height) {
    const int32_t map_w = Map.Map_Width, map_h = Map.Map_Height;
    const int32_t x_hi = std::min(int32_t(box_x) + box_width, map_w);
    const int32_t y_hi = std::min(int32_t(box_y) + box_height, map_h);
    if (record.distance_grid.size() != size_t(record.distance_cols) * size_t(record.distance_rows)) {
        record.path_length = 0;   // not a grid a fill made
        return;
    }

    int32_t cx = start_x, cy = start_y;
    while (cx != target_x || cy != target_y) {
        int16_t candidates[8];
        for (int d = 1; d <= 8; ++d) {
            const Step s = Chars.Direction_Steps[size_t(d)];
            const int32_t nx = cx + s.x, ny = cy + s.y;
            const bool inside = nx >= 0 && nx <= x_hi && ny >= 0 && ny <= y_hi;
            candidates[d - 1] = inside ? Distance_At(record, nx, ny) : int16_t(0);
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
