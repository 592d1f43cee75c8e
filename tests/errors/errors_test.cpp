// errors_test.cpp -- the error log's name, encoding and appending, and the error
// screen driven headless: keys, the confirm area, and what it draws.
#include <algorithm>
#include <array>

#include "display/bitmap.h"
#include "errors/program_folder.h"
#include "net/net.h"
#include "scene/small_world.h"

namespace {

TEST(Error_Log_Name, Numbers_Without_Zero_Padding) {
    // 11 January and 1 November share one name: kept, the names stored logs have always had.
    auto name = [](int year, int mon, int day, int hour, int min) {
        std::tm t{};
        std::tie(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min) =
            std::tuple(year - 1900, mon - 1, day, hour, min);
        return To_Utf8(Error_Log_Name(t));
    };
    EXPECT_EQ(name(2025, 12, 31, 23, 59), "20251231_23時59分.txt");
    EXPECT_EQ(name(2024, 1, 11, 0, 0), name(2024, 11, 1, 0, 0));
}

using Error_Log = Program_Folder_Test;

TEST_F(Error_Log, Entries_In_Code_Page_950_With_Crlf_Append_To_The_File_Of_The_Minute_But_Not_All) {
    window.held.insert(VK_ESCAPE);
    std::tie(window.local_time.tm_year, window.local_time.tm_mon, window.local_time.tm_mday) = std::tuple(126, 6, 5);
    std::tie(window.local_time.tm_hour, window.local_time.tm_min) = std::tuple(9, 4);
    EXPECT_EQ(Run_Until_End([] { Raise_Error(200, u"images\\load_s.bmp"); }), 0);
    EXPECT_EQ(Run_Until_End([] { Raise_Error(100, u""); }), 0);
    const std::u16string two = Only_Log();
    EXPECT_TRUE(fs::exists(folder / "Err" / u8"202675_9時4分.txt"));
    EXPECT_EQ(two, Log_Entry(200, u"找不到檔案 : images\\load_s.bmp") + Log_Entry(100, u"遊戲版本不相容"));
    // A line break inside a message goes in unchanged: this entry is four lines long.
    EXPECT_EQ(Run_Until_End([] { Raise_Error(-32768, u"第一行\r\n第二行"); }), 0);
    EXPECT_EQ(Only_Log(), two + Log_Entry(-32768, u"其它錯誤 : 第一行\r\n第二行"));
    // The next minute starts a file of its own.
    window.local_time.tm_min = 5;
    EXPECT_EQ(Run_Until_End([] { Raise_Error(100, u""); }), 0);
    EXPECT_EQ(Only_Log(), u"2 files");

    // Kicks and lost connections are not logged; a log that cannot be written (a plain file where
    // the folder should be) is skipped. Each error still shows its screen.
    fs::remove_all(folder / "Err");
    EXPECT_EQ(Run_Until_End([] { Raise_Error(10, u"x"); }), 0);
    EXPECT_EQ(Run_Until_End([] { Raise_Error(20, u""); }), 0);
    EXPECT_EQ(Only_Log(), u"0 files");
    std::ofstream(folder / "Err") << "in the way";
    window.frames_presented = 0;
    EXPECT_EQ(Run_Until_End([] { Raise_Error(200, u"images\\x.bmp"); }), 0);
    EXPECT_TRUE(fs::is_regular_file(folder / "Err"));
    EXPECT_EQ(window.frames_presented, 1);
}

class Error_Screen : public Program_Folder_Test {
protected:
    Surface box;
    int box_x = 0, box_y = 0;
    const uint16_t backdrop = Color_To_Pixel(Rgb(0, 128, 64));

    void SetUp() override {
        Program_Folder_Test::SetUp();
        Install_Input_Handlers();
        Load_Bitmap(u"images\\err.bmp", 0, box);
        box_x = 320 - box.width / 2;
        box_y = 240 - box.height / 2;
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
    }
};

// Enter held from the start ends the program after the 101st frame, Escape at once. Only a
// click strictly inside the confirm area ends it, with status 1 and without closing the socket;
// a click anywhere else does nothing, and Escape, pressed in the third frame, quits.
TEST_F(Error_Screen, Keys_And_Clicks_On_The_Confirm_Area) {
    const int left = box_x + 135, top = box_y + 50, right = box_x + 180, bottom = box_y + 77;
    const int mid_y = (top + bottom) / 2;   // (which edges are outside is Point_In_Rect's test)
    // The key held from the start, the click, the status and the frames shown.
    const std::tuple<int, int, int, int, int> cases[] = {
        {VK_RETURN, -1, -1, 0, 101}, {VK_ESCAPE, -1, -1, 0, 1},    {0, left, mid_y, 0, 3},
        {0, left - 30, mid_y, 0, 3}, {0, left + 1, top + 1, 1, 1}, {0, right - 1, bottom - 1, 1, 1}};
    Platform.socket = &socket;
    for (auto [key, x, y, status, frames] : cases) {
        Reset_Input();
        socket.Connect("host", 1);
        window.held = {key};
        window.frames_presented = window.polls = 0;
        window.on_poll = [key, x, y](Headless_Window& w, int64_t poll) {
            if (poll == 1 && x >= 0) w.Click_At(int16_t(x), int16_t(y));
            if (poll == 3 && !key) w.held.insert(VK_ESCAPE);
        };
        EXPECT_EQ(Run_Until_End([] { Show_Error_Screen(200, u"找不到檔案 : a"); }), status) << x << "," << y;
        EXPECT_EQ(window.frames_presented, frames) << x << "," << y;
        EXPECT_EQ(socket.connected, status == 1) << x << "," << y;
        EXPECT_TRUE(Program.Quitting && (status == 1 || !Input.Clicked));   // a click that did nothing is cleared
    }
}

TEST_F(Error_Screen, Error_200_Draws_The_Box_Centred_With_Both_Lines_Boxes_Of_Any_Size_Centre) {
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_Until_End([] { Raise_Error(200, u"images\\load_s.bmp"); }), 0);
    const Surface& frame = window.last_frame;
    EXPECT_EQ(Display.font, (Font_Spec{u"新細明體", 10, true}));
    // Below the text the box is copied pixel for pixel; its see-through corners show the backdrop.
    int mismatches = 0, see_through = 0;
    for (int y = 50; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x) {
            see_through += box.At(x, y) == 0;
            mismatches += frame.At(box_x + x, box_y + y) != (box.At(x, y) ? box.At(x, y) : backdrop);
        }
    EXPECT_TRUE(mismatches == 0 && see_through > 0) << mismatches;

    // Both lines in white with a black outline, from x + 10; the file name makes the second the
    // longer: "編號 : 200" and "描述 : 找不到檔案 : images\load_s.bmp", which fits in the box.
    for (auto [top, min_end, max_end] : {std::array{8, 40, 110}, {28, 180, int(box.width)}}) {
        int first = box.width, last = -1, whites = 0, blacks = 0;
        for (int y = box_y + top; y < box_y + top + 20; ++y)
            for (int x = 0; x < box.width; ++x) {
                const bool white = frame.At(box_x + x, y) == 0xFFFF;
                if (white) std::tie(first, last) = std::pair(std::min(first, x), std::max(last, x));
                whites += white;
                blacks += frame.At(box_x + x, y) == 0;
            }
        EXPECT_TRUE(first >= 10 && first <= 14 && last > min_end && last < max_end && whites > 30 && blacks > 30)
            << top << ": " << first << " " << last << " " << whites << " " << blacks;
    }

    // Boxes of other sizes are centred with halves dropped.
    const uint16_t colour = Color_To_Pixel(Rgb(40, 80, 160));
    for (auto [w, h, x, y] : {std::array{201, 51, 220, 215}, {200, 50, 220, 215}, {641, 1, 0, 240}}) {
        Write_Bmp(folder / "images" / "err.bmp", Solid(w, h, {40, 80, 160}));
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
        EXPECT_EQ(Run_Until_End([] { Show_Error_Screen(20, u""); }), 0);
        EXPECT_EQ(frame.At(std::min(x + w - 1, 639), y + h - 1), colour) << w;
        EXPECT_EQ(frame.At(std::max(x - 1, 0), y), x > 0 ? backdrop : colour) << w;
        EXPECT_EQ(frame.At(x + w / 2, y > 0 ? y - 1 : y + h), backdrop) << w;
    }
}

// The message of a refused server key is wider than the screen: it goes on in lines under the
// box, none past the screen's right edge, so the player reads what to do to its end.
TEST_F(Error_Screen, A_Message_Wider_Than_The_Screen_Goes_On_Under_The_Box) {
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_Until_End([] {
                  Show_Error_Screen(-32768, u"其它錯誤 : " + Key_Refused_Text("127.0.0.1", 7000, "changed SHA256:0"));
              }),
              0);
    const Surface& frame = window.last_frame;
    EXPECT_GT(small_world::Count_Pixels(frame, 0xFFFF, Rect{0, box_y + box.height, 640, 480}), 200);
    EXPECT_EQ(small_world::Count_Pixels(frame, 0xFFFF, Rect{632, box_y + 28, 640, 480}), 0);   // past the edge
}

}   // namespace
