// picking.h -- the map cell under the mouse and what a click on the game screen does.
#pragma once
#include <cstdint>

// Is (x, y) strictly inside the 40 x 20 diamond whose bounding box starts at (tile_x, tile_y)?
bool Point_In_Tile(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y);
// Finds the tile drawn in the last frame that holds (x, y); sets Game.Picked_X/Y on success.
bool Pick_Cell(int16_t x, int16_t y);
// A pending click opens the chat line when it is inside the chat box, and always asks to walk
// to the picked cell (offline the path is found at once). Does not clear Clicked.
void Check_Click();
