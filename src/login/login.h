// login.h -- the login screen, the first screen of the program.
#pragma once
#include <cstdint>
#include <string>

#include "display/display.h"
#include "platform/surface.h"
#include "ui/text_entry.h"

// The screen's state; Login_Screen fills it anew each time it starts.
struct Login_State {
    Font_Spec Login_Font;
    Surface Login_Background;   // "images\login.bmp"
    Surface Login_Button;       // "images\login_enter.bmp", the lit button
    Rect Login_Boxes[3];        // 0 the button, 1 the identifier field, 2 the password field
    Text_Entry Fields[2];       // identifier, password
    int16_t Focus = 1;          // 1 identifier, 2 password, 3 button, 0 nothing
    int16_t Tab_Latch = 0;      // a key latch (ui/text_entry.h) for Tab
    bool Connecting = false;    // a confirm has opened the connection to the server
};
extern Login_State Login;

// Runs the screen until the game it starts returns (or the program ends). With a server given
// (Net.Server_Host), confirming opens the connection and the screen keeps running while the
// handshake goes on; the game then starts from the dispatcher. Escape ends the program.
void Login_Screen();
// Runs the loading screen and the game loop: how a game starts, from this screen offline or from
// the dispatcher's "/plstart".
void Start_Game();
