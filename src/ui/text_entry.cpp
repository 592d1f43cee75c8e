// text_entry.cpp -- the one-line text entries shared by the chat line and the login fields.
#include "ui/text_entry.h"

#include <algorithm>

#include "display/display.h"
#include "platform/encoding.h"
#include "platform/platform.h"
#include "ui/input.h"

void Apply_Entry_Key(Text_Entry& entry, int16_t code) {
    if (code == 8) {
        if (!entry.text.empty()) entry.text.pop_back();
    } else if (code < 0) {
        // A double-byte character is taken whatever the length; one with no character is dropped.
        if (const char16_t c = Input_Char(code); c != 0) entry.text += c;
    } else if (code >= 32 && code <= 127 && entry.text.size() < size_t(std::max<int16_t>(entry.max_length, 0))) {
        entry.text += char16_t(code);
    }
}

std::u16string Password_Mask(size_t characters) {
    std::u16string mask;
    mask.reserve(characters * 2);
    for (size_t i = 0; i < characters; ++i) mask += u"* ";
    return mask;
}

void Draw_Entry_Caret(Text_Entry& entry, const std::u16string& shown, bool masked, uint32_t outline_color,
                      uint32_t text_color) {
    ++entry.caret_counter;
    const int32_t caret_x = entry.x + Round_Half_Even(Text_Width(shown));
    // While an input method composes, the caret stands at its cursor inside the composition.
    std::u16string composed;
    int32_t to_cursor = 0;
    if (!Input.Composition.empty()) {
        const size_t cursor =
            std::min(size_t(std::max<int32_t>(0, Input.Composition_Cursor)), Input.Composition.size());
        composed = masked ? Password_Mask(Input.Composition.size()) : Input.Composition;
        to_cursor = Round_Half_Even(Text_Width(masked ? Password_Mask(cursor) : Input.Composition.substr(0, cursor)));
    }
    if (entry.caret_counter < entry.caret_period / 2)
        Draw_Line(caret_x + to_cursor, entry.y, caret_x + to_cursor, entry.y + entry.caret_height);
    if (entry.caret_counter > entry.caret_period) entry.caret_counter = 0;
    if (!composed.empty()) {
        const uint32_t before = Display.fore_color;
        Draw_Composition(int16_t(caret_x), entry.y, composed, outline_color, text_color);
        SetForeColor(before);
    }
}

int32_t Draw_Composition(int16_t x, int16_t y, const std::u16string& text, uint32_t outline_color,
                         uint32_t text_color) {
    if (text.empty()) return 0;
    Draw_Outlined_Text(x, y, text, outline_color, text_color);
    const int32_t w = Round_Half_Even(Text_Width(text));
    const int32_t h = Round_Half_Even(Text_Height(text));
    // Under the text, but never below the back buffer: the chat line's text runs past the last
    // row, and a mark out there would leave the composition looking like committed text.
    const int32_t lowest = Display.Back_Buffer.height - 1 - std::clamp(Display.line_width, 1, 64) / 2;
    const int32_t line_y = std::min(y + h, lowest);
    Draw_Line(x, line_y, x + w, line_y);
    return w;
}

void Set_Entry_Area(bool active, const Rect& area) {
    if (Input.Entry_Known && active == Input.Entry_Active && (!active || area == Input.Entry_Area)) return;
    Input.Entry_Known = true;
    Input.Entry_Active = active;
    Input.Entry_Area = area;
    if (Platform.window)
        Platform.window->Set_Text_Entry(active, area.left, area.top, area.right - area.left, area.bottom - area.top);
}

bool Key_Latch_Fires(int16_t& latch, bool held) {
    if (latch != 0) ++latch;
    const bool fires = held && latch == 0;
    if (fires) latch = 1;
    if (latch >= KEY_LATCH_FRAMES) latch = 0;
    return fires;
}
