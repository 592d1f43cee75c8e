// display.h -- the back buffer, its presentation, and the drawing operations every screen shares:
// text in a named font, outlined text, lines, clipping and hit tests.
#pragma once
#include <cstdint>
#include <string>

#include "display/text.h"
#include "platform/surface.h"

constexpr int32_t SCREEN_WIDTH = 640;
constexpr int32_t SCREEN_HEIGHT = 480;

struct Display_State {
    Surface Back_Buffer = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT);
    Font_Spec font;            // the font text is drawn in
    uint32_t fore_color = 0;   // colour of text and lines, red + 256 g + 65536 b
    int32_t line_width = 1;    // pixels
};
extern Display_State Display;

// Clears the back buffer, font, colour and line width. The font and text caches stay.
void Reset_Display();

// Copies the whole back buffer to the screen.
void Present_Frame();

void SetFont(const Font_Spec& font);
void SetForeColor(uint32_t color);
void Set_Line_Width(int32_t width);
// Draws the text with its top-left corner at (x, y) in the current font and colour, glyph
// pixels only (no background). Rendered strings are cached.
void DrawText(int32_t x, int32_t y, const std::u16string& text);
// A line in the current colour and line width.
void Draw_Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Width and height in pixels of the text drawn in the current font; 0 width for "".
double Text_Width(const std::u16string& text);
double Text_Height(const std::u16string& text);

// The text in text_color with a one-pixel border in outline_color; "" draws nothing and leaves
// the colour alone. Leaves the foreground colour set to text_color.
void Draw_Outlined_Text(int16_t x, int16_t y, const std::u16string& text, uint32_t outline_color, uint32_t text_color);
// Trims the rectangle and moves the position so that a copy to (x, y) stays on the 640 x 480
// screen. Returns the trimmed rectangle.
Rect Clip_Source_Rect(Rect& rect, int16_t& x, int16_t& y);
// Strictly inside: a point on an edge is outside.
bool Point_In_Rect(int16_t x, int16_t y, int16_t left, int16_t top, int16_t right, int16_t bottom);

// "Taken to the nearest integer, halves to even", as every measurement and clock in the game rounds.
int32_t Round_Half_Even(double value);
// The same without the 32-bit bound (a tick sum may pass it).
int64_t Round_Half_Even_Wide(double value);
