// tiled_export.cpp -- `isodata export-tiled`: a map as a TMX file with its tilesets and their pictures.
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <pugixml.hpp>
#include <sstream>
#include <tuple>

#include "display/bitmap.h"
#include "platform/encoding.h"
#include "scene/scene.h"
#include "tools/isodata/pictures.h"
#include "tools/isodata/png.h"
#include "tools/isodata/tiled.h"

void Foot_Cell(double left, double top, double w, double h, int64_t& cell_x, int64_t& cell_y) {
    const double x = left + w / 2, y = top + h - 5;
    cell_x = int64_t(std::floor((x - 20 + 2 * y) / 40));
    cell_y = int64_t(std::floor((2 * y - x + 20) / 40));
}

bool Tiled_Keeps(const std::u16string& text) {
    if (text.empty()) return true;
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    if (blank(text.front()) || blank(text.back())) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE || c == 0xFFFF) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::string Utf16_Hex(const std::u16string& text) {
    static const char* const DIGITS = "0123456789abcdef";
    std::string out;
    for (char16_t c : text)
        for (int shift = 12; shift >= 0; shift -= 4) out += DIGITS[(c >> shift) & 0xF];
    return out;
}

namespace {

// What an author sees of a text: characters XML cannot hold shown as U+FFFD.
std::string Shown(const std::u16string& text) {
    std::u16string shown = text;
    for (char16_t& c : shown)
        if ((c < 0x20 && c != u'\t' && c != u'\n') || c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;
    return To_Utf8(shown);
}

const char* const VERSION = "1.8";
const char* const TILED_VERSION = "1.8.2";

// Half pixels print as "12.5", whole ones without a point.
std::string Number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

void Add_Property(pugi::xml_node properties, const std::string& name, int64_t value) {
    pugi::xml_node p = properties.append_child("property");
    p.append_attribute("name") = name.c_str();
    p.append_attribute("type") = "int";
    p.append_attribute("value") = std::to_string(value).c_str();
}

void Add_Text_Property(pugi::xml_node properties, const std::string& name, const std::u16string& text) {
    pugi::xml_node p = properties.append_child("property");
    p.append_attribute("name") = name.c_str();
    p.append_attribute("value") = Shown(text).c_str();
    if (!Tiled_Keeps(text)) {
        pugi::xml_node hex = properties.append_child("property");
        hex.append_attribute("name") = (name + "_utf16").c_str();
        hex.append_attribute("value") = Utf16_Hex(text).c_str();
    }
}

std::string Xml_Text(const pugi::xml_document& doc) {
    std::ostringstream s;
    doc.save(s, " ", pugi::format_default, pugi::encoding_utf8);
    return s.str();
}

pugi::xml_node Declared(pugi::xml_document& doc, const char* root) {
    pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    pugi::xml_node node = doc.append_child(root);
    node.append_attribute("version") = VERSION;
    node.append_attribute("tiledversion") = TILED_VERSION;
    return node;
}

// A rectangle of a game picture as PNG, black made transparent; beyond the picture is transparent too.
std::string Cut_Out(const Surface& source, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    Rgba_Picture cut{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 4, 0)};
    for (int32_t j = 0; j < h; ++j)
        for (int32_t i = 0; i < w; ++i) {
            const int32_t x = sx + i, y = sy + j;
            if (x < 0 || y < 0 || x >= source.width || y >= source.height || source.At(x, y) == 0) continue;
            const uint32_t c = Pixel_To_Color(source.At(x, y));
            uint8_t* p = &cut.rgba[(size_t(j) * size_t(w) + size_t(i)) * 4];
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16), p[3] = 255;
        }
    return Encode_Png(cut);
}

// A 40 x 20 diamond in translucent red: the walkability layer's tile.
std::string Blocked_Picture() {
    Rgba_Picture d{40, 20, std::vector<uint8_t>(size_t(40) * 20 * 4, 0)};
    for (int v = 0; v < 20; ++v)
        for (int u = 0; u < 40; ++u)
            if (u - 2 * v < 20 && u - 2 * v > -20 && u + 2 * v > 20 && u + 2 * v < 60) {
                uint8_t* p = &d.rgba[size_t(v * 40 + u) * 4];
                p[0] = 230, p[1] = 30, p[2] = 30, p[3] = 160;
            }
    return Encode_Png(d);
}

struct Piece_Key {
    int16_t image_id, source_x, source_y, width, height;
    auto operator<=>(const Piece_Key&) const = default;
};

// Tiles of a picture collection, each a distinct rectangle of a game picture.
struct Collection {
    std::string name;
    std::map<Piece_Key, int32_t> index;
    std::vector<Piece_Key> keys;
    int32_t Of(const Piece_Key& k) {
        auto [it, added] = index.emplace(k, int32_t(keys.size()));
        if (added) keys.push_back(k);
        return it->second;
    }
};

}   // namespace

std::vector<std::pair<std::string, std::string>> Export_Tiled(const Map_Model& map, const std::string& program_folder,
                                                              const std::string& name) {
    const std::string where = name + ".tmx";
    std::vector<Surface> images;
    for (size_t i = 0; i < map.Map_Images.size(); ++i) {
        std::string why;
        const std::optional<std::string> path =
            Resolve_In_Program_Folder(map.Map_Images[i].file_name, program_folder, why);
        std::optional<Surface> picture = path ? Decode_Bmp(*path) : std::nullopt;
        if (!picture)
            throw Tiled_Error("image entry " + std::to_string(i) + ": picture \"" +
                              To_Utf8(map.Map_Images[i].file_name) + "\" " + (path ? "cannot be decoded" : why));
        images.push_back(std::move(*picture));
    }
    const int32_t W = map.Map_Width, H = map.Map_Height;
    Collection ground{"ground", {}, {}}, pieces{"pieces", {}, {}};
    std::vector<int32_t> ground_tiles(size_t(W) * size_t(H));
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const Ground_Cell& g = map.Ground_Grid(x, y);
            ground_tiles[size_t(y) * size_t(W) + size_t(x)] = ground.Of({g.image_id, g.source_x, g.source_y, 40, 20});
        }
    std::vector<int16_t> blocked_values = {-1};   // tile 0 paints the usual value
    for (const Ground_Cell& g : map.Ground_Grid.cells)
        if (g.blocked != 0 &&
            std::find(blocked_values.begin(), blocked_values.end(), g.blocked) == blocked_values.end())
            blocked_values.push_back(g.blocked);

    // Pieces first, so the pieces tileset is complete before the map is written.
    struct Placed {
        int32_t x, y, tile;
        const Piece_Cell* piece;
    };
    std::vector<Placed> placed[2];
    const Cell_Grid<Piece_Cell>* grids[2] = {&map.Object_Grid, &map.Overlay_Grid};
    for (int layer = 0; layer < 2; ++layer)
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const Piece_Cell& p = (*grids[layer])(x, y);
                if (p == Piece_Cell{}) continue;
                if (int64_t(std::max<int16_t>(p.width, 1)) * std::max<int16_t>(p.height, 1) > MAX_PICTURE_PIXELS)
                    throw Tiled_Error(std::string(layer ? "overlay" : "object") + " cell (" + std::to_string(x) + ", " +
                                      std::to_string(y) + "): a piece of " + std::to_string(p.width) + " x " +
                                      std::to_string(p.height) + " is larger than a picture may be");
                placed[layer].push_back({x, y, pieces.Of({p.image_id, p.source_x, p.source_y, p.width, p.height}), &p});
            }

    std::vector<std::pair<std::string, std::string>> files;
    const auto image_of = [&](int16_t id) -> const Surface& { return images[size_t(Find_Image_Index(map, id))]; };
    // The two picture collections, and the walkability tileset.
    for (Collection* c : {&ground, &pieces}) {
        pugi::xml_document doc;
        pugi::xml_node ts = Declared(doc, "tileset");
        int32_t widest = 1, highest = 1;
        for (const Piece_Key& k : c->keys)
            widest = std::max<int32_t>(widest, k.width), highest = std::max<int32_t>(highest, k.height);
        ts.append_attribute("name") = c->name.c_str();
        ts.append_attribute("tilewidth") = widest;
        ts.append_attribute("tileheight") = highest;
        ts.append_attribute("tilecount") = int32_t(c->keys.size());
        ts.append_attribute("columns") = 0;
        if (c == &pieces) ts.append_attribute("objectalignment") = "topleft";
        pugi::xml_node grid = ts.append_child("grid");
        grid.append_attribute("orientation") = "orthogonal";
        grid.append_attribute("width") = 1;
        grid.append_attribute("height") = 1;
        for (size_t i = 0; i < c->keys.size(); ++i) {
            const Piece_Key& k = c->keys[i];
            const int32_t w = std::max<int32_t>(k.width, 1), h = std::max<int32_t>(k.height, 1);
            const std::string picture = c->name + "/" + std::to_string(i) + ".png";
            pugi::xml_node tile = ts.append_child("tile");
            tile.append_attribute("id") = int32_t(i);
            pugi::xml_node props = tile.append_child("properties");
            Add_Property(props, "image_id", k.image_id);
            Add_Property(props, "source_x", k.source_x);
            Add_Property(props, "source_y", k.source_y);
            if (c == &pieces) {
                Add_Property(props, "width", k.width);
                Add_Property(props, "height", k.height);
            }
            pugi::xml_node image = tile.append_child("image");
            image.append_attribute("width") = w;
            image.append_attribute("height") = h;
            image.append_attribute("source") = picture.c_str();
            files.emplace_back(picture, Cut_Out(image_of(k.image_id), k.source_x, k.source_y, w, h));
        }
        files.emplace_back(c->name + ".tsx", Xml_Text(doc));
    }
    {
        pugi::xml_document doc;
        pugi::xml_node ts = Declared(doc, "tileset");
        ts.append_attribute("name") = "blocked";
        ts.append_attribute("tilewidth") = 40;
        ts.append_attribute("tileheight") = 20;
        ts.append_attribute("tilecount") = int32_t(blocked_values.size());
        ts.append_attribute("columns") = 0;
        for (size_t i = 0; i < blocked_values.size(); ++i) {
            pugi::xml_node tile = ts.append_child("tile");
            tile.append_attribute("id") = int32_t(i);
            Add_Property(tile.append_child("properties"), "blocked", blocked_values[i]);
            pugi::xml_node image = tile.append_child("image");
            image.append_attribute("width") = 40;
            image.append_attribute("height") = 20;
            image.append_attribute("source") = "blocked.png";
        }
        files.emplace_back("blocked.png", Blocked_Picture());
        files.emplace_back("blocked.tsx", Xml_Text(doc));
    }
    const int64_t pieces_gid = 1 + int64_t(ground.keys.size()), blocked_gid = pieces_gid + int64_t(pieces.keys.size());

    pugi::xml_document doc;
    pugi::xml_node m = Declared(doc, "map");
    m.append_attribute("orientation") = "isometric";
    m.append_attribute("renderorder") = "right-down";
    m.append_attribute("width") = W;
    m.append_attribute("height") = H;
    m.append_attribute("tilewidth") = 40;
    m.append_attribute("tileheight") = 20;
    m.append_attribute("infinite") = 0;
    m.append_attribute("nextlayerid") = 6;
    pugi::xml_attribute next_object = m.append_attribute("nextobjectid");
    pugi::xml_node props = m.append_child("properties");
    for (size_t i = 0; i < map.Map_Images.size(); ++i) {
        const std::string key = "image." + std::to_string(i) + ".";
        Add_Text_Property(props, key + "file", map.Map_Images[i].file_name);
        Add_Property(props, key + "id", map.Map_Images[i].id);
    }
    for (const auto& [source, gid] :
         {std::pair{"ground.tsx", int64_t(1)}, {"pieces.tsx", pieces_gid}, {"blocked.tsx", blocked_gid}}) {
        pugi::xml_node t = m.append_child("tileset");
        t.append_attribute("firstgid") = gid;
        t.append_attribute("source") = source;
    }
    int32_t layer_id = 0, object_id = 0;
    const auto tile_layer = [&](const char* layer_name, const std::function<int64_t(int32_t, int32_t)>& gid_at) {
        pugi::xml_node l = m.append_child("layer");
        l.append_attribute("id") = ++layer_id;
        l.append_attribute("name") = layer_name;
        l.append_attribute("width") = W;
        l.append_attribute("height") = H;
        std::string csv = "\n";
        for (int32_t y = 0; y < H; ++y) {
            for (int32_t x = 0; x < W; ++x) csv += std::to_string(gid_at(x, y)) + (x + 1 < W || y + 1 < H ? "," : "");
            csv += "\n";
        }
        pugi::xml_node data = l.append_child("data");
        data.append_attribute("encoding") = "csv";
        data.text() = csv.c_str();
        return l;
    };
    tile_layer("ground", [&](int32_t x, int32_t y) { return 1 + ground_tiles[size_t(y) * size_t(W) + size_t(x)]; });
    for (int layer = 0; layer < 2; ++layer) {
        pugi::xml_node g = m.append_child("objectgroup");
        g.append_attribute("id") = ++layer_id;
        g.append_attribute("name") = layer ? "overlay" : "objects";
        g.append_attribute("draworder") = "index";   // the game's order: row by row
        for (const Placed& p : placed[layer]) {
            const Piece_Cell& c = *p.piece;
            const double left = Tile_Left(p.x, p.y) + c.offset_x, top = Tile_Top(p.x, p.y) + c.offset_y;
            const Tiled_Point at = Game_To_Tiled(left, top);
            pugi::xml_node o = g.append_child("object");
            o.append_attribute("id") = ++object_id;
            o.append_attribute("gid") = pieces_gid + p.tile;
            o.append_attribute("x") = Number(at.x).c_str();
            o.append_attribute("y") = Number(at.y).c_str();
            o.append_attribute("width") = std::max<int16_t>(c.width, 1);
            o.append_attribute("height") = std::max<int16_t>(c.height, 1);
            if (c.present == 0) o.append_attribute("visible") = 0;
            int64_t foot_x = 0, foot_y = 0;
            Foot_Cell(left, top, std::max<int16_t>(c.width, 1), std::max<int16_t>(c.height, 1), foot_x, foot_y);
            const bool own_cell = foot_x != p.x || foot_y != p.y;
            if (own_cell || (c.present != 0 && c.present != 1)) {
                pugi::xml_node op = o.append_child("properties");
                if (own_cell) Add_Property(op, "cell_x", p.x), Add_Property(op, "cell_y", p.y);
                if (c.present != 0 && c.present != 1) Add_Property(op, "present", c.present);
            }
        }
    }
    tile_layer("blocked", [&](int32_t x, int32_t y) -> int64_t {
        const int16_t b = map.Ground_Grid(x, y).blocked;
        if (b == 0) return 0;
        return blocked_gid + (std::find(blocked_values.begin(), blocked_values.end(), b) - blocked_values.begin());
    }).append_attribute("opacity") = "0.5";
    pugi::xml_node texts = m.append_child("objectgroup");
    texts.append_attribute("id") = ++layer_id;
    texts.append_attribute("name") = "texts";
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const std::u16string& text = map.Ground_Grid(x, y).text;
            if (text.empty()) continue;
            pugi::xml_node o = texts.append_child("object");
            o.append_attribute("id") = ++object_id;
            o.append_attribute("x") = x * 20;
            o.append_attribute("y") = y * 20;
            o.append_attribute("width") = 80;
            o.append_attribute("height") = 20;
            if (!Tiled_Keeps(text)) {
                pugi::xml_node p = o.append_child("properties").append_child("property");
                p.append_attribute("name") = "text_utf16";
                p.append_attribute("value") = Utf16_Hex(text).c_str();
            }
            pugi::xml_node t = o.append_child("text");
            t.append_attribute("wrap") = 1;
            t.text() = Shown(text).c_str();
        }
    next_object = object_id + 1;
    files.emplace_back(where, Xml_Text(doc));
    return files;
}
