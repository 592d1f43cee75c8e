// loading_test.cpp -- the loading screen's frames and stages, first and later runs, on a copy of
// the generated content with plain test pictures for the background and the bar.
#include <unistd.h>

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

const Rgb24 BACKGROUND{60, 90, 120}, BAR{200, 40, 40};
const int HOLE = 20;   // a black square at the background's top-left corner

class Loading_Screen : public Program_Folder_Test {
protected:
    Recording_Window recorder;
    fs::path old_cwd;
    const uint16_t backdrop = Color_To_Pixel(Rgb(0, 128, 64));

    void SetUp() override {
        Program_Folder_Test::SetUp();
        const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
        fs::copy(fs::path(ISO_OUT_DIR) / "images", folder / "images", options);
        fs::copy(fs::path(ISO_OUT_DIR) / "data", folder / "data", options);
        auto background = Solid(640, 480, BACKGROUND);
        for (int y = 0; y < HOLE; ++y)
            for (int x = 0; x < HOLE; ++x) background[size_t(y)][size_t(x)] = {0, 0, 0};
        Write_Bmp(folder / "images" / "load_full.bmp", background);
        Write_Bmp(folder / "images" / "load_s.bmp", Solid(145, 35, BAR));
        // The map and character files are read from the current folder.
        old_cwd = fs::current_path();
        fs::current_path(folder);
        recorder.held.insert(VK_ESCAPE);   // an error screen would end at once instead of waiting
        Platform.window = &recorder;
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
    }
    void TearDown() override {
        fs::current_path(old_cwd);
        Program_Folder_Test::TearDown();
    }

    // Runs the loading screen; an error screen on the way is reported with its log entry.
    void Run_Loading() {
        if (Run_To_End([] { Show_Loading(); }) != -1)
            ADD_FAILURE() << "the loading screen ended the program: " << To_Utf8(Only_Log().value_or(u"(not logged)"));
    }

    // The frame shows the background, the bar `width` pixels wide at (310, 230), and the earlier
    // screen through the background's black square.
    void Expect_Frame(const Surface& frame, int width) {
        const uint16_t background = Color_To_Pixel(Rgb(BACKGROUND.r, BACKGROUND.g, BACKGROUND.b));
        const uint16_t bar = Color_To_Pixel(Rgb(BAR.r, BAR.g, BAR.b));
        int wrong = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                uint16_t want = background;
                if (x < HOLE && y < HOLE) want = backdrop;
                if (x >= 310 && x < 310 + width && y >= 230 && y < 265) want = bar;
                wrong += frame.At(x, y) != want;
            }
        EXPECT_EQ(wrong, 0) << "bar width " << width;
    }
};

TEST_F(Loading_Screen, First_Run_Draws_Four_Frames_As_The_Bar_Grows) {
    Run_Loading();
    ASSERT_EQ(recorder.frames.size(), 4u);
    const int widths[] = {0, 29, 87, 145};
    for (size_t i = 0; i < 4; ++i) Expect_Frame(recorder.frames[i], widths[i]);
    EXPECT_TRUE(Loading.Data_Loaded);
    EXPECT_EQ(Loading.Status_Panel.width, 640);
    EXPECT_EQ(Loading.Status_Panel.height, 100);
    EXPECT_GT(Map.Map_Width, 0);
    EXPECT_EQ(Chars.Direction_Steps[3].x, 1);   // direction 3 is (1, 0)
    EXPECT_EQ(recorder.polls, 0);               // it never yields
}

TEST_F(Loading_Screen, A_Later_Run_Reloads_Only_The_Map_In_Two_Frames) {
    Run_Loading();
    recorder.frames.clear();
    // Anything but the map would now fail to load and end the test with an error screen.
    fs::remove(folder / "data" / "testple.ple");
    fs::remove(folder / "images" / "s.bmp");
    Loading.Status_Panel.pixels.at(0) = 0x1234;
    Map.Map_Width = 0;

    Run_Loading();
    ASSERT_EQ(recorder.frames.size(), 2u);
    Expect_Frame(recorder.frames[0], 0);
    Expect_Frame(recorder.frames[1], 145);
    EXPECT_GT(Map.Map_Width, 0);
    EXPECT_EQ(Loading.Status_Panel.pixels.at(0), 0x1234);
    EXPECT_TRUE(Log_Files().empty());
}

TEST_F(Loading_Screen, A_Missing_Bar_Picture_Opens_The_Error_Screen) {
    fs::remove(folder / "images" / "load_s.bmp");
    EXPECT_EQ(Run_To_End([] { Show_Loading(); }), 0);
    EXPECT_EQ(recorder.frames.size(), 1u);   // the error screen's first frame, nothing before
    EXPECT_EQ(Only_Log(), Log_Entry(200, u"找不到檔案 : images\\load_s.bmp"));
    EXPECT_FALSE(Loading.Data_Loaded);
}

}  // namespace
