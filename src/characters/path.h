// path.h -- a player's path finding: the shared search (map/path_search.h) over the loaded map,
// its result kept in the player's record.
#pragma once
#include <cstdint>
#include <vector>

#include "characters/player.h"
#include "map/path_search.h"

// Work space of the searches, kept between them so a search inside a frame allocates nothing:
// the fill's bit sets, the free cells of the search's window of the map, the steps found.
struct Path_State {
    Path_Scratch scratch;
    Walk_Grid window;
    Path_Numbers numbers;
    std::vector<int16_t> steps;
};
extern Path_State Path_Search;
void Reset_Path();

// Path finding inside the box (box_* are cut to the map and written back): flood fill from the
// target with axis moves, then a descent from the start with eight directions. Fills path_steps,
// path_length (0 when there is no path, or one longer than 64 steps) and sets walking and
// step_index when the start was reached. A blocked target or one off the map gives no path and
// touches nothing else. The record keeps the fill's numbers for the box and the cells around
// it, so its memory is bounded by the box, not the map.
void Find_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
               int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height);
void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height);
// The number the record's last fill gave cell (x, y): 1 at its target, 0 where it numbered nothing.
int16_t Distance_At(const Player_Record& record, int32_t x, int32_t y);
