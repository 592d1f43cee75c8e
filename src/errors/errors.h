// errors.h -- the error messages, the error screen that ends the program, and the error log.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/program.h"
#include "platform/surface.h"

struct Errors_State {
    Surface Error_Box;   // "images\err.bmp"
};
extern Errors_State Errors;
void Reset_Errors();

// The message the error screen shows and the log records for a code and its text.
std::u16string Error_Message(int16_t code, const std::u16string& text);
// What a raised error does: logs it (all codes but 10 and 20) and opens the error screen.
[[noreturn]] void Report_Error(int16_t code, const std::u16string& text);
// Makes Raise_Error report through Report_Error.
void Install_Error_Screen();
// The text cut into lines no wider than width pixels in the current font (at least one
// character a line).
std::vector<std::u16string> Wrap_Text(const std::u16string& text, int32_t width);
// Shows the message until the user confirms (status 1) or presses Escape or Enter (status 0).
// Without its picture the program ends at once (status 0). Does not return.
[[noreturn]] void Show_Error_Screen(int16_t code, const std::u16string& message);

// Name of the log file for a local time, e.g. "202675_9時4分.txt".
std::u16string Error_Log_Name(const std::tm& local_time);
// Appends the three-line entry under <program folder>/Err, in the file named for local_time; a
// log that cannot be written is skipped.
void Write_Error_Log(int16_t code, const std::u16string& message, const std::tm& local_time);
