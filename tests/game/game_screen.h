// game_screen.h -- helpers for driving the frame loops of the game and login screens headless.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "fixture.h"

// Runs frames 1 to `last` of a loop and then holds Escape. Calls `frame` once at the start of each
// frame (its first yield) with the number of the frame about to run; the yields of sends inside
// a frame are passed to `inner`.
inline void Script_Frames(Headless_Window& window, int last, std::function<void(Headless_Window&, int)> frame,
                          std::function<void(Headless_Window&)> inner = nullptr) {
    auto previous = std::make_shared<int64_t>(-1);
    window.on_poll = [=](Headless_Window& w, int64_t) {
        if (w.frames_presented == *previous) {
            if (inner) inner(w);
            return;
        }
        *previous = w.frames_presented;
        if (w.frames_presented >= last) w.held.insert(VK_ESCAPE);
        frame(w, int(w.frames_presented) + 1);
    };
}

inline int Count_Of(const std::string& haystack, const std::string& needle) {
    int n = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}
