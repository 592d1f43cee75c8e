// small_world.h -- a tiny world built in memory for the scene and game screen tests: diamond
// ground tiles, solid pieces and a one-colour figure, each in a colour of its own.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "characters/animation.h"
#include "characters/player.h"
#include "display/display.h"
#include "map/map.h"

namespace small_world {

// Pixel values that tell the layers apart on the back buffer.
constexpr uint16_t GROUND = 0x07E0;    // green
constexpr uint16_t OBJECT = 0xFD20;    // orange
constexpr uint16_t OVERLAY = 0x001F;   // blue
constexpr uint16_t FIGURE = 0xF81F;    // magenta

constexpr int16_t GROUND_ID = 7, OBJECT_ID = 3, OVERLAY_ID = 12;

// The figure: every frame cuts the whole 20 x 30 sheet and stands it 10 right of and 20 above
// the point it is drawn at.
constexpr int16_t FIGURE_W = 20, FIGURE_H = 30, FIGURE_DX = 10, FIGURE_DY = -20;

// The strict inside of a 40 x 20 diamond, as the picking tests it.
inline bool In_Diamond(int u, int v) { return u - 2 * v < 20 && u - 2 * v > -20 && u + 2 * v > 20 && u + 2 * v < 60; }

inline Surface Diamond(uint16_t colour) {
    Surface s = Make_Surface(40, 20);
    for (int v = 0; v < 20; ++v)
        for (int u = 0; u < 40; ++u)
            if (In_Diamond(u, v)) s.At(u, v) = colour;
    return s;
}

// A width x height map of free green cells, with an object and an overlay image ready for pieces.
inline void Make_Map(int16_t width, int16_t height) {
    Map = Map_Model{};
    Map.Map_Width = width;
    Map.Map_Height = height;
    Map.Map_Images.resize(3);
    Map.Map_Images[0] = Map_Image{u"images\\ground.bmp", GROUND_ID, Diamond(GROUND)};
    Map.Map_Images[1] = Map_Image{u"images\\object.bmp", OBJECT_ID, Make_Surface(40, 40, OBJECT)};
    Map.Map_Images[2] = Map_Image{u"images\\overlay.bmp", OVERLAY_ID, Make_Surface(40, 40, OVERLAY)};
    Map.Map_Image_Count = 3;
    Map.Ground_Grid.Resize(width, height);
    Map.Object_Grid.Resize(width, height);
    Map.Overlay_Grid.Resize(width, height);
    for (auto& g : Map.Ground_Grid.cells) g.image_id = GROUND_ID;
}

// A 40 x 40 piece standing on the cell at (offset_x, offset_y) from its tile origin.
inline Piece_Cell Piece(int16_t image_id, int16_t offset_x, int16_t offset_y) {
    Piece_Cell p;
    p.image_id = image_id;
    p.offset_x = offset_x;
    p.offset_y = offset_y;
    p.width = 40;
    p.height = 40;
    p.present = 1;
    return p;
}

// Sprite type 0 with a "walk" action whose sequence for direction d has the id d; every
// sequence has `frames` frames of 50 ms, all cutting the same figure.
inline void Make_Figures(int frames = 3) {
    Animations = Animation_Data{};
    Animations.Sheets.push_back(Sheet{u"images\\figure.bmp", 1, Make_Surface(FIGURE_W, FIGURE_H, FIGURE)});
    Animations.sheet_count = 1;
    for (int16_t id = 0; id <= 8; ++id) {
        Sequence s;
        s.id = id;
        s.sheet_id = 1;
        for (int i = 0; i < frames; ++i) s.frames.push_back(Frame{50, 0, 0, FIGURE_W, FIGURE_H, FIGURE_DX, FIGURE_DY});
        s.frame_count = int16_t(s.frames.size());
        Animations.Sequences.push_back(s);
    }
    Animations.sequence_count = 9;
    Sprite_Type type;
    Action walk;
    walk.name = u"walk";
    for (int16_t d = 1; d <= 8; ++d) walk.sequence_ids[size_t(d)] = d;
    type.actions.push_back(Action{u"idle", {}});
    type.actions.push_back(walk);
    type.action_count = 2;
    Chars.Characters.Sprite_Types = {type};
    Chars.Characters.Sprite_Type_Count = 1;
    Init_Direction_Steps();
    Init_Pixel_Steps();
}

inline int Count_Pixels(const Surface& s, uint16_t value, Rect area) {
    int n = 0;
    for (int32_t y = std::max(0, area.top); y < std::min(s.height, area.bottom); ++y)
        for (int32_t x = std::max(0, area.left); x < std::min(s.width, area.right); ++x) n += s.At(x, y) == value;
    return n;
}

}  // namespace small_world
