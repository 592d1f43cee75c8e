// text_entry.h -- one-line text entries (the chat line, the login fields): typed keys, the
// blinking caret, the text an input method is composing, and the latch of a held key.
#pragma once
#include <cstdint>
#include <string>

#include "platform/surface.h"

struct Text_Entry {
    std::u16string text;
    int16_t x = 0, y = 0;        // where the text is drawn and the caret line starts
    int16_t caret_height = 20;   // pixels
    int16_t caret_counter = 0;   // frames into the blink period
    int16_t caret_period = 60;   // frames; the caret shows while the counter is below half
    int16_t max_length = 100;    // limit for single-byte characters only
};

// One typed code: 8 removes the last character; printable ASCII (32..127) is taken while the text
// is shorter than max_length; a negative (double-byte) code is taken whatever the length, unless
// it names no character. Anything else, Enter included, is left to the screen.
void Apply_Entry_Key(Text_Entry& entry, int16_t code);

// The caret of a focused entry, once a frame: advances the blink, draws the caret line after
// `shown` (what the entry displays) in the current colour and line width, and draws the input
// method's composition there, masked like `shown` when `masked`. Colours as Draw_Outlined_Text.
void Draw_Entry_Caret(Text_Entry& entry, const std::u16string& shown, bool masked, uint32_t outline_color,
                      uint32_t text_color);

// "* " once for each character: how a password is shown.
std::u16string Password_Mask(size_t characters);

// Draws an input method's composition at (x, y), underlined, in the current font: outline colour,
// then text colour. The underline keeps to the back buffer's last rows when the text reaches past
// them. Returns its width in pixels (0 for none).
int32_t Draw_Composition(int16_t x, int16_t y, const std::u16string& text, uint32_t outline_color, uint32_t text_color);

// Tells the window where the open text entry is (so an input method's candidate window sits at
// it), or that none is open; only changes reach the window.
void Set_Entry_Area(bool active, const Rect& area);

// A held key that acts once, then again only after KEY_LATCH_FRAMES frames: 0 = the key is
// accepted; 1..19 = frames since it acted.
constexpr int16_t KEY_LATCH_FRAMES = 20;
// One frame of the latch: true when the held key acts in this frame. A screen that wants the key
// accepted again at once (the chat line after sending) sets the latch back to 0.
bool Key_Latch_Fires(int16_t& latch, bool held);
