// tiled_read.cpp -- reading Tiled's TMX and JSON maps and tilesets into one form, layer data decoded.
#include <nlohmann/json.hpp>
#include <zlib.h>
#include <zstd.h>

#include <charconv>
#include <cstring>
#include <pugixml.hpp>

#include "tools/isodata/tiled.h"

namespace {

bool Is_Json(const std::string& bytes) {
    size_t i = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (i < bytes.size() && std::strchr(" \t\r\n", bytes[i]) != nullptr && bytes[i] != '\0') ++i;
    return i < bytes.size() && bytes[i] == '{';
}

std::string Folder_Of(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
    if (name.empty() || name[0] == '/' || (name.size() > 1 && name[1] == ':')) return name;
    return folder + name;
}

int64_t Parse_Int(const std::string& text, const std::string& where, const char* what) {
    int64_t v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end)
        Tiled_Fail(where, std::string(what) + " \"" + text + "\" is not a whole number");
    return v;
}

double Parse_Double(const std::string& text, const std::string& where, const char* what) {
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v))
        Tiled_Fail(where, std::string(what) + " \"" + text + "\" is not a number");
    return v;
}

uint32_t Parse_Gid(const std::string& text, const std::string& where) {
    const int64_t v = Parse_Int(text, where, "tile");
    if (v < 0 || v > int64_t(UINT32_MAX)) Tiled_Fail(where, "tile " + text + " is not a tile number");
    return uint32_t(v);
}

// ---- layer data

std::string Base64_Decode(const std::string& text, const std::string& where) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char ch : text) {
        int v;
        if (ch >= 'A' && ch <= 'Z')
            v = ch - 'A';
        else if (ch >= 'a' && ch <= 'z')
            v = ch - 'a' + 26;
        else if (ch >= '0' && ch <= '9')
            v = ch - '0' + 52;
        else if (ch == '+')
            v = 62;
        else if (ch == '/')
            v = 63;
        else if (ch == '=' || ch == ' ' || ch == '\n' || ch == '\r' || ch == '\t')
            continue;
        else
            Tiled_Fail(where, "data is not base64");
        bits = (bits << 6) | uint32_t(v);
        if (++count == 4) {
            out += {char(bits >> 16), char(bits >> 8), char(bits)};
            bits = 0, count = 0;
        }
    }
    if (count == 1) Tiled_Fail(where, "data is not base64");
    if (count == 2) out += char(bits >> 4);
    if (count == 3) out += {char(bits >> 10), char(bits >> 2)};
    return out;
}

// Decompressed layer data, never more than `expected` bytes.
std::string Inflate(const std::string& in, size_t expected, const std::string& where) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) Tiled_Fail(where, "cannot start zlib");   // zlib or gzip
    std::string out(expected + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = uInt(in.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    const int status = inflate(&z, Z_FINISH);
    const size_t got = out.size() - z.avail_out;
    inflateEnd(&z);
    if (status != Z_STREAM_END || got != expected)
        Tiled_Fail(where, "compressed data is damaged or not the layer's size");
    out.resize(got);
    return out;
}

std::string Unzstd(const std::string& in, size_t expected, const std::string& where) {
    ZSTD_DCtx* dctx = ZSTD_createDCtx();
    std::string out(expected + 1, '\0');
    ZSTD_inBuffer input{in.data(), in.size(), 0};
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    size_t status = 1;
    while (status != 0 && output.pos < output.size) {
        status = ZSTD_decompressStream(dctx, &output, &input);
        if (ZSTD_isError(status) || (status != 0 && input.pos == input.size)) break;
    }
    ZSTD_freeDCtx(dctx);
    if (ZSTD_isError(status) || status != 0 || output.pos != expected || input.pos != input.size)
        Tiled_Fail(where, "zstd data is damaged or not the layer's size");
    out.resize(expected);
    return out;
}

std::vector<uint32_t> Decode_Binary(const std::string& text, const std::string& compression, size_t cells,
                                    const std::string& where) {
    std::string bytes = Base64_Decode(text, where);
    if (compression == "zlib" || compression == "gzip")
        bytes = Inflate(bytes, cells * 4, where);
    else if (compression == "zstd")
        bytes = Unzstd(bytes, cells * 4, where);
    else if (!compression.empty())
        Tiled_Fail(where, "compression \"" + compression + "\" is not one Tiled writes");
    if (bytes.size() != cells * 4)
        Tiled_Fail(where,
                   "data holds " + std::to_string(bytes.size() / 4) + " tiles, the layer " + std::to_string(cells));
    std::vector<uint32_t> gids(cells);
    for (size_t i = 0; i < cells; ++i)
        gids[i] = uint32_t(uint8_t(bytes[i * 4])) | uint32_t(uint8_t(bytes[i * 4 + 1])) << 8 |
                  uint32_t(uint8_t(bytes[i * 4 + 2])) << 16 | uint32_t(uint8_t(bytes[i * 4 + 3])) << 24;
    return gids;
}

std::vector<uint32_t> Decode_Csv(const std::string& text, size_t cells, const std::string& where) {
    std::vector<uint32_t> gids;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::strchr(" \t\r\n,", text[i]) != nullptr && text[i] != '\0') ++i;
        size_t j = i;
        while (j < text.size() && std::strchr(" \t\r\n,", text[j]) == nullptr) ++j;
        if (j > i) {
            if (gids.size() == cells)
                Tiled_Fail(where, "data holds more tiles than the layer's " + std::to_string(cells));
            gids.push_back(Parse_Gid(text.substr(i, j - i), where));
        }
        i = j;
    }
    if (gids.size() != cells)
        Tiled_Fail(where, "data holds " + std::to_string(gids.size()) + " tiles, the layer " + std::to_string(cells));
    return gids;
}

// The map's and each layer's size: what the map file's 16-bit fields and the game can take.
void Check_Size(int64_t w, int64_t h, const std::string& where) {
    const std::string size = std::to_string(w) + " x " + std::to_string(h);
    if (w < 1 || h < 1) Tiled_Fail(where, "size " + size + " is empty");
    if (w > INT16_MAX || h > INT16_MAX)
        Tiled_Fail(where, "size " + size + " is too large for the map file's 16-bit fields");
    if (w > MAX_MAP_SIDE || h > MAX_MAP_SIDE)
        Tiled_Fail(where,
                   "size " + size + " is larger than the game draws (" + std::to_string(MAX_MAP_SIDE) + " a side)");
}

void Check_Map_Header(const std::string& orientation, int64_t tw, int64_t th, bool infinite, const std::string& where) {
    if (orientation != "isometric")
        Tiled_Fail(where, "orientation \"" + orientation + "\": the game's maps are isometric (Map > Map Properties)");
    if (tw != 40 || th != 20)
        Tiled_Fail(where,
                   "tile size " + std::to_string(tw) + " x " + std::to_string(th) + ": the game's tiles are 40 x 20");
    if (infinite) Tiled_Fail(where, "an infinite map: the game's maps have a fixed size (uncheck Infinite)");
}

// ---- TMX

struct Tmx_Reader {
    const File_Reader& read;
    Tiled_Map& map;

    int64_t Int(pugi::xml_node n, const char* name, const std::string& where, int64_t fallback) {
        pugi::xml_attribute a = n.attribute(name);
        return a ? Parse_Int(a.value(), where, name) : fallback;
    }
    double Real(pugi::xml_node n, const char* name, const std::string& where) {
        pugi::xml_attribute a = n.attribute(name);
        return a ? Parse_Double(a.value(), where, name) : 0;
    }

    static Tiled_Properties Properties(pugi::xml_node n) {
        Tiled_Properties out;
        for (pugi::xml_node p : n.child("properties").children("property")) {
            pugi::xml_attribute value = p.attribute("value");
            out.push_back(
                {p.attribute("name").value(), p.attribute("type").value(), value ? value.value() : p.text().get()});
        }
        return out;
    }

    void Tileset(pugi::xml_node n, Tiled_Tileset& ts, const std::string& where) {
        ts.name = n.attribute("name").value();
        ts.tile_width = Int(n, "tilewidth", where, 0);
        ts.tile_height = Int(n, "tileheight", where, 0);
        ts.spacing = Int(n, "spacing", where, 0);
        ts.margin = Int(n, "margin", where, 0);
        ts.tile_count = Int(n, "tilecount", where, 0);
        ts.columns = Int(n, "columns", where, 0);
        ts.object_alignment = n.attribute("objectalignment").value();
        ts.offset_x = Int(n.child("tileoffset"), "x", where, 0);
        ts.offset_y = Int(n.child("tileoffset"), "y", where, 0);
        if (pugi::xml_node image = n.child("image")) {
            ts.image = Join(ts.folder, image.attribute("source").value());
            ts.trans = image.attribute("trans").value();
        }
        for (pugi::xml_node t : n.children("tile")) {
            Tiled_Tile tile;
            tile.id = Int(t, "id", where, -1);
            if (pugi::xml_node image = t.child("image")) {
                tile.image = Join(ts.folder, image.attribute("source").value());
                tile.trans = image.attribute("trans").value();
            }
            tile.properties = Properties(t);
            ts.tiles.push_back(std::move(tile));
        }
    }

    void Layers(pugi::xml_node parent, int depth) {
        if (depth > 32) Tiled_Fail(map.file, "layer groups nested more than 32 deep");
        for (pugi::xml_node n : parent.children()) {
            const std::string kind = n.name();
            const std::string where = map.file + ": " + (kind == "layer" ? "layer" : "object layer") + " \"" +
                                      n.attribute("name").value() + "\"";
            if (kind == "group") {
                Layers(n, depth + 1);
            } else if (kind == "layer") {
                Tiled_Layer l;
                l.name = n.attribute("name").value();
                l.where = where;
                l.width = Int(n, "width", where, map.width);
                l.height = Int(n, "height", where, map.height);
                Check_Size(l.width, l.height, where);
                const size_t cells = size_t(l.width) * size_t(l.height);
                pugi::xml_node data = n.child("data");
                const std::string encoding = data.attribute("encoding").value();
                if (encoding == "csv") {
                    l.gids = Decode_Csv(data.text().get(), cells, where);
                } else if (encoding == "base64") {
                    l.gids = Decode_Binary(data.text().get(), data.attribute("compression").value(), cells, where);
                } else if (encoding.empty()) {
                    for (pugi::xml_node t : data.children("tile")) {
                        if (l.gids.size() == cells) Tiled_Fail(where, "data holds more tiles than the layer's size");
                        pugi::xml_attribute gid = t.attribute("gid");
                        l.gids.push_back(gid ? Parse_Gid(gid.value(), where) : 0);
                    }
                    if (l.gids.size() != cells) Tiled_Fail(where, "data holds fewer tiles than the layer's size");
                } else {
                    Tiled_Fail(where, "encoding \"" + encoding + "\" is not one Tiled writes");
                }
                map.layers.push_back(std::move(l));
            } else if (kind == "objectgroup") {
                Tiled_Layer l;
                l.tiles = false;
                l.name = n.attribute("name").value();
                l.where = where;
                for (pugi::xml_node o : n.children("object")) {
                    Tiled_Object obj;
                    obj.id = Int(o, "id", where, 0);
                    const std::string at = where + ", object " + std::to_string(obj.id);
                    if (pugi::xml_attribute gid = o.attribute("gid")) obj.gid = Parse_Gid(gid.value(), at);
                    obj.x = Real(o, "x", at), obj.y = Real(o, "y", at);
                    obj.width = Real(o, "width", at), obj.height = Real(o, "height", at);
                    obj.rotation = Real(o, "rotation", at);
                    obj.visible = Int(o, "visible", at, 1) != 0;
                    if (pugi::xml_node text = o.child("text")) obj.has_text = true, obj.text = text.text().get();
                    obj.properties = Properties(o);
                    l.objects.push_back(std::move(obj));
                }
                map.layers.push_back(std::move(l));
            } else if (kind == "imagelayer") {
                map.notes.push_back(where + ": an image layer, left out");
            }
        }
    }

    void Read(const std::string& bytes) {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
        if (!parsed)
            Tiled_Fail(map.file, std::string("not XML (") + parsed.description() + " at byte " +
                                     std::to_string(parsed.offset) + ")");
        pugi::xml_node m = doc.child("map");
        if (!m) Tiled_Fail(map.file, "no <map> element");
        const std::string where = map.file + ": map";
        Check_Map_Header(m.attribute("orientation").value(), Int(m, "tilewidth", where, 0),
                         Int(m, "tileheight", where, 0), Int(m, "infinite", where, 0) != 0, where);
        map.width = Int(m, "width", where, 0);
        map.height = Int(m, "height", where, 0);
        Check_Size(map.width, map.height, where);
        map.properties = Properties(m);
        for (pugi::xml_node t : m.children("tileset")) {
            Tiled_Tileset ts;
            ts.first_gid = Int(t, "firstgid", map.file + ": tileset", 0);
            const std::string source = t.attribute("source").value();
            ts.where = map.file + ": tileset \"" + (source.empty() ? t.attribute("name").value() : source) + "\"";
            if (source.empty()) {
                ts.folder = Folder_Of(map.file);
                Tileset(t, ts, ts.where);
            } else {
                Read_External_Tileset(Join(Folder_Of(map.file), source), ts, read);
            }
            map.tilesets.push_back(std::move(ts));
        }
        Layers(m, 0);
    }

    static void Read_External_Tileset(const std::string& path, Tiled_Tileset& ts, const File_Reader& read);
};

// ---- JSON

struct Json_Reader {
    const File_Reader& read;
    Tiled_Map& map;

    static int64_t Int(const nlohmann::json& j, const char* key, const std::string& where, int64_t fallback) {
        const auto it = j.find(key);
        if (it == j.end() || it->is_null()) return fallback;
        if (it->is_number_integer()) return it->get<int64_t>();
        if (it->is_number_float() && std::floor(it->get<double>()) == it->get<double>() &&
            std::fabs(it->get<double>()) < 1e15)
            return int64_t(it->get<double>());
        Tiled_Fail(where, std::string("\"") + key + "\" is not a whole number");
    }
    static double Real(const nlohmann::json& j, const char* key, const std::string& where) {
        const auto it = j.find(key);
        if (it == j.end()) return 0;
        if (!it->is_number() || !std::isfinite(it->get<double>()))
            Tiled_Fail(where, std::string("\"") + key + "\" is not a number");
        return it->get<double>();
    }
    static std::string Str(const nlohmann::json& j, const char* key) {
        const auto it = j.find(key);
        return it != j.end() && it->is_string() ? it->get<std::string>() : "";
    }
    static bool Bool(const nlohmann::json& j, const char* key, bool fallback) {
        const auto it = j.find(key);
        return it != j.end() && it->is_boolean() ? it->get<bool>() : fallback;
    }
    static const nlohmann::json& Array(const nlohmann::json& j, const char* key) {
        static const nlohmann::json EMPTY = nlohmann::json::array();
        const auto it = j.find(key);
        return it != j.end() && it->is_array() ? *it : EMPTY;
    }
    static Tiled_Properties Properties(const nlohmann::json& j) {
        Tiled_Properties out;
        for (const nlohmann::json& p : Array(j, "properties")) {
            if (!p.is_object()) continue;
            const auto v = p.find("value");
            std::string value;
            if (v != p.end()) value = v->is_string() ? v->get<std::string>() : v->dump();
            out.push_back({Str(p, "name"), Str(p, "type"), value});
        }
        return out;
    }

    static void Tileset(const nlohmann::json& j, Tiled_Tileset& ts, const std::string& where) {
        if (!j.is_object()) Tiled_Fail(where, "not a tileset");
        ts.name = Str(j, "name");
        ts.tile_width = Int(j, "tilewidth", where, 0);
        ts.tile_height = Int(j, "tileheight", where, 0);
        ts.spacing = Int(j, "spacing", where, 0);
        ts.margin = Int(j, "margin", where, 0);
        ts.tile_count = Int(j, "tilecount", where, 0);
        ts.columns = Int(j, "columns", where, 0);
        ts.object_alignment = Str(j, "objectalignment");
        if (const auto off = j.find("tileoffset"); off != j.end() && off->is_object())
            ts.offset_x = Int(*off, "x", where, 0), ts.offset_y = Int(*off, "y", where, 0);
        if (!Str(j, "image").empty()) ts.image = Join(ts.folder, Str(j, "image"));
        ts.trans = Str(j, "transparentcolor");
        if (!ts.trans.empty() && ts.trans[0] == '#') ts.trans.erase(0, 1);
        for (const nlohmann::json& t : Array(j, "tiles")) {
            if (!t.is_object()) continue;
            Tiled_Tile tile;
            tile.id = Int(t, "id", where, -1);
            if (!Str(t, "image").empty()) tile.image = Join(ts.folder, Str(t, "image"));
            tile.properties = Properties(t);
            ts.tiles.push_back(std::move(tile));
        }
    }

    void Layers(const nlohmann::json& list, int depth) {
        if (depth > 32) Tiled_Fail(map.file, "layer groups nested more than 32 deep");
        for (const nlohmann::json& n : list) {
            if (!n.is_object()) continue;
            const std::string type = Str(n, "type");
            const std::string where =
                map.file + ": " + (type == "tilelayer" ? "layer" : "object layer") + " \"" + Str(n, "name") + "\"";
            if (type == "group") {
                Layers(Array(n, "layers"), depth + 1);
            } else if (type == "tilelayer") {
                Tiled_Layer l;
                l.name = Str(n, "name");
                l.where = where;
                l.width = Int(n, "width", where, map.width);
                l.height = Int(n, "height", where, map.height);
                Check_Size(l.width, l.height, where);
                const size_t cells = size_t(l.width) * size_t(l.height);
                const auto data = n.find("data");
                if (data != n.end() && data->is_string() && Str(n, "encoding") == "base64") {
                    l.gids = Decode_Binary(data->get<std::string>(), Str(n, "compression"), cells, where);
                } else if (data != n.end() && data->is_array()) {
                    if (data->size() != cells)
                        Tiled_Fail(where, "data holds " + std::to_string(data->size()) + " tiles, the layer " +
                                              std::to_string(cells));
                    for (const nlohmann::json& g : *data) {
                        if (!g.is_number_unsigned() || g.get<uint64_t>() > UINT32_MAX)
                            Tiled_Fail(where, "data holds " + g.dump() + ", not a tile number");
                        l.gids.push_back(g.get<uint32_t>());
                    }
                } else {
                    Tiled_Fail(where, "no data (chunks belong to infinite maps)");
                }
                map.layers.push_back(std::move(l));
            } else if (type == "objectgroup") {
                Tiled_Layer l;
                l.tiles = false;
                l.name = Str(n, "name");
                l.where = where;
                for (const nlohmann::json& o : Array(n, "objects")) {
                    if (!o.is_object()) continue;
                    Tiled_Object obj;
                    obj.id = Int(o, "id", where, 0);
                    const std::string at = where + ", object " + std::to_string(obj.id);
                    const int64_t gid = Int(o, "gid", at, 0);
                    if (gid < 0 || gid > int64_t(UINT32_MAX))
                        Tiled_Fail(at, "gid " + std::to_string(gid) + " is not a tile");
                    obj.gid = uint32_t(gid);
                    obj.x = Real(o, "x", at), obj.y = Real(o, "y", at);
                    obj.width = Real(o, "width", at), obj.height = Real(o, "height", at);
                    obj.rotation = Real(o, "rotation", at);
                    obj.visible = Bool(o, "visible", true);
                    if (const auto text = o.find("text"); text != o.end() && text->is_object())
                        obj.has_text = true, obj.text = Str(*text, "text");
                    obj.properties = Properties(o);
                    l.objects.push_back(std::move(obj));
                }
                map.layers.push_back(std::move(l));
            } else if (type == "imagelayer") {
                map.notes.push_back(where + ": an image layer, left out");
            }
        }
    }

    void Read(const std::string& bytes) {
        const nlohmann::json j = nlohmann::json::parse(bytes, nullptr, false);
        if (j.is_discarded() || !j.is_object()) Tiled_Fail(map.file, "not a JSON map");
        const std::string where = map.file + ": map";
        Check_Map_Header(Str(j, "orientation"), Int(j, "tilewidth", where, 0), Int(j, "tileheight", where, 0),
                         Bool(j, "infinite", false), where);
        map.width = Int(j, "width", where, 0);
        map.height = Int(j, "height", where, 0);
        Check_Size(map.width, map.height, where);
        map.properties = Properties(j);
        for (const nlohmann::json& t : Array(j, "tilesets")) {
            if (!t.is_object()) Tiled_Fail(map.file, "a tileset that is not an object");
            Tiled_Tileset ts;
            ts.first_gid = Int(t, "firstgid", map.file + ": tileset", 0);
            const std::string source = Str(t, "source");
            ts.where = map.file + ": tileset \"" + (source.empty() ? Str(t, "name") : source) + "\"";
            if (source.empty()) {
                ts.folder = Folder_Of(map.file);
                Tileset(t, ts, ts.where);
            } else {
                Tmx_Reader::Read_External_Tileset(Join(Folder_Of(map.file), source), ts, read);
            }
            map.tilesets.push_back(std::move(ts));
        }
        Layers(Array(j, "layers"), 0);
    }
};

void Tmx_Reader::Read_External_Tileset(const std::string& path, Tiled_Tileset& ts, const File_Reader& read) {
    const std::optional<std::string> bytes = read(path);
    if (!bytes) Tiled_Fail(ts.where, "tileset file " + path + " not found");
    ts.where = path + ": tileset";
    ts.folder = Folder_Of(path);
    const int64_t first_gid = ts.first_gid;
    if (Is_Json(*bytes)) {
        const nlohmann::json j = nlohmann::json::parse(*bytes, nullptr, false);
        if (j.is_discarded()) Tiled_Fail(ts.where, "not JSON");
        Json_Reader::Tileset(j, ts, ts.where);
    } else {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_buffer(bytes->data(), bytes->size());
        if (!parsed || !doc.child("tileset")) Tiled_Fail(ts.where, "not a TSX tileset");
        Tiled_Map none;
        Tmx_Reader reader{read, none};
        reader.Tileset(doc.child("tileset"), ts, ts.where);
    }
    ts.first_gid = first_gid;
    ts.where = path + ": tileset \"" + ts.name + "\"";
}

}   // namespace

Tiled_Map Read_Tiled_Map(const std::string& path, const File_Reader& read) {
    const std::optional<std::string> bytes = read(path);
    if (!bytes) throw Tiled_Error(path + ": cannot read the file");
    Tiled_Map map;
    map.file = path;
    try {
        if (Is_Json(*bytes))
            Json_Reader{read, map}.Read(*bytes);
        else
            Tmx_Reader{read, map}.Read(*bytes);
    } catch (const nlohmann::json::exception& e) { throw Tiled_Error(path + ": " + e.what()); }
    return map;
}
