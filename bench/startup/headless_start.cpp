// headless_start.cpp -- the client's start without a window, for BM_Headless_Start: the login
// screen (its pictures and fonts), a typed login, the loading screen (map, characters,
// animations, their pictures) and the first frame of the game, driven headless. Prints the
// milliseconds from the start of main to the login screen's first frame and to the game's.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "errors/errors.h"
#include "login/login.h"
#include "net/net.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "ui/input.h"

int main() {
    const auto start = std::chrono::steady_clock::now();
    auto ms = [&start] {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    if (chdir(ISO_OUT_DIR) != 0) return 2;
    Headless_Window window;
    window.ms_per_poll = 5;   // the login screen's 20 ms frame wait passes on the fake clock
    Platform.window = &window;
    Platform.program_folder = ISO_OUT_DIR;
    Install_Input_Handlers();
    Install_Error_Screen();
    Net.Hooks.Start_Game = Start_Game;

    double login_shown = -1, game_shown = -1;
    bool game_running = false;
    window.on_poll = [&](Headless_Window& w, int64_t poll) {
        if (w.frames_presented > 0 && login_shown < 0) login_shown = ms();
        if (poll == 2) w.Type(u"me"), w.Press(13), w.Type(u"pw"), w.Press(13);
        // The game's first poll opens its first frame; at its second that frame has been shown.
        if (!Net.Link.In_Game || game_shown >= 0) return;
        if (game_running) {
            game_shown = ms();
            w.held.insert(VK_ESCAPE);
        }
        game_running = true;
    };
    int status = 0;
    try {
        Login_Screen();
    } catch (const Program_End& end) { status = end.status; }
    if (status != 0 || game_shown < 0) {
        std::fprintf(stderr, "headless_start: the game did not start (status %d)\n", status);
        return 1;
    }
    std::printf("%.2f %.2f\n", login_shown, game_shown);
    return 0;
}
