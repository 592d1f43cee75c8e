// game.h -- the game screen: its main loop and the state of its chat line and cell picking.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/surface.h"

struct Game_State {
    // Chat line. The geometry is set again each time the game loop starts.
    int16_t Chat_Active = 0;          // 1 while the line is open
    std::u16string Chat_Input;        // being typed
    int16_t Chat_X = 155, Chat_Y = 465;
    int16_t Caret_Height = 20;
    int16_t Caret_Period = 60;        // frames; the caret shows while the counter is below half
    int16_t Caret_Counter = 0;
    int16_t Chat_Max_Length = 100;    // limit for ASCII characters only
    int16_t Enter_Latch = 0;          // 0 = Enter accepted; 1..19 = frames since it toggled the line

    // Cell picking.
    int16_t Picked_X = 0, Picked_Y = 0;   // cell last found under the mouse
    std::vector<Rect> Chat_Box;           // entry 0: the area whose click opens the chat line

    Font_Spec Game_Font;

    // What the window was last told about the open text entry, so it is told only on a change.
    bool Entry_Known = false, Entry_Active = false;
    Rect Entry_Area;
};
extern Game_State Game;
void Reset_Game();

// The game screen. Returns only when Errors.Quitting is found set at the top of a frame; Escape
// ends the program through Quit_Program (Program_End).
void Game_Main_Loop();
// Steps 9 to 14 of a frame: clear, scene, hover labels, status panel, chat lines, and white as
// the caret's colour. The loop then runs the chat line's editing, clears the frame's input and
// draws the frame counter.
void Draw_Game_Screen();
// Is the mouse over a drawn pixel of a frame cut at (source_x, source_y, width, height) from
// the sheet and drawn with its top-left corner at (frame_x, frame_y)? Reads three bytes of the
// sheet as stored; the first and last column and row of the frame never count.
bool Sprite_Hit(const Surface& sheet, int16_t mouse_x, int16_t mouse_y, int16_t source_x, int16_t source_y,
                int16_t width, int16_t height, int16_t frame_x, int16_t frame_y);
// Tells the window where the open text entry is (so an input method's candidate window sits at
// it), or that none is open; only changes reach the window.
void Set_Entry_Area(bool active, const Rect& area);
// Draws an input method's composition at (x, y), underlined, in the current font: outline
// colour, then text colour. Returns its width in pixels (0 for none).
int32_t Draw_Composition(int16_t x, int16_t y, const std::u16string& text, uint32_t outline_color,
                         uint32_t text_color);
