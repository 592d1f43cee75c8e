// chat.cpp -- the chat line: Escape and Enter polled each frame, the blinking caret, the editing.
#include "game/chat.h"

#include <algorithm>

#include "display/display.h"
#include "errors/errors.h"
#include "game/game.h"
#include "game/input.h"
#include "net/net.h"
#include "platform/encoding.h"
#include "platform/platform.h"

void Check_Keys() {
    if (Key_Down(VK_ESCAPE)) Quit_Program();
    if (Game.Enter_Latch != 0) ++Game.Enter_Latch;
    if (Key_Down(VK_RETURN) && Game.Enter_Latch == 0) {
        Game.Chat_Active = int16_t((Game.Chat_Active + 1) % 2);
        Game.Caret_Counter = 0;
        Game.Enter_Latch = 1;
        if (!Game.Chat_Input.empty()) {
            // Cleared before the send: the send yields, and nothing typed then may be lost with it.
            std::u16string text = std::move(Game.Chat_Input);
            Game.Chat_Input.clear();
            Game.Enter_Latch = 0;
            Send_Message(u"/say", Escape_Text(text));
        }
    }
    if (Game.Enter_Latch >= 20) Game.Enter_Latch = 0;
}

void Apply_Chat_Key(int16_t code) {
    if (code == 8) {
        if (!Game.Chat_Input.empty()) Game.Chat_Input.pop_back();
        return;
    }
    if (code < 0) {
        // A double-byte character is taken whatever the length; one with no character is dropped.
        char16_t c = Input_Char(code);
        if (c != 0) Game.Chat_Input += c;
    } else if (code > 31 && code < 128 && Game.Chat_Input.size() + 1 <= size_t(Game.Chat_Max_Length)) {
        Game.Chat_Input += char16_t(code);
    }
}

void Edit_Chat_Line() {
    ++Game.Caret_Counter;
    const int32_t caret_x = Game.Chat_X + Round_Half_Even(Text_Width(Game.Chat_Input));
    int32_t composed_to_cursor = 0;
    if (!Input.Composition.empty()) {
        size_t cursor = size_t(std::max<int32_t>(0, Input.Composition_Cursor));
        if (cursor > Input.Composition.size()) cursor = Input.Composition.size();
        composed_to_cursor = Round_Half_Even(Text_Width(Input.Composition.substr(0, cursor)));
    }
    if (Game.Caret_Counter < Game.Caret_Period / 2) {
        const int32_t x = caret_x + composed_to_cursor;
        Draw_Line(x, Game.Chat_Y, x, Game.Chat_Y + Game.Caret_Height);
    }
    if (Game.Caret_Counter > Game.Caret_Period) Game.Caret_Counter = 0;

    if (!Input.Composition.empty()) {
        const uint32_t before = Display.fore_color;
        Draw_Composition(int16_t(caret_x), Game.Chat_Y, Input.Composition, Rgb(255, 255, 255), Rgb(255, 0, 0));
        SetForeColor(before);
    }
    for (int16_t code : Input.Key_Codes) Apply_Chat_Key(code);
}
