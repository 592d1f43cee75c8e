// game.h -- the game screen: its main loop and the state of its cell picking.
#pragma once
#include <cstdint>

#include "display/display.h"
#include "platform/surface.h"

struct Game_State {
    Font_Spec Game_Font;
};
extern Game_State Game;
void Reset_Game();

// The game screen. Returns only when the program is found quitting at the top of a frame;
// Escape ends the program through Quit_Program (Program_End).
void Game_Main_Loop();
// One frame of the game screen after the yield: input, walking, drawing. The loop then clears
// the frame's input, presents and waits.
void Game_Frame();
// Clear, scene, hover labels, status panel, chat lines, and white as the caret's colour. The
// frame then runs the chat line's editing and draws the frame counter.
void Draw_Game_Screen();
// Is the mouse over a drawn pixel of a frame cut at (source_x, source_y, width, height) from
// the sheet and drawn with its top-left corner at (frame_x, frame_y)? Reads three bytes of the
// sheet as stored; the first and last column and row of the frame never count.
bool Sprite_Hit(const Surface& sheet, int16_t mouse_x, int16_t mouse_y, int16_t source_x, int16_t source_y,
                int16_t width, int16_t height, int16_t frame_x, int16_t frame_y);
