// game.h -- the game screen: its main loop and the state of its chat line and cell picking.
#pragma once
#include <cstdint>
#include <string>

#include "display/surface.h"

void Reset_Game();
void Game_Main_Loop();
// Is the mouse over a drawn pixel of a frame cut at (source_x, source_y, width, height) from
// the sheet and drawn with its top-left corner at (frame_x, frame_y)?
bool Sprite_Hit(const Surface& sheet, int16_t mouse_x, int16_t mouse_y, int16_t source_x, int16_t source_y,
                int16_t width, int16_t height, int16_t frame_x, int16_t frame_y);
