// errors.cpp -- error messages, the error screen and the error log.
#include "errors/errors.h"

#include <string>

#include "display/bitmap.h"
#include "display/display.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "ui/input.h"
#include "ui/screen.h"

Errors_State Errors;

void Reset_Errors() { Errors = Errors_State{}; }

std::u16string Error_Message(int16_t code, const std::u16string& text) {
    switch (code) {
        case ERROR_KICKED: return u"被管理者踢出遊戲";
        case ERROR_DISCONNECTED: return u"斷線";
        case ERROR_VERSION: return u"遊戲版本不相容";
        case ERROR_FILE_MISSING: return u"找不到檔案 : " + text;
        case ERROR_OTHER: return u"其它錯誤 : " + text;
        default: return u"未知的錯誤";
    }
}

void Report_Error(int16_t code, const std::u16string& text) {
    const std::u16string message = Error_Message(code, text);
    // A kick or a lost connection is the server's doing, not a fault worth keeping.
    if (code != ERROR_KICKED && code != ERROR_DISCONNECTED) Write_Error_Log(code, message, Local_Time());
    Show_Error_Screen(code, message);
}

void Install_Error_Screen() { Program.raise = Report_Error; }

std::vector<std::u16string> Wrap_Text(const std::u16string& text, int32_t width) {
    std::vector<std::u16string> lines(1);
    for (const char16_t c : text) {
        // A surrogate pair stays whole: its second half never starts a line.
        const bool second_half = c >= 0xDC00 && c <= 0xDFFF;
        if (!second_half && !lines.back().empty() && Text_Width(lines.back() + c) > width) lines.emplace_back();
        lines.back() += c;
    }
    return lines;
}

void Show_Error_Screen(int16_t code, const std::u16string& message) {
    SetFont(Font_Spec{u"新細明體", 10, true});
    // Without its picture there is nothing to show; a damaged one would only bring the error
    // screen straight back here.
    if (Load_Bitmap(u"images\\err.bmp", 0, Errors.Error_Box) != Bitmap_Status::Loaded) Quit_Program();
    const int32_t w = Errors.Error_Box.width, h = Errors.Error_Box.height;
    const int32_t x = 320 - w / 2, y = 240 - h / 2;
    const std::u16string code_line = u"編號 : " + Decimal(code);
    // A message wider than the screen goes on in lines under the box instead of off its edge.
    const std::vector<std::u16string> message_lines = Wrap_Text(u"描述 : " + message, 630 - (x + 10));
    const int32_t line_height = int32_t(Text_Height(u"描")) + 2;

    Program.Quitting = true;
    int32_t frames = 0;
    // A further error raised in here opens its own screen, which never comes back.
    const auto draw = [&] {
        BltFast(Display.Back_Buffer, x, y, Errors.Error_Box, Rect{0, 0, w, h}, BLTFAST_SRCCOLORKEY_WAIT);
        Draw_Outlined_Text(int16_t(x + 10), int16_t(y + 10), code_line, Rgb(0, 0, 0), Rgb(255, 255, 255));
        for (size_t i = 0; i < message_lines.size(); ++i)
            Draw_Outlined_Text(int16_t(x + 10), int16_t(i == 0 ? y + 30 : y + h + 4 + int32_t(i - 1) * line_height),
                               message_lines[i], Rgb(0, 0, 0), Rgb(255, 255, 255));
        return true;
    };
    // The screen is on show before a click or a key can end it.
    const auto check = [&] {
        if (Input.Clicked && Point_In_Rect(Input.Mouse_X, Input.Mouse_Y, int16_t(x + 135), int16_t(y + 50),
                                           int16_t(x + 180), int16_t(y + 77)))
            throw Program_End{1};
        // Only ever compared with 100, so it stops there instead of running on for hours.
        if (frames <= 100) ++frames;
        if ((Key_Down(VK_RETURN) && frames > 100) || Key_Down(VK_ESCAPE)) Quit_Program();
    };
    Run_Screen(draw, 0, false, check);
    Quit_Program();   // the loop above only ends through the program's end
}

// No zero padding, so 11 January and 1 November both give "2026111_...": kept on purpose, since
// the logs already stored are named so and readers of them expect it.
std::u16string Error_Log_Name(const std::tm& t) {
    return Decimal(t.tm_year + 1900) + Decimal(t.tm_mon + 1) + Decimal(t.tm_mday) + u"_" + Decimal(t.tm_hour) + u"時" +
           Decimal(t.tm_min) + u"分" + u".txt";
}

void Write_Error_Log(int16_t code, const std::u16string& message, const std::tm& local_time) {
    const std::string folder = Platform.program_folder + "/Err";
    if (!Folder_Exists(folder)) Make_Folder(folder);
    // A log that cannot be written is skipped: the error screen matters more than the record.
    const std::string lines = To_Cp950(u"錯誤編號 : " + Decimal(code)) + "\r\n" + To_Cp950(u"事件描述 : " + message) +
                              "\r\n" + std::string(82, '-') + "\r\n";
    Append_To_File(folder + "/" + To_Utf8(Error_Log_Name(local_time)), lines);
}
