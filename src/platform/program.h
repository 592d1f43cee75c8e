// program.h -- how a run of the program ends: the orderly quit, fatal errors and their codes.
// Every layer may end the program; the error screen that shows a fatal error sits high above,
// so main installs it here as a hook.
#pragma once
#include <cstdint>
#include <string>

#include "platform/error_codes.h"

// Thrown to end the program: it unwinds every nested screen to main, which exits with status.
// Nothing else may catch it (catch blocks name the exceptions they handle).
struct Program_End {
    int status = 0;
};

struct Program_State {
    // Set when the error screen opens: the frame loops stop and a closing socket stays silent.
    bool Quitting = false;
    // Shows a fatal error and ends the program; installed by main (the error screen), or by a
    // test that records the error. It must not return.
    void (*raise)(int16_t code, const std::u16string& text) = nullptr;
};
extern Program_State Program;
void Reset_Program();

// Hands a fatal error to the installed hook. Without one (or should it return) the error goes to
// standard error and the program ends with status 1. Does not return.
[[noreturn]] void Raise_Error(int16_t code, const std::u16string& text);
// Closes the socket and ends the program with status 0.
[[noreturn]] void Quit_Program();
