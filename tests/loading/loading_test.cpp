// loading_test.cpp -- the loading screen's frames and stages, first and later runs, on a copy of
// the generated content with plain test pictures for the background and the bar.
#include <algorithm>

#include "errors/program_folder.h"

namespace {

// Keeps every presented frame, not only the last.
class Recording_Window : public Headless_Window {
public:
    std::vector<Surface> frames;
    void Present(const Surface& back_buffer) override {
        Headless_Window::Present(back_buffer);
        frames.push_back(back_buffer);
    }
};

using Loading_Screen = Program_Folder_Test;

TEST_F(Loading_Screen, First_Run_Draws_Four_Frames_A_Later_Run_Two_And_A_Missing_Bar_Picture_None) {
    const uint16_t backdrop = Color_To_Pixel(Rgb(0, 128, 64)), background = Color_To_Pixel(Rgb(60, 90, 120)),
                   bar = Color_To_Pixel(Rgb(200, 40, 40));
    const int hole = 20;   // a black square at the background's top-left corner
    for (const char* content : {"images", "data"})
        fs::copy(fs::path(ISO_OUT_DIR) / content, folder / content,
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Picture picture = Solid(640, 480, {60, 90, 120});
    for (int y = 0; y < hole; ++y) std::fill_n(picture[size_t(y)].begin(), hole, Rgb24{0, 0, 0});
    Write_Bmp(folder / "images" / "load_full.bmp", picture);
    Write_Bmp(folder / "images" / "load_s.bmp", Solid(145, 35, {200, 40, 40}));
    // The map and character files are read from the current folder.
    struct Restore {
        const fs::path old = fs::current_path();
        ~Restore() { fs::current_path(old); }
    } restore;
    fs::current_path(folder);
    Recording_Window recorder;
    recorder.held.insert(VK_ESCAPE);   // an error screen ends at once instead of waiting
    Platform.window = &recorder;
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);

    // The bar width of each frame drawn, or -1 for a frame that is not the background, the bar at
    // (310, 230) and the earlier screen through the black square.
    auto run = [&] {
        recorder.frames.clear();
        EXPECT_EQ(Run_Until_End(Show_Loading), -1) << To_Utf8(Only_Log());
        std::vector<int> widths;
        for (const Surface& frame : recorder.frames) {
            int width = 0;
            while (width < 330 && frame.pixels[230 * 640 + 310 + width] == bar) ++width;
            Surface want = Make_Surface(640, 480, background);
            BltColorFill(want, Rect{0, 0, hole, hole}, backdrop);
            BltColorFill(want, Rect{310, 230, 310 + width, 265}, bar);
            widths.push_back(frame.pixels == want.pixels ? width : -1);
        }
        return widths;
    };
    EXPECT_EQ(run(), (std::vector<int>{0, 29, 87, 145}));
    EXPECT_TRUE(Loading.Data_Loaded && Map.Map_Width > 0 && Chars.Direction_Steps[3].x == 1);   // direction 3 is (1, 0)
    EXPECT_EQ(std::pair(Loading.Status_Panel.width, Loading.Status_Panel.height), std::pair(640, 100));
    EXPECT_EQ(recorder.polls, 0);   // it never yields

    // Anything but the map would now fail to load and end the test with an error screen.
    fs::remove(folder / "data" / "testple.ple");
    fs::remove(folder / "images" / "s.bmp");
    Map.Map_Width = 0;
    EXPECT_EQ(run(), (std::vector<int>{0, 145}));
    EXPECT_GT(Map.Map_Width, 0);

    // Without the bar picture nothing is drawn before the error screen's one frame.
    fs::remove(folder / "images" / "load_s.bmp");
    recorder.frames.clear();
    EXPECT_EQ(Run_Until_End(Show_Loading), 0);
    EXPECT_EQ(recorder.frames.size(), 1u);
    EXPECT_EQ(Only_Log(), Log_Entry(200, u"找不到檔案 : images\\load_s.bmp"));
}

}   // namespace
