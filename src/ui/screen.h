// screen.h -- the frame loop every screen runs: events, the screen's own frame, presentation,
// the frame wait.
#pragma once
#include <cstdint>
#include <functional>

enum class Screen_Exit { Done, Quitting };

// Runs frames until `frame` returns false (Done) or, with stop_when_quitting, the program is found
// quitting at the top of a frame. Each frame yields once to the events, runs `frame`, presents the
// back buffer, runs `after_present` (if any), clears the frame's input (typed keys, click),
// waits out Wait_Frame(frame_rate) and then Wait_For_Display. A frame that returns false is not
// presented.
Screen_Exit Run_Screen(const std::function<bool()>& frame, int32_t frame_rate, bool stop_when_quitting = true,
                       const std::function<void()>& after_present = {});
