// screen.cpp -- the frame loop every screen runs.
#include "ui/screen.h"

#include "display/display.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "ui/input.h"
#include "ui/timer.h"

namespace {

void Clear_Frame_Input() {
    Input.Key_Codes.clear();
    Input.Clicked = false;
}

}   // namespace

Screen_Exit Run_Screen(const std::function<bool()>& frame, int32_t frame_rate, bool stop_when_quitting,
                       const std::function<void()>& after_present) {
    for (;;) {
        if (stop_when_quitting && Program.Quitting) return Screen_Exit::Quitting;
        Do_Events();
        if (!frame()) {
            Clear_Frame_Input();
            return Screen_Exit::Done;
        }
        Present_Frame();
        if (after_present) after_present();
        Clear_Frame_Input();
        Wait_Frame(frame_rate);
        Wait_For_Display();
    }
}
