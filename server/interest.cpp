// interest.cpp -- the belief maps (open addressing, linear probing, deletion by moving entries
// back; or a cell by slot) and the grid of players by bucket.
#include "interest.h"

#include <algorithm>

namespace {

size_t Locate(const Belief_Map& map, int32_t slot) {
    const uint64_t key = uint64_t(uint32_t(slot + 1)) << 32;
    const size_t mask = map.table.size() - 1;
    for (size_t i = Belief_Home(map, slot);; i = (i + 1) & mask)
        if (map.table[i] == 0 || (map.table[i] & 0xFFFFFFFF00000000ull) == key) return i;
}

// Open addressing at most half full, in a table of `places` (a power of two).
void Rehash(Belief_Map& map, size_t places) {
    std::vector<uint64_t> entries;
    entries.reserve(map.count);
    For_Each_Belief(
        map, [&](int32_t slot, uint32_t cell) { entries.push_back((uint64_t(uint32_t(slot + 1)) << 32) | cell); });
    map.cells = {};
    map.table.assign(places, 0);
    for (const uint64_t entry : entries) map.table[Locate(map, int32_t(entry >> 32) - 1)] = entry;
}

void To_Cells(Belief_Map& map, size_t slots) {
    std::vector<uint32_t> cells(slots, 0);
    For_Each_Belief(map, [&](int32_t slot, uint32_t cell) { cells[size_t(slot)] = cell; });
    map.table = {};
    map.cells.swap(cells);
}

// A cell by slot up to the highest slot kept (4 bytes a slot) against open addressing (8 bytes a
// place, two places or more an entry): the one that takes less room. Compact_Beliefs goes back
// only well below the line, so that a map near it does not flip back and forth.
void Grow(Belief_Map& map) {
    size_t slots = 0;
    For_Each_Belief(map, [&](int32_t slot, uint32_t) { slots = std::max(slots, size_t(slot) + 1); });
    const size_t places = std::max<size_t>(16, map.table.size() * 2);
    if (places * 2 >= slots && places >= 256) return To_Cells(map, slots);
    Rehash(map, places);
}

}   // namespace

uint32_t Belief_Of(const Belief_Map& map, int32_t slot) {
    if (!map.cells.empty()) return size_t(slot) < map.cells.size() ? map.cells[size_t(slot)] : ORIGIN_CELL;
    if (map.count == 0) return ORIGIN_CELL;
    return uint32_t(map.table[Locate(map, slot)]);   // an empty place reads as (0, 0)
}

void Set_Belief(Belief_Map& map, int32_t slot, uint32_t cell) {
    if (cell == ORIGIN_CELL) return Erase_Belief(map, slot);
    if (!map.cells.empty()) {
        if (size_t(slot) >= map.cells.size()) map.cells.resize(std::max(size_t(slot) + 1, map.cells.size() * 3 / 2), 0);
        uint32_t& kept = map.cells[size_t(slot)];
        if (kept == 0) ++map.count;
        kept = cell;
        return;
    }
    if ((map.count + 1) * 2 > map.table.size()) Grow(map);   // at most half full
    if (!map.cells.empty()) return Set_Belief(map, slot, cell);
    const size_t i = Locate(map, slot);
    if (map.table[i] == 0) ++map.count;
    map.table[i] = (uint64_t(uint32_t(slot + 1)) << 32) | cell;
}

void Erase_Belief(Belief_Map& map, int32_t slot) {
    if (map.count == 0) return;
    if (!map.cells.empty()) {
        if (size_t(slot) < map.cells.size() && map.cells[size_t(slot)] != 0) {
            map.cells[size_t(slot)] = 0;
            --map.count;
        }
        return;
    }
    size_t hole = Locate(map, slot);
    if (map.table[hole] == 0) return;
    map.table[hole] = 0;
    --map.count;
    // Entries after the hole that could not sit at their home move back, so every search still
    // meets its entry before an empty place.
    const size_t mask = map.table.size() - 1;
    for (size_t i = (hole + 1) & mask; map.table[i] != 0; i = (i + 1) & mask) {
        const size_t home = Belief_Home(map, int32_t(map.table[i] >> 32) - 1);
        if (((i - home) & mask) >= ((i - hole) & mask)) {
            map.table[hole] = map.table[i];
            map.table[i] = 0;
            hole = i;
        }
    }
}

void Compact_Beliefs(Belief_Map& map) {
    size_t places = 16;
    while (places < map.count * 2 + 2) places *= 2;
    const size_t room = map.cells.empty() ? map.table.size() * sizeof(uint64_t) : map.cells.size() * sizeof(uint32_t);
    // Only when a table of four times the places would still be smaller: a table that shrank
    // has room to grow again before it has to.
    if (room > 4 * places * sizeof(uint64_t)) Rehash(map, 2 * places);
}

size_t Belief_Bytes(const Belief_Map& map) {
    return map.table.capacity() * sizeof(uint64_t) + map.cells.capacity() * sizeof(uint32_t);
}

void Init_Player_Grid(Player_Grid& grid, int32_t map_width, int32_t map_height) {
    grid = Player_Grid{};
    grid.cols = std::max<int32_t>(1, (map_width + BUCKET_CELLS - 1) / BUCKET_CELLS);
    grid.rows = std::max<int32_t>(1, (map_height + BUCKET_CELLS - 1) / BUCKET_CELLS);
    grid.buckets.resize(size_t(grid.cols) * size_t(grid.rows));
}

void Grid_Remove(Player_Grid& grid, int32_t slot) {
    if (size_t(slot) >= grid.bucket_of.size() || grid.bucket_of[size_t(slot)] < 0) return;
    std::vector<int32_t>& bucket = grid.buckets[size_t(grid.bucket_of[size_t(slot)])];
    const int32_t place = grid.place_of[size_t(slot)];
    bucket[size_t(place)] = bucket.back();
    grid.place_of[size_t(bucket.back())] = place;
    bucket.pop_back();
    grid.bucket_of[size_t(slot)] = -1;
}

void Grid_Place(Player_Grid& grid, int32_t slot, int32_t x, int32_t y) {
    if (size_t(slot) >= grid.bucket_of.size()) {
        grid.bucket_of.resize(size_t(slot) + 1, -1);
        grid.place_of.resize(size_t(slot) + 1, 0);
    }
    const int32_t c = std::clamp<int32_t>(x / BUCKET_CELLS, 0, grid.cols - 1);
    const int32_t r = std::clamp<int32_t>(y / BUCKET_CELLS, 0, grid.rows - 1);
    const int32_t bucket = r * grid.cols + c;
    if (grid.bucket_of[size_t(slot)] == bucket) return;
    Grid_Remove(grid, slot);
    grid.bucket_of[size_t(slot)] = bucket;
    grid.place_of[size_t(slot)] = int32_t(grid.buckets[size_t(bucket)].size());
    grid.buckets[size_t(bucket)].push_back(slot);
}
