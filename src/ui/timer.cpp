// timer.cpp -- the frame delay and the wait for the display, both yielding and sleeping between
// yields, and the frame counter drawn each frame.
#include "ui/timer.h"

#include <limits>
#include <string>

#include "display/display.h"
#include "platform/platform.h"

void Wait_Frame(int32_t rate) {
    if (!Platform.window) return;   // no clock runs without a window: the wait would never end
    const int32_t start = Get_Tick_Count();
    const int64_t end = rate != 0 ? Round_Half_Even_Wide(double(start) + 1000.0 / rate) : start;
    // Waiting until the tick count reaches end, counted as time since the call so that the wrap
    // of the 32-bit tick count (after 24.8 days) cannot make the wait endless.
    const int64_t delay = end - start;
    for (int64_t passed; (passed = int64_t(uint32_t(Get_Tick_Count()) - uint32_t(start))) < delay;) {
        Wait_For_Events(int32_t(delay - passed));
        Do_Events();
    }
}

void Wait_For_Display() {
    for (int32_t left; Platform.window && (left = Platform.window->Frame_Due_In()) > 0;) {
        Wait_For_Events(left);
        Do_Events();
    }
}

void Draw_FPS() {
    // A window of more frames than 16 bits hold (a clock that stands still) stays at the top.
    if (Timer.FPS_Count < std::numeric_limits<int16_t>::max()) ++Timer.FPS_Count;
    std::string shown = "FPS : " + std::to_string(Timer.FPS_Shown);
    Draw_Outlined_Text(20, 20, std::u16string(shown.begin(), shown.end()), Rgb(255, 255, 255), Rgb(255, 0, 0));
    const int32_t now = Get_Tick_Count();
    if (now > Timer.FPS_Next_Time || Timer.FPS_Next_Time == 0) {
        Timer.FPS_Shown = Timer.FPS_Count;
        Timer.FPS_Next_Time = int32_t(uint32_t(Get_Tick_Count()) + 1000u);
        Timer.FPS_Count = 0;
    }
}
