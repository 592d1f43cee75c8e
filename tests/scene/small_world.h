// small_world.h -- a tiny world built in memory for the scene and game screen tests: diamond
// ground tiles, solid pieces and a one-colour figure, each in a colour of its own.
#pragma once
#include <algorithm>

#include "characters/animation.h"
#include "characters/player.h"
#include "display/display.h"
#include "map/map.h"

namespace small_world {

// Pixel values that tell the layers apart on the back buffer.
constexpr uint16_t GROUND = 0x07E0, OBJECT = 0xFD20, OVERLAY = 0x001F, FIGURE = 0xF81F;
constexpr int16_t GROUND_ID = 7, OBJECT_ID = 3, OVERLAY_ID = 12;
// Every frame of the figure cuts the whole 20 x 30 sheet and stands it 10 right of and 20 above
// the point it is drawn at.
constexpr int16_t FIGURE_W = 20, FIGURE_H = 30;

// A 40 x 20 diamond: `colour(u)` on its strict inside, black elsewhere.
template <class Colour>
Surface Diamond(Colour colour) {
    Surface s = Make_Surface(40, 20);
    for (int v = 0; v < 20; ++v)
        for (int u = 0; u < 40; ++u)
            if (u - 2 * v < 20 && u - 2 * v > -20 && u + 2 * v > 20 && u + 2 * v < 60) s.At(u, v) = colour(u);
    return s;
}

// A width x height map of free green cells, with an object and an overlay image ready for pieces.
inline void Make_Map(int16_t width, int16_t height) {
    Map = Map_Model{};
    Map.Map_Width = width, Map.Map_Height = height;
    Map.Map_Images = {Map_Image{u"images\\ground.bmp", GROUND_ID, Diamond([](int) { return GROUND; })},
                      Map_Image{u"images\\object.bmp", OBJECT_ID, Make_Surface(40, 40, OBJECT)},
                      Map_Image{u"images\\overlay.bmp", OVERLAY_ID, Make_Surface(40, 40, OVERLAY)}};
    Map.Map_Image_Count = 3;
    Map.Ground_Grid.Resize(width, height);
    Map.Object_Grid.Resize(width, height);
    Map.Overlay_Grid.Resize(width, height);
    for (auto& g : Map.Ground_Grid.cells) g.image_id = GROUND_ID;
}

// Sprite type 0 with a "walk" action whose sequence for direction d has the id d; every
// sequence has `frames` frames of 50 ms, all cutting the same figure.
inline void Make_Figures(int frames = 3) {
    Animations = Animation_Data{};
    Animations.Sheets.push_back(Sheet{u"images\\figure.bmp", 1, Make_Surface(FIGURE_W, FIGURE_H, FIGURE)});
    Animations.sheet_count = 1;
    const Frame figure{50, 0, 0, FIGURE_W, FIGURE_H, 10, -20};
    for (int16_t id = 0; id <= 8; ++id)
        Animations.Sequences.push_back(Sequence{id, 1, int16_t(frames), std::vector<Frame>(size_t(frames), figure)});
    Animations.sequence_count = 9;
    const Action walk{u"walk", {0, 1, 2, 3, 4, 5, 6, 7, 8}};
    Chars.Characters.Sprite_Types = {Sprite_Type{2, 0, {Action{u"idle", {}}, walk}}};
    Chars.Characters.Sprite_Type_Count = 1;
    Init_Direction_Steps();
    Init_Pixel_Steps();
}

inline Player_Record At_Cell(int16_t x, int16_t y) {
    Player_Record r;
    r.cell_x = x, r.cell_y = y;
    return r;
}

inline int Count_Pixels(const Surface& s, uint16_t value, Rect area) {
    int n = 0;
    for (int32_t y = std::max(0, area.top); y < std::min(s.height, area.bottom); ++y)
        for (int32_t x = std::max(0, area.left); x < std::min(s.width, area.right); ++x) n += s.At(x, y) == value;
    return n;
}

}   // namespace small_world
