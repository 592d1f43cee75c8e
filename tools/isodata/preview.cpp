// preview.cpp -- rendering a whole map to one picture.
#include "tools/isodata/preview.h"

#include <algorithm>

#include "display/bitmap.h"
#include "platform/encoding.h"
#include "scene/scene.h"
#include "tools/isodata/pictures.h"

Preview Render_Map(const Map_Model& map, const std::string& program_folder) {
    // Framed as Tiled frames an isometric map: the box around the map's diamond, so that pieces
    // reaching beyond it are cut off there; cell (0, 0)'s tile origin is ((H - 1) 20, 0).
    const int64_t width = (int64_t(map.Map_Width) + map.Map_Height) * 20,
                  height = (int64_t(map.Map_Width) + map.Map_Height) * 10;
    if (width * height > MAX_PREVIEW_PIXELS)
        throw std::runtime_error("the picture would be " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels, more than " + std::to_string(MAX_PREVIEW_PIXELS));

    Preview out;
    out.picture = Make_Surface(int32_t(width), int32_t(height));
    out.shift_x = (int32_t(map.Map_Height) - 1) * 20;
    out.shift_y = 0;

    std::vector<Surface> images;
    for (const Map_Image& image : map.Map_Images) {
        std::string why;
        std::optional<std::string> path = Resolve_In_Program_Folder(image.file_name, program_folder, why);
        std::optional<Surface> picture = path ? Decode_Bmp(*path) : std::nullopt;
        if (!picture) {
            out.warnings.push_back("picture \"" + To_Utf8(image.file_name) + "\" " +
                                   (path ? "cannot be decoded" : "not found: " + why) + "; its pieces are left out");
            picture = Surface{};
        }
        images.push_back(std::move(*picture));
    }
    auto image_of = [&](int16_t id) -> const Surface& { return images[size_t(Find_Image_Index(map, id))]; };
    // A piece of a picture at the tile origin of (x, y) plus an offset, keyed on black.
    auto draw = [&](int32_t x, int32_t y, int32_t offset_x, int32_t offset_y, const Surface& source, Rect rect) {
        BltFast(out.picture, Tile_Left(x, y) + out.shift_x + offset_x, Tile_Top(x, y) + out.shift_y + offset_y, source,
                rect, BLTFAST_SRCCOLORKEY_WAIT);
    };
    if (images.empty()) return out;
    for (int32_t y = 0; y < map.Map_Height; ++y)
        for (int32_t x = 0; x < map.Map_Width; ++x) {
            const Ground_Cell& g = map.Ground_Grid(x, y);
            draw(x, y, 0, 0, image_of(g.image_id), Rect{g.source_x, g.source_y, g.source_x + 40, g.source_y + 20});
        }
    for (const Cell_Grid<Piece_Cell>* grid : {&map.Object_Grid, &map.Overlay_Grid})
        for (int32_t y = 0; y < map.Map_Height; ++y)
            for (int32_t x = 0; x < map.Map_Width; ++x) {
                const Piece_Cell& p = (*grid)(x, y);
                if (p.present == 0) continue;
                draw(x, y, p.offset_x, p.offset_y, image_of(p.image_id),
                     Rect{p.source_x, p.source_y, p.source_x + p.width, p.source_y + p.height});
            }
    return out;
}
