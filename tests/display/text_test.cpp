// text_test.cpp -- text on the back buffer: the outline, the cache of rendered strings,
// measurement in the current font, clipping, and the faces the names lead to.
#include <string>

#include "display/text.h"
#include "fixture.h"

namespace {

class Display_Text : public Headless_Test {
protected:
    const Font_Spec game_font{u"新細明體", 12, false};
    void SetUp() override {
        Headless_Test::SetUp();
        SetFont(game_font);
    }
};

const uint16_t BACKGROUND = Color_To_Pixel(Rgb(40, 90, 40));

int Count_Pixels(const Surface& s, uint16_t pixel) {
    int n = 0;
    for (uint16_t p : s.pixels) n += p == pixel;
    return n;
}

TEST_F(Display_Text, OutlinedTextIsTheGlyphsRingedByTheOutlineColour) {
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, BACKGROUND);
    const std::u16string text = u"哇係TAVREN 你好";
    Draw_Outlined_Text(100, 200, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Display.fore_color, Rgb(255, 0, 0));

    const Text_Mask* mask = Find_Text_Mask(game_font, text);
    ASSERT_NE(mask, nullptr);
    ASSERT_GT(mask->width, 0);
    auto glyph = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < mask->width && y < mask->height && mask->bits[size_t(y) * mask->width + x];
    };
    const uint16_t red = Color_To_Pixel(Rgb(255, 0, 0)), white = Color_To_Pixel(Rgb(255, 255, 255));
    int mismatches = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int mx = x - 100, my = y - 200;
            uint16_t expected = BACKGROUND;
            if (glyph(mx, my)) expected = red;
            else if (glyph(mx + 1, my) || glyph(mx - 1, my) || glyph(mx, my + 1) || glyph(mx, my - 1)) expected = white;
            mismatches += Display.Back_Buffer.At(x, y) != expected;
        }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(Count_Pixels(Display.Back_Buffer, red), 100);
    EXPECT_GT(Count_Pixels(Display.Back_Buffer, white), 100);

    // "" draws nothing and leaves the colour as it was.
    const Surface before = Display.Back_Buffer;
    SetForeColor(Rgb(0, 0, 255));
    Draw_Outlined_Text(100, 300, u"", Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Display.fore_color, Rgb(0, 0, 255));
    EXPECT_EQ(Display.Back_Buffer.pixels, before.pixels);
}

TEST_F(Display_Text, CachedStringsGiveTheSamePixelsWithoutRenderingAgain) {
    const std::u16string text = u"FPS : 60 被管理者踢出遊戲";
    Draw_Outlined_Text(20, 20, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    const Surface first = Display.Back_Buffer;
    const uint64_t renders = Text_Renders();
    for (int frame = 0; frame < 3; ++frame) {
        Reset_Display();
        SetFont(game_font);
        Draw_Outlined_Text(20, 20, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
        EXPECT_EQ(Display.Back_Buffer.pixels, first.pixels);
    }
    EXPECT_EQ(Text_Renders(), renders);

    // Rendered afresh after the cache is emptied: the same pixels again.
    Clear_Text_Cache();
    Reset_Display();
    SetFont(game_font);
    Draw_Outlined_Text(20, 20, text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_EQ(Text_Renders(), renders + 1);
    EXPECT_EQ(Display.Back_Buffer.pixels, first.pixels);

    // The same text in another font is another entry.
    SetFont(Font_Spec{u"新細明體", 12, true});
    DrawText(20, 100, text);
    EXPECT_EQ(Text_Renders(), renders + 2);
}

// One short distinct text per number.
std::u16string Nth_Text(size_t i) {
    std::u16string text = u"s";
    text += char16_t(0x4E00 + i);
    return text;
}

TEST_F(Display_Text, CacheDropsTheLeastRecentlyUsedString) {
    Clear_Text_Cache();
    for (size_t i = 0; i < TEXT_CACHE_MAX_ENTRIES; ++i) Text_Width(Nth_Text(i));
    ASSERT_EQ(Text_Cache_Entries(), TEXT_CACHE_MAX_ENTRIES);
    Text_Width(Nth_Text(0));   // the oldest is used again
    const uint64_t renders = Text_Renders();
    Text_Width(u"one more");                                   // pushes out the second oldest
    EXPECT_EQ(Text_Cache_Entries(), TEXT_CACHE_MAX_ENTRIES);
    Text_Width(Nth_Text(0));
    EXPECT_EQ(Text_Renders(), renders + 1);
    Text_Width(Nth_Text(1));
    EXPECT_EQ(Text_Renders(), renders + 2);
    EXPECT_LE(Text_Cache_Bytes(), TEXT_CACHE_MAX_BYTES);
}

TEST_F(Display_Text, MeasuresInTheCurrentFontAndDrawsInsideTheMeasure) {
    EXPECT_EQ(Text_Width(u""), 0);
    const double one = Text_Width(u"你"), two = Text_Width(u"你好");
    EXPECT_GE(one, 14);   // 12 points at 96 dpi: a 16-pixel square
    EXPECT_LE(one, 18);
    EXPECT_EQ(two, 2 * one);
    const double height_12 = Text_Height(u"你好");
    EXPECT_GE(height_12, 15);
    EXPECT_EQ(Text_Height(u""), height_12);

    SetFont(Font_Spec{u"新細明體", 10, true});
    EXPECT_LT(Text_Height(u"你好"), height_12);
    EXPECT_LT(Text_Width(u"你好"), two);
    SetFont(Font_Spec{u"Impact", 14, false});
    EXPECT_GT(Text_Width(u"Login"), 0);
    EXPECT_NE(Text_Width(u"Login"), Text_Width(u"Lo"));

    // Every painted pixel lies inside the measured box.
    SetFont(game_font);
    SetForeColor(Rgb(255, 255, 255));
    DrawText(300, 300, u"你好 Ag");
    const int w = Round_Half_Even(Text_Width(u"你好 Ag")), h = Round_Half_Even(Text_Height(u"你好 Ag"));
    int inside = 0, outside = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (Display.Back_Buffer.At(x, y)) (x >= 300 && x < 300 + w && y >= 300 && y < 300 + h ? inside : outside)++;
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST_F(Display_Text, TextCutAtTheBufferEdgesKeepsItsVisiblePart) {
    const std::u16string text = u"斷線 Connection";
    SetForeColor(Rgb(255, 255, 0));
    DrawText(200, 200, text);
    const Surface whole = Display.Back_Buffer;
    const int w = Round_Half_Even(Text_Width(text)), h = Round_Half_Even(Text_Height(text));

    struct Case {
        int32_t x, y;
    };
    const Case cases[] = {{-20, -7}, {640 - 30, 480 - 9}, {-100000, 5}, {5, 2000000000}, {-2147483647, -2147483647}};
    for (const Case& c : cases) {
        Reset_Display();
        SetFont(game_font);
        SetForeColor(Rgb(255, 255, 0));
        DrawText(c.x, c.y, text);
        int mismatches = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const int64_t sx = int64_t(x) - c.x + 200, sy = int64_t(y) - c.y + 200;
                const bool covered = sx >= 200 && sx < 200 + w && sy >= 200 && sy < 200 + h;
                mismatches += Display.Back_Buffer.At(x, y) != (covered ? whole.At(int(sx), int(sy)) : 0);
            }
        EXPECT_EQ(mismatches, 0) << c.x << "," << c.y;
    }
}

TEST_F(Display_Text, OddAndOverlongTextsAreHandled) {
    // A lone surrogate, a NUL, an unassigned code point: drawn as best the font can, no fault.
    for (const std::u16string& text : {std::u16string(u"a\xD800z"), std::u16string(u"a\0b", 3), std::u16string(u"\uFFFF")}) {
        DrawText(10, 10, text);
        EXPECT_GE(Text_Width(text), 0);
    }
    // A text far wider than any screen is measured whole but rendered only up to the limit.
    const std::u16string huge(3 * TEXT_RENDER_LIMIT, u'字');
    const Text_Mask* mask = Find_Text_Mask(game_font, huge);
    ASSERT_NE(mask, nullptr);
    EXPECT_GT(mask->measured_width, mask->width);
    EXPECT_LE(size_t(mask->width), TEXT_RENDER_LIMIT * 20);
    Draw_Outlined_Text(-30000, 100, huge, Rgb(255, 255, 255), Rgb(255, 0, 0));
    Clear_Text_Cache();
}

TEST_F(Display_Text, FaceNamesLeadToFacesThatCanShowThem) {
    auto ming = Resolve_Face(u"新細明體", false);
    ASSERT_TRUE(ming);
    EXPECT_NE(ming->file.find("uming"), std::string::npos) << ming->file;
    EXPECT_FALSE(ming->synthetic_bold);
    auto ming_bold = Resolve_Face(u"新細明體", true);
    ASSERT_TRUE(ming_bold);
    EXPECT_TRUE(ming_bold->synthetic_bold);   // the Ming face has no bold of its own

    for (const char16_t* name : {u"Impact", u"IMPACT"}) {
        auto impact = Resolve_Face(name, false);
        ASSERT_TRUE(impact);
        EXPECT_NE(impact->file.find("DejaVuSansCondensed-Bold"), std::string::npos) << impact->file;
        EXPECT_FALSE(Resolve_Face(name, true)->synthetic_bold);
    }
    // Names with fontconfig's syntax characters are taken literally; unknown names still get a face.
    EXPECT_EQ(Font_Pattern(u"A:b-c", true), "A\\:b\\-c:weight=bold");
    EXPECT_TRUE(Resolve_Face(u"No Such Face:size=900", false));
    SetFont(Font_Spec{u"No Such Face", 12, false});
    EXPECT_GT(Text_Width(u"abc"), 0);
}

}  // namespace
