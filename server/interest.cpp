// interest.cpp -- the belief maps (open addressing, linear probing, deletion by moving entries
// back) and the grid of players by bucket.
#include "interest.h"

#include <algorithm>

namespace {

size_t Home(const Belief_Map& map, int32_t slot) {
    return size_t(uint32_t(slot) * 0x9E3779B1u) & (map.table.size() - 1);
}

size_t Locate(const Belief_Map& map, int32_t slot) {
    const uint64_t key = uint64_t(uint32_t(slot + 1)) << 32;
    const size_t mask = map.table.size() - 1;
    for (size_t i = Home(map, slot);; i = (i + 1) & mask)
        if (map.table[i] == 0 || (map.table[i] & 0xFFFFFFFF00000000ull) == key) return i;
}

void Grow(Belief_Map& map) {
    std::vector<uint64_t> old(std::max<size_t>(16, map.table.size() * 2), 0);
    old.swap(map.table);
    for (const uint64_t entry : old)
        if (entry != 0) map.table[Locate(map, int32_t(entry >> 32) - 1)] = entry;
}

}   // namespace

uint32_t Belief_Of(const Belief_Map& map, int32_t slot) {
    if (map.count == 0) return ORIGIN_CELL;
    return uint32_t(map.table[Locate(map, slot)]);   // an empty place reads as (0, 0)
}

void Set_Belief(Belief_Map& map, int32_t slot, uint32_t cell) {
    if (cell == ORIGIN_CELL) return Erase_Belief(map, slot);
    if ((map.count + 1) * 2 > map.table.size()) Grow(map);   // at most half full
    const size_t i = Locate(map, slot);
    if (map.table[i] == 0) ++map.count;
    map.table[i] = (uint64_t(uint32_t(slot + 1)) << 32) | cell;
}

void Erase_Belief(Belief_Map& map, int32_t slot) {
    if (map.count == 0) return;
    size_t hole = Locate(map, slot);
    if (map.table[hole] == 0) return;
    map.table[hole] = 0;
    --map.count;
    // Entries after the hole that could not sit at their home move back, so every search still
    // meets its entry before an empty place.
    const size_t mask = map.table.size() - 1;
    for (size_t i = (hole + 1) & mask; map.table[i] != 0; i = (i + 1) & mask) {
        const size_t home = Home(map, int32_t(map.table[i] >> 32) - 1);
        if (((i - home) & mask) >= ((i - hole) & mask)) {
            map.table[hole] = map.table[i];
            map.table[i] = 0;
            hole = i;
        }
    }
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
