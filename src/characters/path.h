// path.h -- path finding on the walkability grid inside a search box.
#pragma once
#include <cstdint>
#include <vector>

#include "characters/player.h"

constexpr int16_t MAX_PATH_STEPS = 64;   // a longer path counts as none

// Work space of the fill, kept between searches so a search inside a frame allocates nothing.
struct Path_State {
    std::vector<uint8_t> flags;     // per cell around the box: blocked, expanded
    std::vector<int32_t> pending;   // per column: numbered cells waiting to be expanded
};
extern Path_State Path_Search;
void Reset_Path();

// Path finding inside the box (box_* are cut to the map and written back): flood fill from the
// target with axis moves, then a descent from the start with eight directions. Fills path_steps,
// path_length (0 when there is no path, or one longer than 64 steps) and sets walking and
// step_index when the start was reached. A blocked target or one off the map gives no path and
// touches nothing else.
void Find_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
               int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height);
void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height);
// The smallest nonzero value, 0 when all are 0.
int16_t Smallest_Nonzero(const int16_t* values, int count);
