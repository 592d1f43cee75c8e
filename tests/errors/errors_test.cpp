// errors_test.cpp -- error messages, the error log's name, encoding and appending, and the error
// screen driven headless: keys, the confirm area, and what it draws.
#include <algorithm>
#include <array>

#include "errors/program_folder.h"
#include "loading/bitmap.h"

namespace {

TEST(Error_Message, Code_Table_Decides_The_Message) {
    struct Case {
        int16_t code;
        std::u16string text, message;
    };
    const Case cases[] = {
        {10, u"ignored", u"被管理者踢出遊戲"},
        {20, u"", u"斷線"},
        {100, u"0.2", u"遊戲版本不相容"},
        {200, u"images\\load_s.bmp", u"找不到檔案 : images\\load_s.bmp"},
        {200, u"", u"找不到檔案 : "},
        {-32768, u"伺服器忙碌", u"其它錯誤 : 伺服器忙碌"},
        {7, u"dropped", u"未知的錯誤"},
        {0, u"", u"未知的錯誤"},
        {-1, u"x", u"未知的錯誤"},
        {32767, u"x", u"未知的錯誤"},
    };
    for (const Case& c : cases) EXPECT_EQ(Error_Message(c.code, c.text), c.message) << "code " << c.code;
}

std::tm Local(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return t;
}

TEST(Error_Log_Name, Numbers_Without_Zero_Padding) {
    EXPECT_EQ(Error_Log_Name(Local(2026, 7, 5, 9, 4)), u"202675_9時4分.txt");
    EXPECT_EQ(Error_Log_Name(Local(2025, 12, 31, 23, 59)), u"20251231_23時59分.txt");
    EXPECT_EQ(Error_Log_Name(Local(2026, 1, 1, 0, 0)), u"202611_0時0分.txt");
    // 11 January and 1 November share a name: their entries land in one file.
    EXPECT_EQ(Error_Log_Name(Local(2024, 1, 11, 0, 0)), Error_Log_Name(Local(2024, 11, 1, 0, 0)));
    EXPECT_NE(Error_Log_Name(Local(2024, 1, 11, 0, 0)), Error_Log_Name(Local(2024, 1, 11, 0, 1)));
}

class Error_Log : public Program_Folder_Test {};

std::u16string Name_Now() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Error_Log_Name(local);
}

TEST_F(Error_Log, Entry_Is_Code_Page_950_With_Crlf_Named_By_The_Clock) {
    window.held.insert(VK_ESCAPE);
    const std::string before = To_Utf8(Name_Now());
    EXPECT_EQ(Run_To_End([] { Raise_Error(200, u"images\\load_s.bmp"); }), 0);
    const std::string after = To_Utf8(Name_Now());

    auto files = Log_Files();
    ASSERT_EQ(files.size(), 1u);
    const std::string& name = files.begin()->first;
    EXPECT_TRUE(name == before || name == after) << name;
    const std::string& bytes = files.begin()->second;
    // Big5 bytes of "錯誤編號 : 200" and the start of the second line.
    const std::string head = "\xBF\xF9\xBB\x7E\xBD\x73\xB8\xB9 : 200\r\n\xA8\xC6\xA5\xF3\xB4\x79\xAD\x7A : ";
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    EXPECT_EQ(From_Cp950(bytes), Log_Entry(200, u"找不到檔案 : images\\load_s.bmp"));
    EXPECT_EQ(bytes.substr(bytes.size() - 84), std::string(82, '-') + "\r\n");
}

TEST_F(Error_Log, Two_Errors_In_A_Minute_Append_Six_Lines_To_One_File) {
    window.held.insert(VK_ESCAPE);
    // Should the clock pass a minute between the two errors, start again (at most twice).
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::error_code ec;
        fs::remove_all(folder / "Err", ec);
        EXPECT_EQ(Run_To_End([] { Raise_Error(100, u""); }), 0);
        EXPECT_EQ(Run_To_End([] { Raise_Error(-32768, u"第一行\r\n第二行"); }), 0);
        if (Log_Files().size() == 1) break;
    }
    auto log = Only_Log();
    ASSERT_TRUE(log.has_value());
    // A line break inside a message goes in unchanged: this entry is four lines long.
    EXPECT_EQ(*log, Log_Entry(100, u"遊戲版本不相容") + Log_Entry(-32768, u"其它錯誤 : 第一行\r\n第二行"));
    EXPECT_EQ(std::count(log->begin(), log->end(), u'\n'), 7);
}

TEST_F(Error_Log, Kicks_And_Lost_Connections_Are_Not_Logged) {
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_To_End([] { Raise_Error(10, u"x"); }), 0);
    EXPECT_EQ(Run_To_End([] { Raise_Error(20, u""); }), 0);
    EXPECT_TRUE(Log_Files().empty());
    EXPECT_EQ(window.frames_presented, 2);   // both still showed their screen
    EXPECT_EQ(Run_To_End([] { Raise_Error(7, u"dropped"); }), 0);
    EXPECT_EQ(Only_Log(), Log_Entry(7, u"未知的錯誤"));
}

TEST_F(Error_Log, A_Log_That_Cannot_Be_Written_Still_Shows_The_Screen) {
    // A plain file where the folder should be: neither the folder nor the file can be made.
    std::ofstream(folder / "Err") << "in the way";
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_To_End([] { Raise_Error(200, u"images\\x.bmp"); }), 0);
    EXPECT_EQ(window.frames_presented, 1);
    EXPECT_TRUE(fs::is_regular_file(folder / "Err"));
}

class Error_Screen : public Program_Folder_Test {
protected:
    int box_x = 0, box_y = 0, box_w = 0, box_h = 0;

    void SetUp() override {
        Program_Folder_Test::SetUp();
        Install_Input_Handlers();
        Surface box;
        Load_Bitmap(u"images\\err.bmp", 0, box);
        box_w = box.width;
        box_h = box.height;
        box_x = 320 - box_w / 2;
        box_y = 240 - box_h / 2;
    }
};

TEST_F(Error_Screen, Enter_Waits_For_Frame_101_Escape_Works_At_Once) {
    window.held.insert(VK_RETURN);
    EXPECT_EQ(Run_To_End([] { Show_Error_Screen(20, u"斷線"); }), 0);
    EXPECT_EQ(window.frames_presented, 101);
    EXPECT_TRUE(Errors.Quitting);

    window.frames_presented = 0;
    window.held = {VK_ESCAPE};
    EXPECT_EQ(Run_To_End([] { Show_Error_Screen(20, u"斷線"); }), 0);
    EXPECT_EQ(window.frames_presented, 1);
}

TEST_F(Error_Screen, Quit_Closes_The_Socket_The_Confirm_Click_Does_Not) {
    Platform.socket = &socket;
    socket.Connect("host", 1);
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_To_End([] { Show_Error_Screen(10, u"被管理者踢出遊戲"); }), 0);
    EXPECT_FALSE(socket.connected);

    socket.Connect("host", 1);
    window.held.clear();
    window.Click_At(int16_t(box_x + 150), int16_t(box_y + 60));
    EXPECT_EQ(Run_To_End([] { Show_Error_Screen(10, u"被管理者踢出遊戲"); }), 1);
    EXPECT_TRUE(socket.connected);
}

TEST_F(Error_Screen, Only_A_Click_Strictly_Inside_The_Confirm_Area_Ends_With_Status_1) {
    const int left = box_x + 135, top = box_y + 50, right = box_x + 180, bottom = box_y + 77;
    const int mid_x = (left + right) / 2, mid_y = (top + bottom) / 2;
    struct Case {
        int x, y, status;
    };
    const Case cases[] = {
        {left, mid_y, 0},      {right, mid_y, 0},      {mid_x, top, 0},       {mid_x, bottom, 0},
        {left - 30, mid_y, 0}, {left + 1, top + 1, 1}, {right - 1, bottom - 1, 1}, {mid_x, mid_y, 1},
    };
    for (const Case& c : cases) {
        Reset_Input();
        window.held.clear();
        window.frames_presented = 0;
        // Click in the first frame; a click that does nothing is followed by Escape in the third.
        window.on_poll = [c](Headless_Window& w, int64_t poll) {
            if (poll == 1) w.Click_At(int16_t(c.x), int16_t(c.y));
            if (poll == 3) w.held.insert(VK_ESCAPE);
        };
        window.polls = 0;
        EXPECT_EQ(Run_To_End([] { Show_Error_Screen(200, u"找不到檔案 : a"); }), c.status) << c.x << "," << c.y;
        EXPECT_EQ(window.frames_presented, c.status == 1 ? 1 : 3) << c.x << "," << c.y;
        if (c.status == 0) {
            EXPECT_FALSE(Input.Clicked);   // cleared once the frame has looked at it
        }
    }
}

// Columns of the frame's row band [top, bottom) within [left, right) holding white text pixels.
std::pair<int, int> White_Span(const Surface& frame, int left, int right, int top, int bottom, int& whites,
                               int& blacks) {
    int first = -1, last = -1;
    whites = blacks = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            uint16_t p = frame.At(x, y);
            if (p == 0xFFFF) {
                ++whites;
                if (first < 0 || x < first) first = x;
                last = std::max(last, x);
            }
            if (p == 0) ++blacks;
        }
    return {first, last};
}

TEST_F(Error_Screen, Error_200_Draws_The_Box_Centred_With_Both_Lines) {
    const uint16_t backdrop = Color_To_Pixel(Rgb(0, 128, 64));
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
    window.held.insert(VK_ESCAPE);
    EXPECT_EQ(Run_To_End([] { Raise_Error(200, u"images\\load_s.bmp"); }), 0);
    ASSERT_EQ(window.frames_presented, 1);
    const Surface& frame = window.last_frame;
    const Surface& box = Errors.Error_Box;
    ASSERT_EQ(box.width, box_w);
    EXPECT_EQ(Display.font, (Font_Spec{u"新細明體", 10, true}));

    // Just outside the box the backdrop is untouched.
    EXPECT_EQ(frame.At(box_x - 1, box_y + box_h / 2), backdrop);
    EXPECT_EQ(frame.At(box_x + box_w, box_y + box_h / 2), backdrop);
    EXPECT_EQ(frame.At(box_x + box_w / 2, box_y - 1), backdrop);
    EXPECT_EQ(frame.At(box_x + box_w / 2, box_y + box_h), backdrop);
    // Below the text the box is copied pixel for pixel; its see-through corners show the backdrop.
    int mismatches = 0, see_through = 0;
    for (int y = 50; y < box_h; ++y)
        for (int x = 0; x < box_w; ++x) {
            uint16_t want = box.At(x, y) == 0 ? backdrop : box.At(x, y);
            see_through += box.At(x, y) == 0;
            mismatches += frame.At(box_x + x, box_y + y) != want;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(see_through, 0);

    // Both lines in white with a black outline; the file name makes the second line the longer.
    int whites1, blacks1, whites2, blacks2;
    auto [first1, last1] = White_Span(frame, box_x, box_x + box_w, box_y + 8, box_y + 28, whites1, blacks1);
    auto [first2, last2] = White_Span(frame, box_x, box_x + box_w, box_y + 28, box_y + 48, whites2, blacks2);
    EXPECT_GT(whites1, 30);
    EXPECT_GT(blacks1, 30);
    EXPECT_GT(whites2, 100);
    EXPECT_GT(blacks2, 100);
    EXPECT_GE(first1, box_x + 10);
    EXPECT_LE(first1, box_x + 14);
    EXPECT_GE(first2, box_x + 10);
    EXPECT_LE(first2, box_x + 14);
    EXPECT_LT(last1, box_x + 110);                 // "編號 : 200"
    EXPECT_GT(last2, box_x + 180);                 // "描述 : 找不到檔案 : images\load_s.bmp"
    EXPECT_LT(last2, box_x + box_w);               // and it fits in the box
}

TEST_F(Error_Screen, Odd_Sizes_Centre_With_Halves_Dropped) {
    const Rgb24 colour{40, 80, 160};
    const uint16_t backdrop = Color_To_Pixel(Rgb(0, 128, 64));
    window.held.insert(VK_ESCAPE);
    for (auto [w, h, x, y] : {std::array{201, 51, 220, 215}, std::array{200, 50, 220, 215}, std::array{641, 1, 0, 240}}) {
        Write_Bmp(folder / "images" / "err.bmp", Solid(w, h, colour));
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
        EXPECT_EQ(Run_To_End([] { Show_Error_Screen(20, u""); }), 0);
        const Surface& frame = window.last_frame;
        EXPECT_EQ(frame.At(x + w - 1 < 640 ? x + w - 1 : 639, y + h - 1), Color_To_Pixel(Rgb(40, 80, 160))) << w;
        if (x > 0) {
            EXPECT_EQ(frame.At(x - 1, y), backdrop) << w;
        }
        EXPECT_EQ(frame.At(x + w / 2, y > 0 ? y - 1 : y + h), backdrop) << w;
    }
}

}  // namespace
