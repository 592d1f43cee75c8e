// program.cpp -- the end of the program and the fatal-error hook.
#include "platform/program.h"

#include <cstdio>

#include "platform/encoding.h"
#include "platform/platform.h"

Program_State Program;

void Reset_Program() { Program = Program_State{}; }

void Raise_Error(int16_t code, const std::u16string& text) {
    if (Program.raise) Program.raise(code, text);
    std::fprintf(stderr, "isoclient: error %d: %s\n", int(code), To_Utf8(text).c_str());
    throw Program_End{1};
}

void Quit_Program() {
    if (Platform.socket) Platform.socket->Close();
    throw Program_End{0};
}
