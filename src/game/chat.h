// chat.h -- the chat line of the game screen: Escape and Enter, the caret and the editing.
#pragma once
#include <cstdint>
#include <string>

#include "ui/text_entry.h"

struct Chat_State {
    int16_t Chat_Active = 0;   // 1 while the line is open
    // The line being typed (Chat_Input) with its place, caret and limit; the game loop sets the
    // geometry each time it starts.
    Text_Entry Chat_Input{u"", 155, 465, 20, 0, 60, 100};
    int16_t Enter_Latch = 0;   // a key latch (ui/text_entry.h) for Enter
};
extern Chat_State Chat;
void Reset_Chat();

// Once per frame after picking: Escape ends the program (nothing sent), Enter opens or closes
// the line and sends a non-empty input as "/say".
void Check_Keys();
// While the line is open: the caret's blink and the typed keys of the frame (Input.Key_Codes,
// all of them, in order). Draws the caret on the back buffer in the current colour.
void Edit_Chat_Line();
