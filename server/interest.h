// interest.h -- what the server keeps to know who hears whom without looking at everyone: the
// players in buckets of cells, and what each client was told of where the others stand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A box of cells, inclusive.
struct Cell_Box {
    int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    // Without branches: for the boxes of players walking about, the answer is as good as random.
    bool Contains(int32_t x, int32_t y) const { return (x >= x0) & (x <= x1) & (y >= y0) & (y <= y1); }
};

inline uint32_t Pack_Cell(int32_t x, int32_t y) { return (uint32_t(uint16_t(x)) << 16) | uint16_t(y); }
inline int32_t Cell_X(uint32_t cell) { return int16_t(cell >> 16); }
inline int32_t Cell_Y(uint32_t cell) { return int16_t(cell & 0xFFFF); }
// A new entry of a client's table of players starts on this cell, before it is told of another.
constexpr uint32_t ORIGIN_CELL = 0;

// The cells one client was told others stand on, by the others' slots: only those told of a cell
// other than (0, 0), which is where every other player stands for it otherwise. Few of them are
// kept by open addressing; once a client knows a good share of everyone (a crowded world), a cell
// per slot takes less room and no probing, and it goes back when pruning leaves few.
struct Belief_Map {
    std::vector<uint64_t> table;   // ((slot + 1) << 32) | cell; 0 is an empty place
    std::vector<uint32_t> cells;   // when not empty, used instead: the cell by slot
    size_t count = 0;
    size_t prune_at = 0;   // at this many, the far ones are dropped (hearing.cpp)
};
inline size_t Belief_Home(const Belief_Map& map, int32_t slot) {
    return size_t(uint32_t(slot) * 0x9E3779B1u) & (map.table.size() - 1);
}
// Asks for the memory that a look-up of the slot starts at: the maps are many and far apart, so
// one move's hearers are fetched all at once rather than one miss after another.
inline void Prefetch_Belief(const Belief_Map& map, int32_t slot) {
    const void* at = nullptr;
    if (size_t(slot) < map.cells.size())
        at = &map.cells[size_t(slot)];
    else if (map.cells.empty() && !map.table.empty())
        at = &map.table[Belief_Home(map, slot)];
    if (at == nullptr) return;   // a slot past the cells kept is looked at by growing them
#if defined(__GNUC__) && defined(__x86_64__)
    asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(at)));   // GCC drops the builtin here
#else
    __builtin_prefetch(at);
#endif
}
// The cell the client was told the slot's player stands on: the kept one, or (0, 0).
uint32_t Belief_Of(const Belief_Map& map, int32_t slot);
// Keeps the cell, or forgets the slot when the cell is (0, 0).
void Set_Belief(Belief_Map& map, int32_t slot, uint32_t cell);
void Erase_Belief(Belief_Map& map, int32_t slot);
// Gives back the room of what was forgotten.
void Compact_Beliefs(Belief_Map& map);
// Bytes the map holds.
size_t Belief_Bytes(const Belief_Map& map);
// The slots and cells kept, in no order; the map must not change meanwhile.
template <class F>
void For_Each_Belief(const Belief_Map& map, F&& f) {
    if (!map.cells.empty()) {
        for (size_t slot = 0; slot < map.cells.size(); ++slot)
            if (map.cells[slot] != 0) f(int32_t(slot), map.cells[slot]);
        return;
    }
    for (const uint64_t entry : map.table)
        if (entry != 0) f(int32_t(entry >> 32) - 1, uint32_t(entry));
}

// The players in the game by where they stand, in buckets of BUCKET_CELLS x BUCKET_CELLS cells.
constexpr int32_t BUCKET_CELLS = 16;
struct Player_Grid {
    int32_t cols = 0, rows = 0;
    std::vector<std::vector<int32_t>> buckets;   // slots, row by row of buckets
    std::vector<int32_t> bucket_of, place_of;    // by slot: its bucket (-1: none) and place in it
};
void Init_Player_Grid(Player_Grid& grid, int32_t map_width, int32_t map_height);
// Puts the slot in the bucket of (x, y) (cells off the map go to the nearest bucket).
void Grid_Place(Player_Grid& grid, int32_t slot, int32_t x, int32_t y);
void Grid_Remove(Player_Grid& grid, int32_t slot);
// Calls f(slot) for every slot in the buckets that the box touches; the grid must not change.
template <class F>
void For_Slots_Near(const Player_Grid& grid, const Cell_Box& box, F&& f) {
    if (grid.cols == 0 || box.x1 < box.x0 || box.y1 < box.y0) return;
    auto column = [&](int32_t x) {
        return x < 0 ? 0 : x / BUCKET_CELLS >= grid.cols ? grid.cols - 1 : x / BUCKET_CELLS;
    };
    auto row = [&](int32_t y) { return y < 0 ? 0 : y / BUCKET_CELLS >= grid.rows ? grid.rows - 1 : y / BUCKET_CELLS; };
    for (int32_t r = row(box.y0); r <= row(box.y1); ++r)
        for (int32_t c = column(box.x0); c <= column(box.x1); ++c)
            for (const int32_t slot : grid.buckets[size_t(r) * size_t(grid.cols) + size_t(c)]) f(slot);
}
