// errors.h -- the error codes, the error screen, the orderly end of the program and the error log.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "display/surface.h"

// Thrown to end the program: it unwinds every nested screen to main, which exits with status.
// Nothing else may catch it (catch blocks name the exceptions they handle).
struct Program_End {
    int status = 0;
};

struct Errors_State {
    bool Quitting = false;       // set when the error screen opens
    Surface Error_Box;           // "images\err.bmp"
};
extern Errors_State Errors;
void Reset_Errors();

// The message the error screen shows and the log records for a code and its text.
std::u16string Error_Message(int16_t code, const std::u16string& text);
// Logs (all codes but 10 and 20) and opens the error screen. Does not return.
[[noreturn]] void Raise_Error(int16_t code, const std::u16string& text);
[[noreturn]] void Show_Error_Screen(int16_t code, const std::u16string& message);
// Closes the socket and ends the program with status 0.
[[noreturn]] void Quit_Program();

// Name of the log file for a local time, e.g. "202675_9時4分.txt".
std::u16string Error_Log_Name(const std::tm& local_time);
// Appends the three-line entry under <program folder>/Err; a log that cannot be written is skipped.
void Write_Error_Log(int16_t code, const std::u16string& message);
