// input.cpp -- the window event handlers: they only store what happened for the frame loops.
#include "ui/input.h"

#include "platform/encoding.h"
#include "platform/program.h"

namespace {

// More typed codes than this between two frames are dropped: no one types that fast, and a
// screen that stops consuming them must not grow the list without end.
constexpr size_t MAX_PENDING_KEY_CODES = 1024;

// An input method's commit, character by character, as the codes the entries take.
void Append_Text(const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            ++i;   // a character beyond 16 bits (an emoji) has no code page 950 code
            continue;
        }
        // Control characters come as Key_Press (8, 13) or not at all: a pasted tab or line break
        // must not act as Enter or Backspace, and 0 means "no key".
        if (c < 0x20 || c == 0x7F) continue;
        int16_t code = Input_Code(c);
        if (code != 0) Form_KeyPress(code);
    }
}

}   // namespace

void Form_Click() { Input.Clicked = true; }

void Form_KeyPress(int16_t key_code) {
    if (key_code == 0 || Input.Key_Codes.size() >= MAX_PENDING_KEY_CODES) return;
    Input.Key_Codes.push_back(key_code);
}

void Form_MouseMove(int16_t x, int16_t y) {
    Input.Mouse_X = x;
    Input.Mouse_Y = y;
}

void Handle_Window_Event(const Window_Event& event) {
    switch (event.kind) {
        case Window_Event::Mouse_Move: Form_MouseMove(event.x, event.y); break;
        case Window_Event::Click: Form_Click(); break;
        case Window_Event::Key_Press: Form_KeyPress(event.key); break;
        case Window_Event::Text: Append_Text(event.text); break;
        case Window_Event::Editing:
            Input.Composition = event.text;
            Input.Composition_Cursor = event.cursor;
            break;
        // Closing the window is the user asking to quit, as Escape is.
        case Window_Event::Close_Request: Quit_Program();
    }
}

void Install_Input_Handlers() { Platform.handlers.window = Handle_Window_Event; }
