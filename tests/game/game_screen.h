// game_screen.h -- helpers for driving the game screen's frame loop from the headless window.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "fixture.h"
#include "game/game.h"
#include "platform/encoding.h"

// Runs the loop to its end: the Program_End status, or -1 when the loop returned.
inline int Run_Until_End(void (*loop)()) {
    try {
        loop();
    } catch (const Program_End& end) {
        return end.status;
    }
    return -1;
}

// Calls `frame` once at the start of each frame (its first yield) with the number of the frame
// about to run, 1 for the first; the yields of sends inside a frame are passed to `inner`.
// A run that goes on past `limit` frames is ended with Escape.
inline void Script_Frames(Headless_Window& window, std::function<void(Headless_Window&, int)> frame,
                          std::function<void(Headless_Window&)> inner = nullptr, int limit = 2000) {
    auto last = std::make_shared<int64_t>(-1);
    window.on_poll = [=](Headless_Window& w, int64_t) {
        if (w.frames_presented == *last) {
            if (inner) inner(w);
            return;
        }
        *last = w.frames_presented;
        const int number = int(w.frames_presented) + 1;
        if (number > limit) w.held.insert(VK_ESCAPE);
        frame(w, number);
    };
}

inline int Count_Of(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

inline std::string Wire(const std::u16string& text) { return To_Cp950(text); }
