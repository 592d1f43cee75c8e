// preview.h -- `isodata preview`: the whole map drawn as the scene draws it, saved as PNG or BMP.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

#include "map/map_file.h"
#include "platform/surface.h"

// The largest picture the preview makes, in pixels (a 1600 x 1600 map would need 2 billion).
constexpr int64_t MAX_PREVIEW_PIXELS = 120'000'000;

struct Preview {
    Surface picture;                     // RGB565 like the game's back buffer, black where nothing is
    int32_t shift_x = 0, shift_y = 0;    // tile origin of (x, y) = (20 (x - y) + shift_x, 10 (x + y) + shift_y)
    std::vector<std::string> warnings;   // pictures that could not be read (their pieces are left out)
};

// Ground pass, then objects, then overlay, each row by row with x fastest: the scene's painter's
// order. The picture is the box around the map's diamond, (W + H) 20 x (W + H) 10 pixels, as
// Tiled's tmxrasterizer frames the exported map; pieces reaching beyond it are cut off. Throws std::runtime_error when
// the picture would exceed MAX_PREVIEW_PIXELS.
Preview Render_Map(const Map_Model& map, const std::string& program_folder);
