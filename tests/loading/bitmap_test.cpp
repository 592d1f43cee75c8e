// bitmap_test.cpp -- picture names resolved against the program folder, the missing and damaged
// file paths, and the colour key of keyed copies.
#include "errors/program_folder.h"
#include "loading/bitmap.h"

namespace {

class Bitmap : public Program_Folder_Test {
protected:
    // Pure colours, near-black, black, and a dark colour whose 16-bit form is 0.
    const std::vector<std::vector<Rgb24>> sample{
        {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
        {{8, 8, 8}, {0, 0, 0}, {7, 3, 7}},
    };
    void SetUp() override {
        Program_Folder_Test::SetUp();
        Write_Bmp(folder / "images" / "pic.bmp", sample);
        window.held.insert(VK_ESCAPE);   // an error screen ends at its first frame
    }
    std::u16string Folder16() const { return From_Utf8(folder.string()); }
};

TEST_F(Bitmap, Names_Inside_The_Program_Folder_Load) {
    const std::u16string names[] = {
        u"images\\pic.bmp",
        Folder16() + u"\\images\\pic.bmp",   // a full path holding the folder is used as it is
        Folder16() + u"/images/pic.bmp",
    };
    for (const auto& name : names) {
        Surface s = Make_Surface(1, 1, 0x1234);
        Load_Bitmap(name, 0, s);
        ASSERT_EQ(s.width, 3) << To_Utf8(name);
        ASSERT_EQ(s.height, 2);
        const std::vector<uint16_t> rgb565{0xF800, 0x07E0, 0x001F, 0x0841, 0x0000, 0x0000};
        EXPECT_EQ(s.pixels, rgb565);
        EXPECT_EQ(s.color_key, 0);
    }
    Surface keyed;
    Load_Bitmap(u"images\\pic.bmp", 0x0841, keyed);
    EXPECT_EQ(keyed.color_key, 0x0841);
    EXPECT_EQ(window.frames_presented, 0);
    EXPECT_TRUE(Log_Files().empty());
}

TEST_F(Bitmap, Refused_Names_Raise_Error_200_With_The_Callers_Name) {
    // A file that exists, but outside the folder or behind a drive letter, is refused like a
    // missing one.
    fs::path outside = folder.parent_path() / ("outside-" + folder.filename().string() + ".bmp");
    Write_Bmp(outside, sample);
    Write_Bmp(folder / "C:" / "pic.bmp", sample);
    const std::u16string names[] = {
        u"images\\missing.bmp",
        u"images\\PIC.BMP",                     // names are case-sensitive on this host
        Folder16() + u"\\images\\missing.bmp",  // full path inside the folder, file missing
        u"C:\\pic.bmp",
        From_Utf8(outside.string()),
        u"",
    };
    for (const auto& name : names) {
        std::error_code ec;
        fs::remove_all(folder / "Err", ec);
        Surface s;
        EXPECT_EQ(Run_To_End([&] { Load_Bitmap(name, 0, s); }), 0) << To_Utf8(name);
        EXPECT_EQ(Only_Log(), Log_Entry(200, u"找不到檔案 : " + name)) << To_Utf8(name);
    }
    fs::remove(outside);
    EXPECT_EQ(window.frames_presented, 6);   // each showed the error screen
}

TEST_F(Bitmap, A_Damaged_Picture_Raises_Error_Minus_32768) {
    const std::string contents[] = {"", "BM", "not a picture at all", std::string("BM\x10\0\0\0", 6) + std::string(60, '\xFF')};
    for (const std::string& bytes : contents) {
        std::error_code ec;
        fs::remove_all(folder / "Err", ec);
        std::ofstream(folder / "images" / "bad.bmp", std::ios::binary) << bytes;
        Surface s;
        EXPECT_EQ(Run_To_End([&] { Load_Bitmap(u"images\\bad.bmp", 0, s); }), 0);
        EXPECT_EQ(Only_Log(), Log_Entry(-32768, u"其它錯誤 : 壞的圖檔 : images\\bad.bmp"));
    }
}

TEST_F(Bitmap, Without_A_Usable_Error_Picture_The_Program_Ends_With_No_Screen) {
    Platform.socket = &socket;
    socket.Connect("host", 1);
    fs::remove(folder / "images" / "err.bmp");
    Surface s;
    EXPECT_EQ(Run_To_End([&] { Load_Bitmap(u"images\\err.bmp", 0, s); }), 0);
    EXPECT_TRUE(Log_Files().empty());
    EXPECT_FALSE(socket.connected);

    // Another missing picture: its entry is logged, then the error screen cannot open.
    EXPECT_EQ(Run_To_End([&] { Load_Bitmap(u"images\\load_s.bmp", 0, s); }), 0);
    EXPECT_EQ(Only_Log(), Log_Entry(200, u"找不到檔案 : images\\load_s.bmp"));

    // A damaged error picture ends the same way instead of reopening the screen for ever.
    std::ofstream(folder / "images" / "err.bmp", std::ios::binary) << "garbage";
    EXPECT_EQ(Run_To_End([&] { Load_Bitmap(u"images\\missing.bmp", 0, s); }), 0);
    EXPECT_EQ(window.frames_presented, 0);
}

TEST_F(Bitmap, Keyed_Copies_Leave_Out_Exactly_The_Pixels_That_Became_Black) {
    Surface pic;
    Load_Bitmap(u"images\\pic.bmp", 0, pic);
    const uint16_t under = 0x5555;
    Surface dest = Make_Surface(3, 2, under);
    BltFast(dest, 0, 0, pic, Rect{0, 0, 3, 2}, BLTFAST_SRCCOLORKEY_WAIT);
    EXPECT_EQ(dest.pixels, (std::vector<uint16_t>{0xF800, 0x07E0, 0x001F, 0x0841, under, under}));
    BltFast(dest, 0, 0, pic, Rect{0, 0, 3, 2}, BLTFAST_WAIT);
    EXPECT_EQ(dest.pixels, pic.pixels);
}

}  // namespace
