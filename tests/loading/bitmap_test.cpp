// bitmap_test.cpp -- picture names resolved against the program folder, the missing and damaged
// file paths, and the colour key of keyed copies.
#include "display/bitmap.h"

#include <array>

#include "errors/program_folder.h"

namespace {

using namespace std::literals;

class Bitmap : public Program_Folder_Test {
protected:
    // Pure colours, near-black, black, and a dark colour whose 16-bit form is 0.
    const Picture sample{{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {{8, 8, 8}, {0, 0, 0}, {7, 3, 7}}};
    Surface s;
    std::u16string Folder16() const { return From_Utf8(folder.string()); }

    void SetUp() override {
        Program_Folder_Test::SetUp();
        Write_Bmp(folder / "images" / "pic.bmp", sample);
        window.held.insert(VK_ESCAPE);   // an error screen ends at its first frame
    }
};

// (That a keyed copy leaves out the key, black here, is the surface test's.)
TEST_F(Bitmap, Names_Inside_The_Program_Folder_Load_With_The_Key_Given) {
    // A full path holding the folder is used as it is.
    for (auto name : {u"images\\pic.bmp"s, Folder16() + u"\\images\\pic.bmp", Folder16() + u"/images/pic.bmp"}) {
        s = Make_Surface(1, 1, 0x1234);
        Load_Bitmap(name, 0x0841, s);
        EXPECT_EQ(std::tuple(s.width, s.height, s.color_key), std::tuple(3, 2, uint16_t(0x0841))) << To_Utf8(name);
        EXPECT_EQ(s.pixels, (std::vector<uint16_t>{0xF800, 0x07E0, 0x001F, 0x0841, 0, 0})) << To_Utf8(name);
    }
}

// A file that exists, but outside the folder or behind a drive letter, is refused like a missing
// one: error 200 with the caller's name. A damaged picture is error -32768.
TEST_F(Bitmap, Refused_Missing_And_Damaged_Pictures_Raise_Errors_With_The_Callers_Name) {
    const fs::path outside = folder.parent_path() / ("outside-" + folder.filename().string() + ".bmp");
    Write_Bmp(outside, sample);
    std::vector<std::u16string> names = {
        u"images\\missing.bmp"s, u"images\\PIC.BMP"s,         Folder16() + u"\\images\\missing.bmp",
        u"C:\\pic.bmp"s,         From_Utf8(outside.string()), u""s,
        u"images\\bad0.bmp"s,    u"images\\bad2.bmp"s,        u"images\\bad13.bmp"s,
        u"images\\bad66.bmp"s};
#ifdef _WIN32
    // Windows' file names ignore case, and none holds ":" (so "C:\pic.bmp" names the drive's).
    std::erase(names, u"images\\PIC.BMP"s);
#else
    Write_Bmp(folder / "C:" / "pic.bmp", sample);
#endif
    const std::string damaged[] = {"", "BM", "not a picture", std::string("BM\x10\0\0\0", 6) + std::string(60, '\xFF')};
    for (const std::string& bytes : damaged)
        std::ofstream(folder / "images" / ("bad" + std::to_string(bytes.size()) + ".bmp")) << bytes;
    for (const std::u16string& name : names) {
        fs::remove_all(folder / "Err");
        const Bitmap_Status expected =
            name.starts_with(u"images\\bad") ? Bitmap_Status::Unreadable : Bitmap_Status::Missing;
        EXPECT_EQ(Load_Bitmap(name, 0, s), expected) << To_Utf8(name);
        EXPECT_EQ(Run_Until_End([&] { Require_Bitmap(name, 0, s); }), 0) << To_Utf8(name);
        EXPECT_EQ(Only_Log(), name.starts_with(u"images\\bad") ? Log_Entry(-32768, u"其它錯誤 : 壞的圖檔 : " + name)
                                                               : Log_Entry(200, u"找不到檔案 : " + name));
    }
    fs::remove(outside);
    EXPECT_EQ(window.frames_presented, int64_t(names.size()));   // each showed the error screen
}

TEST_F(Bitmap, Without_A_Usable_Error_Picture_The_Program_Ends_With_No_Screen) {
    Platform.socket = &socket;
    socket.Connect("host", 1);
    fs::remove(folder / "images" / "err.bmp");
    // A missing picture: its entry is logged, then the error screen cannot open.
    EXPECT_EQ(Run_Until_End([&] { Require_Bitmap(u"images\\load_s.bmp", 0, s); }), 0);
    EXPECT_EQ(Only_Log(), Log_Entry(200, u"找不到檔案 : images\\load_s.bmp"));
    EXPECT_FALSE(socket.connected);
    // A damaged error picture ends the same way instead of reopening the screen for ever.
    std::ofstream(folder / "images" / "err.bmp") << "garbage";
    EXPECT_EQ(Run_Until_End([&] { Require_Bitmap(u"images\\missing.bmp", 0, s); }), 0);
    EXPECT_EQ(window.frames_presented, 0);
}

// A one-bit picture of the stated size: a few bytes of header can state any size, and the rows
// that follow are as long as that size needs (rows runs of 0xAA).
std::string One_Bit_Bmp(int32_t width, int32_t height, size_t data_bytes) {
    const uint32_t stride = (uint32_t(width) + 31) / 32 * 4;
    if (data_bytes == SIZE_MAX) data_bytes = size_t(stride) * size_t(std::abs(int64_t(height)));
    std::string bmp = "BM";
    for (const uint32_t v : {uint32_t(62 + data_bytes), 0u, 62u, 40u, uint32_t(width), uint32_t(height), 1u | 1u << 16,
                             0u, uint32_t(data_bytes), 0u, 0u, 2u, 0u, 0u, 0xFFFFFFu})
        bmp.append({char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)});
    return bmp + std::string(data_bytes, '\xAA');
}

TEST(Bmp_Size, Pictures_Beyond_The_Limits_Are_Refused_Before_They_Are_Decoded) {
    // Width, height, the bytes of rows that follow (all that the size needs: SIZE_MAX), decoded.
    const std::tuple<int32_t, int32_t, size_t, bool> cases[] = {
        {3, 2, SIZE_MAX, true},
        {4096, 4096, SIZE_MAX, true},
        {4097, 4096, SIZE_MAX, false},
        {32767, 1, SIZE_MAX, true},
        {32768, 1, SIZE_MAX, false},
        {1, -32768, SIZE_MAX, false},
        {196608, 131072, 8, false},
        {0, 2, 8, false},
        {3, 0, 8, false},
        {-3, 2, 8, false},
        {INT32_MIN, INT32_MIN, 8, false},
    };
    for (auto [width, height, data, decoded] : cases) {
        const std::optional<Surface> s = Decode_Bmp_Bytes(One_Bit_Bmp(width, height, data));
        ASSERT_EQ(s.has_value(), decoded) << width << " x " << height;
        if (s) { EXPECT_EQ(std::tuple(s->width, s->height), std::tuple(width, std::abs(height))); }
    }
}

// A 24-bit picture of 2 x 2 as a writer other than ours may lay it out: each header size, a gap
// before the pixels, rows padded to 4 bytes, bottom-up or (a negative height) top-down.
TEST(Bmp_Layout, Header_Sizes_Gaps_Padding_And_Row_Order_Are_Read_As_Stated) {
    for (uint32_t header : {40u, 108u, 124u})
        for (uint32_t gap : {0u, 4u})
            for (bool top_down : {false, true}) {
                std::string bmp = "BM";
                auto u32 = [&bmp](uint32_t v) {
                    for (int i = 0; i < 4; ++i) bmp += char(v >> (8 * i));
                };
                u32(14 + header + gap + 16), u32(0), u32(14 + header + gap);
                u32(header), u32(2), u32(top_down ? uint32_t(-2) : 2u), u32(1 | 24 << 16);
                bmp.append(header - 16, '\0');   // no compression, then zeros to the header's end
                bmp.append(gap, '\x55');
                // Stored first: red, green; then blue, white (blue, green, red bytes; two of padding).
                bmp += "\0\0\xFF\0\xFF\0\0\0\xFF\0\0\xFF\xFF\xFF\0\0"s;
                const std::vector<uint16_t> first{0xF800, 0x07E0}, second{0x001F, 0xFFFF};
                std::vector<uint16_t> expected = top_down ? first : second;
                expected.insert(expected.end(), (top_down ? second : first).begin(), (top_down ? second : first).end());
                const std::optional<Surface> s = Decode_Bmp_Bytes(bmp);
                ASSERT_TRUE(s) << header << " " << gap;
                EXPECT_EQ(s->pixels, expected) << header << " " << gap << " " << top_down;
                EXPECT_FALSE(Decode_Bmp_Bytes(bmp.substr(0, bmp.size() - 3))) << "a cut row";
            }
}

}   // namespace
