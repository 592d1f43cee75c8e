// loading.cpp -- the loading screen: loads the map, the characters and the status panel while a
// progress bar grows, one frame per stage, without yielding.
#include "loading/loading.h"

#include "characters/character_file.h"
#include "characters/player.h"
#include "display/bitmap.h"
#include "display/display.h"
#include "map/map.h"

static constexpr int32_t BAR_X = 310, BAR_Y = 230, BAR_HEIGHT = 35;
static constexpr int32_t BAR_UNIT = 29, BAR_UNITS = 5;

// The bar after `stage` of `stages`: whole units of 29 pixels, at most five.
static int32_t Bar_Width(int stage, int stages) {
    return int32_t(double(stage) / double(stages) * BAR_UNITS) * BAR_UNIT;
}

void Show_Loading() {
    const int stages = Loading.Data_Loaded ? 1 : 3;
    Surface background, bar;
    const Rect background_rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT};
    Rect bar_rect{0, 0, 0, BAR_HEIGHT};

    Require_Bitmap(u"images\\load_full.bmp", 0, background);
    Require_Bitmap(u"images\\load_s.bmp", 0, bar);
    Draw_Loading_Frame(background_rect, bar_rect, background, bar);

    Load_Map(u"data\\testmap.map");
    bar_rect.right = Bar_Width(1, stages);
    Draw_Loading_Frame(background_rect, bar_rect, background, bar);
    if (Loading.Data_Loaded) return;   // a later run only brings a new map

    Load_Character_File(u"data\\testple.ple");
    bar_rect.right = Bar_Width(2, stages);
    Draw_Loading_Frame(background_rect, bar_rect, background, bar);

    Require_Bitmap(u"images\\s.bmp", 0, Loading.Status_Panel);
    bar_rect.right = Bar_Width(3, stages);
    Draw_Loading_Frame(background_rect, bar_rect, background, bar);

    Init_Direction_Steps();
    Init_Pixel_Steps();
    Loading.Data_Loaded = true;
}

void Draw_Loading_Frame(const Rect& background_rect, const Rect& bar_rect, const Surface& background,
                        const Surface& bar) {
    // No clearing: where the background is black the previous screen stays visible.
    BltFast(Display.Back_Buffer, 0, 0, background, background_rect, BLTFAST_SRCCOLORKEY_WAIT);
    if (bar_rect.right > bar_rect.left && bar_rect.bottom > bar_rect.top)
        BltFast(Display.Back_Buffer, BAR_X, BAR_Y, bar, bar_rect, BLTFAST_SRCCOLORKEY_WAIT);
    Present_Frame();
}
