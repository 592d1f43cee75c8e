// picking.h -- the map cell under the mouse and what a click on the game screen does.
#pragma once
#include <cstdint>
#include <vector>

#include "characters/player.h"
#include "platform/surface.h"

struct Picking_State {
    int16_t Picked_X = 0, Picked_Y = 0;   // cell last found under the mouse
    std::vector<Rect> Chat_Box;           // entry 0: the area whose click opens the chat line
};
extern Picking_State Picking;
void Reset_Picking();

// Is (x, y) strictly inside the 40 x 20 diamond whose bounding box starts at (tile_x, tile_y)?
bool Point_In_Tile(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y);
// Finds the tile drawn in the last frame that holds (x, y); sets Picking.Picked_X/Y on success.
bool Pick_Cell(int16_t x, int16_t y);
// A pending click opens the chat line when it is inside the chat box, and always asks to walk
// to the picked cell (offline the path is found at once). Does not clear Clicked.
void Check_Click();
// A path for the record from its cell to the target, searched inside the last view box.
void Find_Path_In_View(Player_Record& record, int16_t target_x, int16_t target_y);
