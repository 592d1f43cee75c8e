// tiled_import.cpp -- `isodata import-tiled`: a Tiled map made into the game's map model, and
// the BMP sheets for tiles that came as pictures.
#include <algorithm>
#include <cmath>
#include <map>

#include "display/bitmap.h"
#include "platform/encoding.h"
#include "scene/scene.h"
#include "tools/isodata/png.h"
#include "tools/isodata/tiled.h"

namespace {

const Tiled_Property* Find(const Tiled_Properties& props, const std::string& name) {
    for (const Tiled_Property& p : props)
        if (p.name == name) return &p;
    return nullptr;
}

// An int16 property, if there is one.
std::optional<int16_t> Int16_Property(const Tiled_Properties& props, const std::string& name,
                                      const std::string& where) {
    const Tiled_Property* p = Find(props, name);
    if (!p) return std::nullopt;
    char* end = nullptr;
    const long long v = std::strtoll(p->value.c_str(), &end, 10);
    if (p->value.empty() || *end != '\0' || v < INT16_MIN || v > INT16_MAX)
        Tiled_Fail(where, "property " + name + " \"" + p->value + "\" is not a 16-bit whole number");
    return int16_t(v);
}

// A text property, or its exact code units when they travel as NAME_utf16.
std::u16string Text_Property(const Tiled_Properties& props, const std::string& name, const std::string& fallback,
                             const std::string& where) {
    const Tiled_Property* hex = Find(props, name + "_utf16");
    if (!hex) {
        const Tiled_Property* p = Find(props, name);
        return From_Utf8(p ? p->value : fallback);
    }
    std::u16string out;
    if (hex->value.size() % 4 != 0) Tiled_Fail(where, "property " + name + "_utf16 is not hex code units");
    for (size_t i = 0; i < hex->value.size(); i += 4) {
        char16_t c = 0;
        for (size_t k = i; k < i + 4; ++k) {
            const char d = hex->value[k];
            const int v = d >= '0' && d <= '9' ? d - '0' : d >= 'a' && d <= 'f' ? d - 'a' + 10 : -1;
            if (v < 0) Tiled_Fail(where, "property " + name + "_utf16 is not hex code units");
            c = char16_t(c * 16 + v);
        }
        out += c;
    }
    return out;
}

std::string Cell_Name(int64_t x, int64_t y) {
    std::string name = std::to_string(x);   // built in steps: g++ 12 misreads "(" + ... as an overlap
    name.insert(0, 1, '(');
    name += ", ";
    name += std::to_string(y);
    name += ')';
    return name;
}

// A piece of a game picture: what a cell refers to.
struct Cut {
    int16_t image_id = 0, source_x = 0, source_y = 0, width = 0, height = 0;
};

// A BMP sheet being filled with the pictures of one tileset's new tiles.
struct Sheet {
    int16_t id = 0;
    int32_t width = 0, height = 0, shelf_x = 0, shelf_y = 0, shelf_h = 0;
    std::vector<std::pair<Rgba_Picture, std::pair<int32_t, int32_t>>> parts;   // picture, where it goes
};

struct Importer {
    const Tiled_Map& tm;
    const File_Reader& read;
    std::vector<Map_Image> images;
    std::vector<Sheet> sheets;
    std::map<size_t, size_t> sheet_of;                // tileset index -> sheet
    std::map<std::pair<size_t, int64_t>, Cut> cuts;   // (tileset, tile id) -> its piece
    int16_t next_id = 1;

    // The tileset and local id of a gid; "outside every tileset" when none has it.
    std::pair<size_t, int64_t> Resolve(uint32_t gid, const std::string& where) const {
        if (gid & 0xF0000000u)
            Tiled_Fail(where, "tile " + std::to_string(gid & 0x0FFFFFFFu) +
                                  " is flipped or rotated, which the game cannot draw");
        size_t best = tm.tilesets.size();
        for (size_t i = 0; i < tm.tilesets.size(); ++i)
            if (tm.tilesets[i].first_gid >= 1 && tm.tilesets[i].first_gid <= int64_t(gid) &&
                (best == tm.tilesets.size() || tm.tilesets[i].first_gid > tm.tilesets[best].first_gid))
                best = i;
        if (best < tm.tilesets.size()) {
            const Tiled_Tileset& ts = tm.tilesets[best];
            const int64_t id = int64_t(gid) - ts.first_gid;
            const bool grid = !ts.image.empty() && id < ts.tile_count;
            const bool listed = std::any_of(ts.tiles.begin(), ts.tiles.end(), [&](const Tiled_Tile& t) {
                return t.id == id && (grid || !t.image.empty());
            });
            if (grid || listed) return {best, id};
        }
        Tiled_Fail(where, "tile id " + std::to_string(gid) + " is outside every tileset");
    }

    Rgba_Picture Picture(const std::string& path, const std::string& trans, const std::string& where) const {
        const std::optional<std::string> bytes = read(path);
        if (!bytes) Tiled_Fail(where, "picture " + path + " not found");
        std::string why;
        std::optional<Rgba_Picture> picture;
        if (bytes->compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
            picture = Decode_Png(*bytes, why);
        } else if (std::optional<Surface> bmp = Decode_Bmp_Bytes(*bytes)) {
            picture = Rgba_Picture{bmp->width, bmp->height, std::vector<uint8_t>(bmp->pixels.size() * 4)};
            for (size_t i = 0; i < bmp->pixels.size(); ++i) {
                const uint32_t c = Pixel_To_Color(bmp->pixels[i]);
                uint8_t* p = &picture->rgba[i * 4];
                p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16), p[3] = bmp->pixels[i] ? 255 : 0;
            }
        } else {
            why = "neither PNG nor BMP";
        }
        if (!picture) Tiled_Fail(where, "picture " + path + ": " + why);
        if (trans.size() == 6) {
            const uint32_t key = uint32_t(std::strtoul(trans.c_str(), nullptr, 16));
            for (size_t i = 0; i < picture->rgba.size(); i += 4) {
                uint8_t* p = &picture->rgba[i];
                if ((uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]) == key) p[3] = 0;
            }
        }
        return *picture;
    }

    Sheet& New_Sheet(size_t tileset, const std::string& where) {
        if (next_id == INT16_MAX) Tiled_Fail(where, "no image id is left for a new picture");
        auto [it, added] = sheet_of.emplace(tileset, sheets.size());
        if (added) sheets.push_back(Sheet{next_id++, 0, 0, 0, 0, 0, {}});
        return sheets[it->second];
    }

    // What tile (tileset, id) cuts from a game picture: its properties for a tile isodata wrote,
    // else its picture placed on a new sheet.
    Cut Cut_Of(size_t tileset, int64_t id) {
        if (auto it = cuts.find({tileset, id}); it != cuts.end()) return it->second;
        const Tiled_Tileset& ts = tm.tilesets[tileset];
        const Tiled_Tile* tile = nullptr;
        for (const Tiled_Tile& t : ts.tiles)
            if (t.id == id) tile = &t;
        const std::string at = ts.where + ", tile " + std::to_string(id);
        Cut cut;
        const Tiled_Properties none;
        const Tiled_Properties& props = tile ? tile->properties : none;
        const std::optional<int16_t> image_id = Int16_Property(props, "image_id", at),
                                     sx = Int16_Property(props, "source_x", at),
                                     sy = Int16_Property(props, "source_y", at);
        if (image_id && sx && sy) {
            cut = {*image_id, *sx, *sy, Int16_Property(props, "width", at).value_or(40),
                   Int16_Property(props, "height", at).value_or(20)};
        } else if (!ts.image.empty()) {   // a grid over one picture: the picture becomes a sheet
            if (ts.tile_width < 1 || ts.tile_height < 1) Tiled_Fail(at, "the tileset's tiles have no size");
            int64_t columns = ts.columns;
            Sheet& sheet = New_Sheet(tileset, at);
            if (sheet.parts.empty()) {
                Rgba_Picture p = Picture(ts.image, ts.trans, ts.where);
                sheet.width = p.width, sheet.height = p.height;
                sheet.parts.emplace_back(std::move(p), std::pair{0, 0});
            }
            if (columns < 1)
                columns =
                    std::max<int64_t>(1, (sheet.width - 2 * ts.margin + ts.spacing) / (ts.tile_width + ts.spacing));
            const int64_t x = ts.margin + (id % columns) * (ts.tile_width + ts.spacing),
                          y = ts.margin + (id / columns) * (ts.tile_height + ts.spacing);
            if (x < 0 || y < 0 || x + ts.tile_width > sheet.width || y + ts.tile_height > sheet.height ||
                ts.tile_width > INT16_MAX || ts.tile_height > INT16_MAX)
                Tiled_Fail(at, "lies outside its picture of " + std::to_string(sheet.width) + " x " +
                                   std::to_string(sheet.height));
            cut = {sheet.id, int16_t(x), int16_t(y), int16_t(ts.tile_width), int16_t(ts.tile_height)};
        } else {   // a collection: the tile's picture packed onto the tileset's sheet
            Rgba_Picture p = Picture(tile->image, tile->trans, at);
            Sheet& sheet = New_Sheet(tileset, at);
            const int32_t width = std::max(1024, p.width);
            if (sheet.shelf_x + p.width > width) sheet.shelf_x = 0, sheet.shelf_y += sheet.shelf_h, sheet.shelf_h = 0;
            if (int64_t(sheet.shelf_y) + p.height > INT16_MAX)
                Tiled_Fail(at, "the pictures of its tileset fill more than one sheet");
            cut = {sheet.id, int16_t(sheet.shelf_x), int16_t(sheet.shelf_y), int16_t(p.width), int16_t(p.height)};
            sheet.parts.push_back({p, {sheet.shelf_x, sheet.shelf_y}});
            sheet.shelf_x += p.width;
            sheet.shelf_h = std::max(sheet.shelf_h, p.height);
            sheet.width = std::max(sheet.width, sheet.shelf_x);
            sheet.height = std::max(sheet.height, sheet.shelf_y + sheet.shelf_h);
        }
        cuts[{tileset, id}] = cut;
        return cut;
    }

    const Tiled_Layer* Layer(const std::string& name, bool tiles, Map_Model& map) const {
        const Tiled_Layer* found = nullptr;
        for (const Tiled_Layer& l : tm.layers) {
            if (l.name != name || found) continue;
            if (l.tiles != tiles)
                Tiled_Fail(l.where, std::string("must be a ") + (tiles ? "tile" : "object") + " layer");
            if (tiles && (l.width != map.Map_Width || l.height != map.Map_Height))
                Tiled_Fail(l.where, "is " + std::to_string(l.width) + " x " + std::to_string(l.height) + ", the map " +
                                        std::to_string(map.Map_Width) + " x " + std::to_string(map.Map_Height));
            found = &l;
        }
        return found;
    }

    void Pieces(const Tiled_Layer& layer, Cell_Grid<Piece_Cell>& grid, Map_Model& map) {
        std::vector<int64_t> owner(grid.cells.size(), -1);
        for (const Tiled_Object& o : layer.objects) {
            const std::string where = layer.where + ", object " + std::to_string(o.id);
            if (o.gid == 0) Tiled_Fail(where, "is not a tile object; this layer holds only pieces of pictures");
            if (o.rotation != 0) Tiled_Fail(where, "is rotated, which the game cannot draw");
            const auto [tileset, id] = Resolve(o.gid, where);
            const Tiled_Tileset& ts = tm.tilesets[tileset];
            const Cut cut = Cut_Of(tileset, id);
            const double w = o.width > 0 ? o.width : std::max<double>(cut.width, 1),
                         h = o.height > 0 ? o.height : std::max<double>(cut.height, 1);
            // Where Tiled draws the picture's top-left corner: its alignment point minus the share of its size.
            const std::string align =
                ts.object_alignment.empty() || ts.object_alignment == "unspecified" ? "bottom" : ts.object_alignment;
            const double ax = align.find("left") != std::string::npos    ? 0
                              : align.find("right") != std::string::npos ? w
                                                                         : w / 2;
            const double ay = align.rfind("top", 0) == 0 ? 0 : align.rfind("bottom", 0) == 0 ? h : h / 2;
            const Tiled_Point at = Tiled_To_Game(o.x, o.y);
            const double left = at.x - ax + double(ts.offset_x), top = at.y - ay + double(ts.offset_y);
            int64_t cx = 0, cy = 0;
            const std::optional<int16_t> px = Int16_Property(o.properties, "cell_x", where),
                                         py = Int16_Property(o.properties, "cell_y", where);
            if (px && py)
                cx = *px, cy = *py;
            else
                Foot_Cell(left, top, w, h, cx, cy);
            if (cx < 0 || cy < 0 || cx >= map.Map_Width || cy >= map.Map_Height)
                Tiled_Fail(where, "stands on cell " + Cell_Name(cx, cy) + ", outside the map");
            const double ox = std::round(left - Tile_Left(int32_t(cx), int32_t(cy))),
                         oy = std::round(top - Tile_Top(int32_t(cx), int32_t(cy)));
            if (std::fabs(ox) > INT16_MAX || std::fabs(oy) > INT16_MAX)
                Tiled_Fail(where,
                           "lies too far from its cell " + Cell_Name(cx, cy) + " for the map file's 16-bit offsets");
            int64_t& first = owner[size_t(cy) * size_t(map.Map_Width) + size_t(cx)];
            if (first >= 0)
                Tiled_Fail(where, "is a second piece on cell " + Cell_Name(cx, cy) + " after object " +
                                      std::to_string(first) + "; a cell holds one piece a layer");
            first = o.id;
            Piece_Cell& p = grid(int32_t(cx), int32_t(cy));
            p = {cut.source_x,
                 cut.source_y,
                 int16_t(ox),
                 int16_t(oy),
                 cut.width,
                 cut.height,
                 Int16_Property(o.properties, "present", where).value_or(o.visible ? 1 : 0),
                 cut.image_id};
        }
    }

    Tiled_Import Run(const std::string& program_folder, const std::string& stem) {
        Tiled_Import out;
        Map_Model& map = out.map;
        out.notes = tm.notes;
        map.Map_Width = int16_t(tm.width), map.Map_Height = int16_t(tm.height);
        const std::string where = tm.file + ": map";
        for (int i = 0;; ++i) {
            const std::string key = "image." + std::to_string(i) + ".";
            const std::optional<int16_t> id = Int16_Property(tm.properties, key + "id", where);
            if (!id) break;
            images.push_back(Map_Image{Text_Property(tm.properties, key + "file", "", where), *id, {}});
            next_id = std::max<int16_t>(next_id, int16_t(std::min<int>(*id + 1, INT16_MAX)));
        }
        const Tiled_Layer* ground = Layer("ground", true, map);
        if (!ground) Tiled_Fail(where, "no tile layer named \"ground\"");
        for (const Tiled_Layer& l : tm.layers)
            if (l.name != "ground" && l.name != "blocked" && l.name != "objects" && l.name != "overlay" &&
                l.name != "texts")
                out.notes.push_back(l.where + ": not a layer the game has, left out");
        map.Ground_Grid.Resize(map.Map_Width, map.Map_Height);
        map.Object_Grid.Resize(map.Map_Width, map.Map_Height);
        map.Overlay_Grid.Resize(map.Map_Width, map.Map_Height);
        for (int32_t y = 0; y < map.Map_Height; ++y)
            for (int32_t x = 0; x < map.Map_Width; ++x) {
                const std::string at = ground->where + ", cell " + Cell_Name(x, y);
                const uint32_t gid = ground->gids[size_t(y) * size_t(map.Map_Width) + size_t(x)];
                if (gid == 0) Tiled_Fail(at, "has no tile; every cell needs ground");
                const auto [tileset, id] = Resolve(gid, at);
                const Cut cut = Cut_Of(tileset, id);
                if (cut.width != 40 || cut.height != 20)
                    Tiled_Fail(at, "tile " + std::to_string(id) + " of " + tm.tilesets[tileset].where + " is " +
                                       std::to_string(cut.width) + " x " + std::to_string(cut.height) +
                                       "; ground tiles are 40 x 20");
                Ground_Cell& g = map.Ground_Grid(x, y);
                g.image_id = cut.image_id, g.source_x = cut.source_x, g.source_y = cut.source_y;
            }
        if (const Tiled_Layer* blocked = Layer("blocked", true, map))
            for (int32_t y = 0; y < map.Map_Height; ++y)
                for (int32_t x = 0; x < map.Map_Width; ++x) {
                    const uint32_t gid = blocked->gids[size_t(y) * size_t(map.Map_Width) + size_t(x)];
                    if (gid == 0) continue;
                    const std::string at = blocked->where + ", cell " + Cell_Name(x, y);
                    const auto [tileset, id] = Resolve(gid, at);
                    const Tiled_Properties* props = nullptr;
                    for (const Tiled_Tile& t : tm.tilesets[tileset].tiles)
                        if (t.id == id) props = &t.properties;
                    map.Ground_Grid(x, y).blocked =
                        props ? Int16_Property(*props, "blocked", at).value_or(int16_t(-1)) : int16_t(-1);
                }
        if (const Tiled_Layer* l = Layer("objects", false, map)) Pieces(*l, map.Object_Grid, map);
        if (const Tiled_Layer* l = Layer("overlay", false, map)) Pieces(*l, map.Overlay_Grid, map);
        if (const Tiled_Layer* texts = Layer("texts", false, map)) {
            std::vector<int64_t> owner(map.Ground_Grid.cells.size(), -1);
            for (const Tiled_Object& o : texts->objects) {
                const std::string at = texts->where + ", object " + std::to_string(o.id);
                if (!o.has_text) {
                    out.notes.push_back(at + ": not a text object, left out");
                    continue;
                }
                const int64_t cx = int64_t(std::floor(o.x / 20 + 1e-9)), cy = int64_t(std::floor(o.y / 20 + 1e-9));
                if (cx < 0 || cy < 0 || cx >= map.Map_Width || cy >= map.Map_Height)
                    Tiled_Fail(at, "lies on cell " + Cell_Name(cx, cy) + ", outside the map");
                int64_t& first = owner[size_t(cy) * size_t(map.Map_Width) + size_t(cx)];
                if (first >= 0)
                    Tiled_Fail(
                        at, "is a second text on cell " + Cell_Name(cx, cy) + " after object " + std::to_string(first));
                first = o.id;
                map.Ground_Grid(int32_t(cx), int32_t(cy)).text = Text_Property(o.properties, "text", o.text, at);
            }
        }
        // The new sheets, black where nothing is; a picture's own black nudged off the colour key.
        for (size_t k = 0; k < sheets.size(); ++k) {
            const Sheet& s = sheets[k];
            std::vector<uint32_t> rgb(size_t(s.width) * size_t(s.height), 0);
            for (const auto& [p, at] : s.parts)
                for (int32_t y = 0; y < p.height; ++y)
                    for (int32_t x = 0; x < p.width; ++x) {
                        const uint8_t* c = &p.rgba[(size_t(y) * size_t(p.width) + size_t(x)) * 4];
                        if (c[3] < 128) continue;
                        uint32_t colour = Rgb(c[0], c[1], c[2]);
                        if (Color_To_Pixel(colour) == 0) colour = Rgb(0, 0, 8);
                        rgb[size_t(at.second + y) * size_t(s.width) + size_t(at.first + x)] = colour;
                    }
            std::string name = "images/";
            name += stem;
            name += "_" + std::to_string(k) + ".bmp";
            out.pictures.emplace_back(std::string(program_folder).append("/").append(name),
                                      Encode_Bmp(s.width, s.height, [&](int32_t x, int32_t y) {
                                          return rgb[size_t(y) * size_t(s.width) + size_t(x)];
                                      }));
            std::u16string file_name = From_Utf8(name);
            std::replace(file_name.begin(), file_name.end(), u'/', u'\\');
            images.push_back(Map_Image{file_name, s.id, {}});
        }
        if (images.empty()) Tiled_Fail(where, "names no pictures (properties image.0.file, image.0.id, ...)");
        if (images.size() > size_t(INT16_MAX)) Tiled_Fail(where, "names more pictures than the map file holds");
        map.Map_Images = std::move(images);
        map.Map_Image_Count = int16_t(map.Map_Images.size());
        Index_Map_Images(map);
        return out;
    }
};

}   // namespace

Tiled_Import Import_Tiled(const std::string& path, const File_Reader& read, const std::string& program_folder,
                          const std::string& map_stem) {
    const Tiled_Map tm = Read_Tiled_Map(path, read);
    return Importer{tm, read, {}, {}, {}, {}, 1}.Run(program_folder, map_stem);
}
