// path_search.cpp -- the shared path search: the fill from the target over bit sets of the
// cells around the box, the descent, the view box's search, and the walkable regions.
#include "map/path_search.h"

#include <algorithm>
#include <bit>

namespace {

// The four axis steps in the fill's order: directions 1, 3, 5, 7.
constexpr int32_t AXIS_COL[4] = {0, 1, 0, -1};
constexpr int32_t AXIS_ROW[4] = {-1, 0, 1, 0};

// The cells a fill may number, column-major, and its bit sets' shape.
struct Fill_Area {
    int16_t* grid;
    int32_t cols, rows;
    size_t words;   // words of a column's bit set
};

// Sweeps until the start has a number (true) or a sweep numbers nothing (false). The start is
// looked at between sweeps only: a sweep always runs to its end. For boxes of at most 62 rows
// and columns (the view box is 39): a column's set is one word, the columns waiting one word.
bool Fill_One_Word(const Fill_Area& a, Path_Scratch& work, const int16_t* start_number) {
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
                    const int32_t nc = c + AXIS_COL[i], nr = r + AXIS_ROW[i];
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
bool Fill_Any_Size(const Fill_Area& a, Path_Scratch& work, const int16_t* start_number) {
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
                    const int32_t nc = c + AXIS_COL[i], nr = r + AXIS_ROW[i];
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

// Bits pos .. pos + n - 1 (n <= 64) of a run of words, in the low bits.
uint64_t Read_Bits(const uint64_t* run, size_t words, size_t pos, int32_t n) {
    const size_t i = pos / 64;
    const int32_t shift = int32_t(pos % 64);
    uint64_t v = run[i] >> shift;
    if (shift != 0 && i + 1 < words) v |= run[i + 1] << (64 - shift);
    return n < 64 ? v & ((uint64_t(1) << n) - 1) : v;
}

void Or_Bits(uint64_t* run, size_t words, size_t pos, int32_t n, uint64_t v) {
    const size_t i = pos / 64;
    const int32_t shift = int32_t(pos % 64);
    run[i] |= v << shift;
    if (shift != 0 && shift + n > 64 && i + 1 < words) run[i + 1] |= v >> (64 - shift);
}

}   // namespace

bool Walk_Grid::Free(int32_t x, int32_t y) const {
    if (x < x0 || y < y0 || x >= x0 + cols || y >= y0 + rows) return false;
    const size_t r = size_t(y - y0);
    return (bits[size_t(x - x0) * words + r / 64] >> (r % 64)) & 1;
}

void Fill_Walk_Grid(const Map_Model& map, int32_t x0, int32_t y0, int32_t cols, int32_t rows, Walk_Grid& grid) {
    grid.map_width = map.Map_Width;
    grid.map_height = map.Map_Height;
    // Only cells the map holds can be free.
    const int32_t held_w = std::min<int32_t>(map.Map_Width, map.Ground_Grid.width);
    const int32_t held_h = std::min<int32_t>(map.Map_Height, map.Ground_Grid.height);
    const int32_t fx0 = std::max(x0, 0), fx1 = std::min(x0 + cols, held_w);
    const int32_t fy0 = std::max(y0, 0), fy1 = std::min(y0 + rows, held_h);
    grid.x0 = fx0;
    grid.y0 = fy0;
    grid.cols = std::max(fx1 - fx0, 0);
    grid.rows = std::max(fy1 - fy0, 0);
    grid.words = (size_t(grid.rows) + 63) / 64;
    grid.bits.assign(size_t(grid.cols) * grid.words, 0);
    for (int32_t y = fy0; y < fy1; ++y) {
        const size_t word = size_t(y - fy0) / 64;
        const uint64_t bit = uint64_t(1) << ((y - fy0) % 64);
        const Ground_Cell* cell = &map.Ground_Grid(fx0, y);
        uint64_t* out = grid.bits.data() + word;
        for (int32_t x = fx0; x < fx1; ++x, ++cell, out += grid.words) *out |= cell->blocked == 0 ? bit : 0;
    }
}

Walk_Grid Make_Walk_Grid(const Map_Model& map) {
    Walk_Grid grid;
    Fill_Walk_Grid(map, 0, 0, map.Map_Width, map.Map_Height, grid);
    return grid;
}

int16_t Number_At(const Path_Numbers& n, int32_t x, int32_t y) {
    if (x == n.target_x && y == n.target_y) return 1;
    const int64_t col = int64_t(x) - n.x0, row = int64_t(y) - n.y0;
    if (col < 0 || row < 0 || col >= n.cols || row >= n.rows) return 0;
    const size_t at = size_t(col) * size_t(n.rows) + size_t(row);
    return at < n.grid.size() ? n.grid[at] : int16_t(0);
}

int16_t Smallest_Nonzero(const int16_t* values, int count) {
    int16_t smallest = 0;
    for (int i = 0; i < count; ++i)
        if (smallest == 0 || (values[i] != 0 && values[i] < smallest)) smallest = values[i];
    return smallest;
}

Path_Result Search_Path(const Walk_Grid& walk, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                        int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height, Path_Numbers& numbers,
                        Path_Scratch& work, std::vector<int16_t>& steps) {
    steps.clear();
    const int32_t map_w = walk.map_width, map_h = walk.map_height;
    if (target_x < 0 || target_y < 0 || target_x >= map_w || target_y >= map_h) return Path_Result::No_Target;

    if (int32_t(box_x) + box_width > map_w) box_width = int16_t(map_w - box_x);
    if (int32_t(box_y) + box_height > map_h) box_height = int16_t(map_h - box_y);
    // Neighbours must lie in 0 .. x_hi, 0 .. y_hi; only cells of the map's grid (0 .. map_w,
    // 0 .. map_h) inside the box are swept, i.e. expanded.
    const int32_t x_hi = int32_t(box_x) + box_width, y_hi = int32_t(box_y) + box_height;
    const int32_t sweep_x0 = std::max<int32_t>(box_x, 0), sweep_x1 = std::min(x_hi, map_w);
    const int32_t sweep_y0 = std::max<int32_t>(box_y, 0), sweep_y1 = std::min(y_hi, map_h);
    const bool any_sweep = sweep_x0 <= sweep_x1 && sweep_y0 <= sweep_y1;

    // The numbers can only fall on the swept cells and their neighbours, one more on each side:
    // that is all that is kept (the target, numbered 1, may lie anywhere).
    const int32_t x0 = sweep_x0 - 1, y0 = sweep_y0 - 1;
    const int32_t cols = any_sweep ? sweep_x1 - sweep_x0 + 3 : 0, rows = any_sweep ? sweep_y1 - sweep_y0 + 3 : 0;
    numbers.grid.assign(size_t(cols) * size_t(rows), 0);   // reuses the allocation
    numbers.x0 = x0;
    numbers.y0 = y0;
    numbers.cols = cols;
    numbers.rows = rows;
    numbers.target_x = target_x;
    numbers.target_y = target_y;
    int16_t* grid = numbers.grid.data();

    // Per column a run of words, a bit per row: `open` for cells a neighbour's number may still go
    // to (free, inside the neighbour bounds, not numbered), `pending` for numbered cells of the box
    // waiting to be expanded. Expanding a cell numbers all its open neighbours, so a second
    // expansion would change nothing: each cell is expanded once, in sweep order, and only the
    // cells waiting are visited. The sweeps themselves, their order and the numbers are those of
    // sweeping the whole box again and again.
    const Fill_Area area{grid, cols, rows, (size_t(rows) + 63) / 64};
    work.open.assign(size_t(cols) * area.words, 0);
    work.pending.assign(size_t(cols) * area.words, 0);
    if (any_sweep) {
        const int32_t fx0 = std::max({x0, 0, walk.x0}), fx1 = std::min({x0 + cols - 1, x_hi, walk.x0 + walk.cols - 1});
        const int32_t fy0 = std::max({y0, 0, walk.y0}), fy1 = std::min({y0 + rows - 1, y_hi, walk.y0 + walk.rows - 1});
        for (int32_t x = fx0; x <= fx1; ++x) {
            const uint64_t* from = walk.bits.data() + size_t(x - walk.x0) * walk.words;
            uint64_t* to = work.open.data() + size_t(x - x0) * area.words;
            for (int32_t y = fy0; y <= fy1; y += 64) {
                const int32_t n = std::min(64, fy1 - y + 1);
                Or_Bits(to, area.words, size_t(y - y0), n, Read_Bits(from, walk.words, size_t(y - walk.y0), n));
            }
        }
    }
    const int32_t tc = target_x - x0, tr = target_y - y0;
    if (tc >= 0 && tr >= 0 && tc < cols && tr < rows) {
        grid[size_t(tc) * size_t(rows) + size_t(tr)] = 1;
        work.open[size_t(tc) * area.words + size_t(tr) / 64] &= ~(uint64_t(1) << (tr % 64));
        if (tc >= 1 && tc <= cols - 2 && tr >= 1 && tr <= rows - 2)
            work.pending[size_t(tc) * area.words + size_t(tr) / 64] |= uint64_t(1) << (tr % 64);
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
    if (!reached) return Path_Result::Unreached;
    return Descend_Numbers(numbers, map_w, map_h, start_x, start_y, target_x, target_y, box_x, box_y, box_width,
                           box_height, steps);
}

Path_Result Descend_Numbers(const Path_Numbers& numbers, int32_t map_width, int32_t map_height, int16_t start_x,
                            int16_t start_y, int16_t target_x, int16_t target_y, int16_t box_x, int16_t box_y,
                            int16_t box_width, int16_t box_height, std::vector<int16_t>& steps) {
    const int32_t x_hi = std::min(int32_t(box_x) + box_width, map_width);
    const int32_t y_hi = std::min(int32_t(box_y) + box_height, map_height);
    if (numbers.grid.size() != size_t(numbers.cols) * size_t(numbers.rows)) return Path_Result::Unreached;
    int32_t cx = start_x, cy = start_y;
    while (cx != target_x || cy != target_y) {
        // A diagonal step may pass between two blocked cells: kept on purpose, since the paths the
        // client walks and the server's checks of its moves rely on exactly these steps.
        int16_t candidates[8];
        for (int d = 1; d <= 8; ++d) {
            const int32_t nx = cx + CELL_STEPS[d].x, ny = cy + CELL_STEPS[d].y;
            const bool inside = nx >= 0 && nx <= x_hi && ny >= 0 && ny <= y_hi;
            candidates[d - 1] = inside ? Number_At(numbers, nx, ny) : int16_t(0);
        }
        const int16_t smallest = Smallest_Nonzero(candidates, 8);
        int d = 1;
        while (d <= 8 && !(smallest != 0 && candidates[d - 1] == smallest)) ++d;
        if (d > 8) return Path_Result::Unreached;   // nothing numbered around: not a grid a fill made
        cx += CELL_STEPS[d].x;
        cy += CELL_STEPS[d].y;
        steps.push_back(int16_t(d));
        if (steps.size() > size_t(MAX_PATH_STEPS)) return Path_Result::Too_Long;
    }
    return Path_Result::Found;
}

Path_Result Search_From_View(const Walk_Grid& walk, int16_t start_x, int16_t start_y, int16_t target_x,
                             int16_t target_y, Path_Numbers& numbers, Path_Scratch& scratch,
                             std::vector<int16_t>& steps) {
    steps.clear();
    if (!walk.Free(target_x, target_y)) return Path_Result::No_Target;
    int16_t box_x = View_Origin(start_x), box_y = View_Origin(start_y), width = VIEW_CELLS, height = VIEW_CELLS;
    return Search_Path(walk, start_x, start_y, target_x, target_y, box_x, box_y, width, height, numbers, scratch,
                       steps);
}

bool Walk_Regions::In_Largest(int32_t x, int32_t y) const {
    if (x < 0 || y < 0 || x >= width || y >= height || largest < 0) return false;
    return label[size_t(y) * size_t(width) + size_t(x)] == largest;
}

std::vector<std::pair<int16_t, int16_t>> Largest_Region_Cells(const Walk_Regions& regions) {
    std::vector<std::pair<int16_t, int16_t>> cells;
    if (regions.largest >= 0) cells.reserve(size_t(regions.sizes[size_t(regions.largest)]));
    for (int32_t y = 0; y < regions.height; ++y)
        for (int32_t x = 0; x < regions.width; ++x)
            if (regions.In_Largest(x, y)) cells.emplace_back(int16_t(x), int16_t(y));
    return cells;
}

Walk_Regions Find_Walk_Regions(const Map_Model& map) {
    Walk_Regions regions;
    regions.width = std::max<int32_t>(0, std::min<int32_t>(map.Map_Width, map.Ground_Grid.width));
    regions.height = std::max<int32_t>(0, std::min<int32_t>(map.Map_Height, map.Ground_Grid.height));
    const size_t w = size_t(regions.width);
    regions.label.assign(w * size_t(regions.height), -1);
    std::vector<int32_t> queue;
    for (int32_t y = 0; y < regions.height; ++y) {
        for (int32_t x = 0; x < regions.width; ++x) {
            if (map.Ground_Grid(x, y).blocked != 0 || regions.label[size_t(y) * w + size_t(x)] >= 0) continue;
            const int32_t region = int32_t(regions.sizes.size());
            int32_t size = 0;
            queue.assign(1, y * regions.width + x);
            regions.label[size_t(y) * w + size_t(x)] = region;
            while (!queue.empty()) {
                const int32_t at = queue.back();
                queue.pop_back();
                ++size;
                const int32_t cx = at % regions.width, cy = at / regions.width;
                for (int i = 0; i < 4; ++i) {
                    const int32_t nx = cx + AXIS_COL[i], ny = cy + AXIS_ROW[i];
                    if (nx < 0 || ny < 0 || nx >= regions.width || ny >= regions.height) continue;
                    int32_t& label = regions.label[size_t(ny) * w + size_t(nx)];
                    if (label >= 0 || map.Ground_Grid(nx, ny).blocked != 0) continue;
                    label = region;
                    queue.push_back(ny * regions.width + nx);
                }
            }
            regions.sizes.push_back(size);
            if (regions.largest < 0 || size > regions.sizes[size_t(regions.largest)]) regions.largest = region;
        }
    }
    return regions;
}
