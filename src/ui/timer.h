// timer.h -- the frame delay and the frame counter.
#pragma once
#include <cstdint>

struct Timer_State {
    int16_t FPS_Count = 0;
    int32_t FPS_Shown = 0;
    int32_t FPS_Next_Time = 0;
};
extern Timer_State Timer;
void Reset_Timer();

// Yields until 1000 / rate ms after the call (rate 0: returns at once, without yielding),
// sleeping between the yields until an event comes.
void Wait_Frame(int32_t rate);
// Yields, sleeping between the yields, until the display can take the next frame: where
// presentation does not wait for the display's refresh by itself, this keeps the frame rate at
// the display's instead of running the processor flat out. Returns at once elsewhere.
void Wait_For_Display();
// Counts the frame and draws "FPS : n" at (20, 20).
void Draw_FPS();
