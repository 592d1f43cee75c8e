// errors.cpp -- error messages, the error screen, the orderly end of the program and the error log.
#include "errors/errors.h"

#include <filesystem>
#include <fstream>
#include <string>

#include "display/display.h"
#include "game/input.h"
#include "loading/bitmap.h"
#include "platform/encoding.h"
#include "platform/platform.h"

static std::u16string Decimal(int32_t value) { return From_Utf8(std::to_string(value)); }

std::u16string Error_Message(int16_t code, const std::u16string& text) {
    switch (code) {
        case 10: return u"被管理者踢出遊戲";
        case 20: return u"斷線";
        case 100: return u"遊戲版本不相容";
        case 200: return u"找不到檔案 : " + text;
        case -32768: return u"其它錯誤 : " + text;
        default: return u"未知的錯誤";
    }
}

void Raise_Error(int16_t code, const std::u16string& text) {
    std::u16string message = Error_Message(code, text);
    // A kick or a lost connection is the server's doing, not a fault worth keeping.
    if (code != 10 && code != 20) Write_Error_Log(code, message);
    Show_Error_Screen(code, message);
}

void Show_Error_Screen(int16_t code, const std::u16string& message) {
    SetFont(Font_Spec{u"新細明體", 10, true});
    Load_Bitmap(u"images\\err.bmp", 0, Errors.Error_Box);
    const int32_t w = Errors.Error_Box.width, h = Errors.Error_Box.height;
    const int32_t x = 320 - w / 2, y = 240 - h / 2;
    const std::u16string code_line = u"編號 : " + Decimal(code);
    const std::u16string message_line = u"描述 : " + message;

    Errors.Quitting = true;
    int32_t frames = 0;
    for (;;) {
        // A further error raised in here opens its own screen, which never comes back.
        Do_Events();
        BltFast(Display.Back_Buffer, x, y, Errors.Error_Box, Rect{0, 0, w, h}, BLTFAST_SRCCOLORKEY_WAIT);
        Draw_Outlined_Text(int16_t(x + 10), int16_t(y + 10), code_line, Rgb(0, 0, 0), Rgb(255, 255, 255));
        Draw_Outlined_Text(int16_t(x + 10), int16_t(y + 30), message_line, Rgb(0, 0, 0), Rgb(255, 255, 255));
        Present_Frame();
        if (Input.Clicked && Point_In_Rect(Input.Mouse_X, Input.Mouse_Y, int16_t(x + 135), int16_t(y + 50),
                                           int16_t(x + 180), int16_t(y + 77)))
            throw Program_End{1};
        // Only ever compared with 100, so it stops there instead of running on for hours.
        if (frames <= 100) ++frames;
        Input.Clicked = false;
        if ((Key_Down(VK_RETURN) && frames > 100) || Key_Down(VK_ESCAPE)) Quit_Program();
    }
}

void Quit_Program() {
    if (Platform.socket) Platform.socket->Close();
    throw Program_End{0};
}

std::u16string Error_Log_Name(const std::tm& t) {
    return Decimal(t.tm_year + 1900) + Decimal(t.tm_mon + 1) + Decimal(t.tm_mday) + u"_" + Decimal(t.tm_hour) +
           u"時" + Decimal(t.tm_min) + u"分" + u".txt";
}

void Write_Error_Log(int16_t code, const std::u16string& message) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return;
    const std::filesystem::path folder = std::filesystem::path(Platform.program_folder) / "Err";
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) std::filesystem::create_directory(folder, ec);

    // A log that cannot be written is skipped: the error screen matters more than the record.
    std::ofstream log(folder / To_Utf8(Error_Log_Name(local)), std::ios::binary | std::ios::app);
    if (!log) return;
    const std::string lines = To_Cp950(u"錯誤編號 : " + Decimal(code)) + "\r\n" +
                              To_Cp950(u"事件描述 : " + message) + "\r\n" + std::string(82, '-') + "\r\n";
    log.write(lines.data(), std::streamsize(lines.size()));
}
