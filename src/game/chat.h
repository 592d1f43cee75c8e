// chat.h -- the chat line of the game screen: Escape and Enter, the caret and the editing.
#pragma once
#include <cstdint>

// Once per frame after picking: Escape ends the program (nothing sent), Enter opens or closes
// the line and sends a non-empty input as "/say".
void Check_Keys();
// While the line is open: the caret's blink and the typed keys of the frame (Input.Key_Codes,
// all of them, in order). Draws the caret on the back buffer in the current colour.
void Edit_Chat_Line();
// One typed code applied to the input: 8 removes the last character, printable ASCII is taken
// while the input is shorter than the limit, a negative (double-byte) code always.
void Apply_Chat_Key(int16_t code);
