// text_test.cpp -- text on the back buffer: the outline, the cache of rendered strings,
// measurement in the current font, clipping.
#include "display/text.h"

#include <algorithm>
#include <string>

#include "fixture.h"
#include "platform/encoding.h"
#include "scene/small_world.h"

namespace {

class Display_Text : public Headless_Test {
protected:
    const Font_Spec game_font{u"新細明體", 12, false};
    void SetUp() override {
        Headless_Test::SetUp();
        SetFont(game_font);
    }
};

TEST_F(Display_Text, Outlined_Text_Is_The_Glyphs_Ringed_By_The_Outline_Colour) {
    const uint16_t backdrop = Color_To_Pixel(Rgb(40, 90, 40)), red = Color_To_Pixel(Rgb(255, 0, 0));
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, backdrop);
    const std::u16string text = u"哇係TAVREN 你好";
    Draw_Outlined_Text(100, 200, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Display.fore_color, Rgb(255, 0, 0));   // the text colour stays set
    const Text_Mask* mask = Find_Text_Mask(game_font, text);
    ASSERT_TRUE(mask && std::count(mask->bits.begin(), mask->bits.end(), 1) > 100);
    auto glyph = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mask->width && y < mask->height && mask->bits[size_t(y) * mask->width + x];
    };
    int mismatches = 0;
    for (int y = 0, my = -200; y < 480; ++y, ++my)
        for (int x = 0, mx = -100; x < 640; ++x, ++mx) {
            const bool ring = glyph(mx + 1, my) || glyph(mx - 1, my) || glyph(mx, my + 1) || glyph(mx, my - 1);
            mismatches += Display.Back_Buffer.At(x, y) != (glyph(mx, my) ? red : ring ? 0xFFFF : backdrop);
        }
    EXPECT_EQ(mismatches, 0);

    // "" draws nothing and leaves the colour as it was.
    const Surface before = Display.Back_Buffer;
    SetForeColor(Rgb(0, 0, 255));
    Draw_Outlined_Text(100, 300, u"", Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Display.fore_color, Rgb(0, 0, 255));
    EXPECT_EQ(Display.Back_Buffer.pixels, before.pixels);
}

// A face without Chinese glyphs (the login face) borrows them from the Chinese face: each run of
// characters is that face's own rendering, the borrowed ones all on one baseline with the rest,
// and the width is the sum of the runs'. Text a face can draw whole is drawn as before.
TEST_F(Display_Text, Characters_The_Face_Lacks_Come_From_The_Chinese_Face) {
    const Font_Spec login{u"Impact", 14, false}, ming{u"新細明體", 14, false};
    auto bit = [](const Text_Mask& m, int x, int y) {
        y -= m.top;
        return x >= 0 && y >= 0 && x < m.width && y < m.height && m.bits[size_t(y) * size_t(m.width) + size_t(x)];
    };
    // Does `piece` appear in `whole` at (x, y), with nothing else of `whole` over its columns?
    auto shows = [&](const Text_Mask& whole, const Text_Mask& piece, int x, int y) {
        for (int py = std::min(whole.top, piece.top + y) - 2; py < whole.top + whole.height + 2; ++py)
            for (int px = 0; px < int(piece.measured_width); ++px)
                if (bit(whole, x + px, py) != bit(piece, px, py - y)) return false;
        return true;
    };
    struct Piece {
        std::u16string text;
        bool chinese;
    };
    const std::vector<std::vector<Piece>> cases = {
        {{u"王小明", true}}, {{u"ab", false}, {u"王", true}, {u"c", false}}, {{u"連線中", true}, {u"...", false}}};
    int chinese_y = 99;
    for (const auto& pieces : cases) {
        std::u16string text;
        for (const Piece& p : pieces) text += p.text;
        const Text_Mask whole = *Find_Text_Mask(login, text);
        int x = 0;
        for (const Piece& p : pieces) {
            const Text_Mask piece = *Find_Text_Mask(p.chinese ? ming : login, p.text);
            int found = 99;   // the row offset at which the face's own rendering shows
            for (int y = -12; y <= 12 && found == 99; ++y)
                if (shows(whole, piece, x, y)) found = y;
            EXPECT_EQ(found, p.chinese ? chinese_y == 99 ? (chinese_y = found) : chinese_y : 0) << To_Utf8(p.text);
            x += int(piece.measured_width);
        }
        EXPECT_EQ(whole.measured_width, x) << To_Utf8(text);
    }
    EXPECT_NE(chinese_y, 99);
    // No box: the login face alone would draw something else for the Chinese characters.
    EXPECT_NE(Find_Text_Mask(login, u"王")->bits, Find_Text_Mask(ming, u"王")->bits);
}

// Strings are rendered once per font and kept, within bounds; odd and overlong ones too.
TEST_F(Display_Text, Rendered_Strings_Are_Cached_Within_Bounds) {
    const std::u16string text = u"FPS : 60 被管理者踢出遊戲";
    Draw_Outlined_Text(20, 20, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    const uint64_t renders = Text_Renders();
    Draw_Outlined_Text(20, 20, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Text_Renders(), renders);
    SetFont(Font_Spec{u"新細明體", 12, true});   // another font is another entry
    Text_Width(text);
    EXPECT_EQ(Text_Renders(), renders + 1);

    // Full, the cache lets strings go. (Which it keeps is a matter of speed, the frame benchmark's.)
    for (size_t i = 0; i <= TEXT_CACHE_MAX_ENTRIES; ++i) Text_Width(std::u16string{u's', char16_t(0x4E00 + i)});
    EXPECT_EQ(Text_Cache_Entries(), TEXT_CACHE_MAX_ENTRIES);

    // A lone surrogate, a NUL, an unassigned code point are drawn as best the font can; a text far
    // wider than any screen is measured whole but rendered only up to the limit.
    DrawText(10, 10, std::u16string(u"a\xD800z\0b\uFFFF", 6));
    const Text_Mask* mask = Find_Text_Mask(game_font, std::u16string(3 * TEXT_RENDER_LIMIT, u'字'));
    ASSERT_TRUE(mask);
    EXPECT_TRUE(mask->measured_width > mask->width && size_t(mask->width) <= TEXT_RENDER_LIMIT * 20) << mask->width;
}

// Text is measured in the current font (which face a name gives is the fonts test's), and drawn
// inside the measured box. (The cut at the buffer's edges, also far off it, is the surface test's.)
TEST_F(Display_Text, Measures_And_Draws_Inside_The_Measured_Box) {
    SetFont(Font_Spec{u"新細明體", 10, true});
    const double height_10 = Text_Height(u"你好");
    SetFont(game_font);
    const double one = Text_Width(u"你"), height_12 = Text_Height(u"你好");
    EXPECT_TRUE(one >= 14 && one <= 18 && height_12 >= 15 && height_10 < height_12) << one;   // 12 points: 16 pixels
    EXPECT_EQ(Text_Width(u"你好"), 2 * one);
    EXPECT_EQ(Text_Width(u""), 0);
    EXPECT_EQ(Text_Height(u""), height_12);

    const std::u16string text = u"斷線 Connection Ag";
    const int w = Round_Half_Even(Text_Width(text)), h = Round_Half_Even(Text_Height(text));
    SetForeColor(Rgb(255, 255, 0));
    DrawText(200, 200, text);
    const Surface& b = Display.Back_Buffer;
    const int64_t drawn = std::count_if(b.pixels.begin(), b.pixels.end(), [](uint16_t p) { return p != 0; });
    EXPECT_GT(drawn, 50);
    EXPECT_EQ(drawn, w * h - small_world::Count_Pixels(b, 0, Rect{200, 200, 200 + w, 200 + h}));   // all inside
}

}   // namespace
