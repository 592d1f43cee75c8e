// fixture.h -- the common test fixture: every module reset, a headless window with a fake clock,
// the program folder set to the build's output folder (which holds the generated content).
#pragma once
#include <gtest/gtest.h>

#include <functional>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/path.h"
#include "characters/player.h"
#include "display/display.h"
#include "errors/errors.h"
#include "game/chat.h"
#include "game/game.h"
#include "game/picking.h"
#include "loading/loading.h"
#include "login/login.h"
#include "map/map.h"
#include "net/net.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "scene/scene.h"
#include "ui/input.h"
#include "ui/timer.h"

// Every module back to its start, with the hooks main installs: raised errors open the error
// screen and "/plstart" starts the loading screen and the game.
inline void Reset_All_Modules() {
    Reset_Platform();
    Reset_Program();
    Reset_Display();
    Reset_Errors();
    Reset_Input();
    Reset_Timer();
    Reset_Map();
    Reset_Scene();
    Reset_Animations();
    Reset_Characters();
    Reset_Path();
    Reset_Net();
    Reset_Loading();
    Reset_Chat();
    Reset_Picking();
    Reset_Game();
    Install_Error_Screen();
    Net.Hooks.Start_Game = Start_Game;
}

// Runs the call, which must end the program: the status it ends with, or -1 when it returned.
inline int Run_Until_End(const std::function<void()>& call) try {
    call();
    return -1;
} catch (const Program_End& end) { return end.status; }

class Headless_Test : public ::testing::Test {
protected:
    Headless_Window window;
    Scripted_Socket socket;

    void SetUp() override {
        Reset_All_Modules();
        Platform.window = &window;
        Platform.program_folder = ISO_OUT_DIR;
    }
    void TearDown() override { Reset_All_Modules(); }
};
