// input.h -- the window's input events stored for the frame loops: mouse, clicks, typed keys.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/surface.h"

struct Input_State {
    // Every key typed since the frame last consumed them, oldest first: printable ASCII as its
    // code, 8 Backspace, 13 Enter, any other character as its negative code page 950 code.
    std::vector<int16_t> Key_Codes;
    bool Clicked = false;
    int16_t Mouse_X = 0, Mouse_Y = 0;
    std::u16string Composition;   // what an input method is composing, shown at the caret
    int32_t Composition_Cursor = 0;

    // What the window was last told about the open text entry, so it is told only on a change.
    bool Entry_Known = false, Entry_Active = false;
    Rect Entry_Area;
};
extern Input_State Input;
void Reset_Input();

// The window event handlers; Install_Input_Handlers makes Do_Events deliver to them.
void Form_Click();
void Form_KeyPress(int16_t key_code);
void Form_MouseMove(int16_t x, int16_t y);
void Handle_Window_Event(const Window_Event& event);
void Install_Input_Handlers();
