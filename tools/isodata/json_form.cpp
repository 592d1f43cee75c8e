// json_form.cpp -- conversions between the data files' models and their JSON form.
#include "tools/isodata/json_form.h"

#include <cctype>
#include <cstring>

#include "platform/encoding.h"

using nlohmann::json;
using nlohmann::ordered_json;

const char* Type_Name(File_Type type) {
    switch (type) {
        case File_Type::Map: return "map";
        case File_Type::Ple: return "ple";
        case File_Type::Ani: return "ani";
    }
    return "ani";
}

File_Type Type_From_Name(const std::string& path) {
    auto ends = [&](const char* ext) {
        const size_t n = std::strlen(ext);
        if (path.size() < n) return false;
        for (size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
        return true;
    };
    if (ends(".map")) return File_Type::Map;
    if (ends(".ple")) return File_Type::Ple;
    return File_Type::Ani;
}

bool Parse_Type(const std::string& text, File_Type& type) {
    for (File_Type t : {File_Type::Map, File_Type::Ple, File_Type::Ani})
        if (text == Type_Name(t)) {
            type = t;
            return true;
        }
    return false;
}

// ---- to JSON ----

template <class Cell, class Field>
static ordered_json Grid_Field(const Cell_Grid<Cell>& grid, Field field) {
    ordered_json rows = ordered_json::array();
    for (int32_t y = 0; y < grid.height; ++y) {
        ordered_json row = ordered_json::array();
        for (int32_t x = 0; x < grid.width; ++x) row.push_back(field(grid(x, y)));
        rows.push_back(std::move(row));
    }
    return rows;
}

static ordered_json Pieces_To_Json(const Cell_Grid<Piece_Cell>& grid) {
    ordered_json j;
    j["image_id"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.image_id; });
    j["offset_x"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.offset_x; });
    j["offset_y"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.offset_y; });
    j["height"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.height; });
    j["width"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.width; });
    j["present"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.present; });
    j["source_x"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.source_x; });
    j["source_y"] = Grid_Field(grid, [](const Piece_Cell& c) { return c.source_y; });
    return j;
}

ordered_json Map_To_Json(const Map_Model& map) {
    ordered_json j;
    j["type"] = "map";
    j["image_count"] = map.Map_Image_Count;
    j["images"] = ordered_json::array();
    for (const Map_Image& image : map.Map_Images)
        j["images"].push_back(ordered_json{{"file_name", To_Utf8(image.file_name)}, {"id", image.id}});
    j["width"] = map.Map_Width;
    j["height"] = map.Map_Height;
    ordered_json ground;
    const auto& g = map.Ground_Grid;
    ground["image_id"] = Grid_Field(g, [](const Ground_Cell& c) { return c.image_id; });
    ground["blocked"] = Grid_Field(g, [](const Ground_Cell& c) { return c.blocked; });
    ground["text"] = Grid_Field(g, [](const Ground_Cell& c) { return To_Utf8(c.text); });
    ground["source_x"] = Grid_Field(g, [](const Ground_Cell& c) { return c.source_x; });
    ground["source_y"] = Grid_Field(g, [](const Ground_Cell& c) { return c.source_y; });
    j["ground"] = std::move(ground);
    j["objects"] = Pieces_To_Json(map.Object_Grid);
    j["overlay"] = Pieces_To_Json(map.Overlay_Grid);
    return j;
}

ordered_json Characters_To_Json(const Character_File& file) {
    ordered_json j;
    j["type"] = "ple";
    j["animation_file_name"] = To_Utf8(file.Animation_File_Name);
    j["sprite_type_count"] = file.Sprite_Type_Count;
    j["sprite_types"] = ordered_json::array();
    for (const Sprite_Type& type : file.Sprite_Types) {
        ordered_json t;
        t["action_count"] = type.action_count;
        t["type_value"] = type.type_value;
        t["actions"] = ordered_json::array();
        for (const Action& action : type.actions) {
            ordered_json ids = ordered_json::array();
            for (int d = 1; d <= 8; ++d) ids.push_back(action.sequence_ids[size_t(d)]);
            t["actions"].push_back(ordered_json{{"name", To_Utf8(action.name)}, {"sequence_ids", std::move(ids)}});
        }
        j["sprite_types"].push_back(std::move(t));
    }
    return j;
}

ordered_json Animations_To_Json(const Animation_Data& data) {
    ordered_json j;
    j["type"] = "ani";
    j["sheet_count"] = data.sheet_count;
    j["sheets"] = ordered_json::array();
    for (const Sheet& sheet : data.Sheets)
        j["sheets"].push_back(ordered_json{{"file_name", To_Utf8(sheet.file_name)}, {"id", sheet.id}});
    j["sequence_count"] = data.sequence_count;
    j["sequences"] = ordered_json::array();
    for (const Sequence& s : data.Sequences) {
        ordered_json seq;
        seq["id"] = s.id;
        seq["sheet_id"] = s.sheet_id;
        seq["frame_count"] = s.frame_count;
        seq["frames"] = ordered_json::array();
        for (const Frame& f : s.frames)
            seq["frames"].push_back(ordered_json{{"duration", f.duration},
                                                 {"source_x", f.source_x},
                                                 {"source_y", f.source_y},
                                                 {"width", f.width},
                                                 {"height", f.height},
                                                 {"offset_x", f.offset_x},
                                                 {"offset_y", f.offset_y}});
        j["sequences"].push_back(std::move(seq));
    }
    return j;
}

// ---- from JSON ----

namespace {

// A JSON value with the path that leads to it, for messages.
struct At {
    const json& value;
    std::string path;

    At operator[](const char* key) const {
        if (!value.is_object()) throw Json_Error(path + ": expected an object");
        auto it = value.find(key);
        if (it == value.end()) throw Json_Error(path + ": missing \"" + key + "\"");
        return At{*it, path + "." + key};
    }
    At operator[](size_t i) const { return At{value.at(i), path + "[" + std::to_string(i) + "]"}; }
    bool Has(const char* key) const { return value.is_object() && value.contains(key); }
    size_t Size() const {
        if (!value.is_array()) throw Json_Error(path + ": expected an array");
        return value.size();
    }
    int16_t Int16() const {
        if (!value.is_number_integer()) throw Json_Error(path + ": expected a whole number");
        const int64_t v = value.get<int64_t>();
        if (v < -32768 || v > 32767) throw Json_Error(path + ": " + std::to_string(v) + " does not fit in 16 bits");
        return int16_t(v);
    }
    std::u16string Text() const {
        if (!value.is_string()) throw Json_Error(path + ": expected a string");
        std::u16string text = From_Utf8(value.get<std::string>());
        if (text.size() > 16383) throw Json_Error(path + ": longer than 16383 characters");
        return text;
    }
};

// A count next to its array: optional, but when given it must match.
void Check_Count(const At& parent, const char* count_key, size_t actual) {
    if (!parent.Has(count_key)) return;
    const int16_t count = parent[count_key].Int16();
    if (count < 0 || size_t(count) != actual)
        throw Json_Error(parent.path + "." + count_key + ": says " + std::to_string(count) + " but there are " +
                         std::to_string(actual));
}

size_t Checked_Size(const At& array, size_t limit = 32767) {
    const size_t n = array.Size();
    if (n > limit) throw Json_Error(array.path + ": more than " + std::to_string(limit) + " entries");
    return n;
}

// One field's grid: h rows of w entries.
template <class Cell, class Set>
void Read_Grid_Field(const At& section, const char* key, Cell_Grid<Cell>& grid, Set set) {
    const At rows = section[key];
    if (rows.Size() != size_t(grid.height))
        throw Json_Error(rows.path + ": " + std::to_string(rows.Size()) + " rows, the map has " +
                         std::to_string(grid.height));
    for (int32_t y = 0; y < grid.height; ++y) {
        const At row = rows[size_t(y)];
        if (row.Size() != size_t(grid.width))
            throw Json_Error(row.path + ": " + std::to_string(row.Size()) + " entries, the map has " +
                             std::to_string(grid.width) + " columns");
        for (int32_t x = 0; x < grid.width; ++x) set(grid(x, y), row[size_t(x)]);
    }
}

void Read_Pieces(const At& section, Cell_Grid<Piece_Cell>& grid) {
    Read_Grid_Field(section, "image_id", grid, [](Piece_Cell& c, const At& v) { c.image_id = v.Int16(); });
    Read_Grid_Field(section, "offset_x", grid, [](Piece_Cell& c, const At& v) { c.offset_x = v.Int16(); });
    Read_Grid_Field(section, "offset_y", grid, [](Piece_Cell& c, const At& v) { c.offset_y = v.Int16(); });
    Read_Grid_Field(section, "height", grid, [](Piece_Cell& c, const At& v) { c.height = v.Int16(); });
    Read_Grid_Field(section, "width", grid, [](Piece_Cell& c, const At& v) { c.width = v.Int16(); });
    Read_Grid_Field(section, "present", grid, [](Piece_Cell& c, const At& v) { c.present = v.Int16(); });
    Read_Grid_Field(section, "source_x", grid, [](Piece_Cell& c, const At& v) { c.source_x = v.Int16(); });
    Read_Grid_Field(section, "source_y", grid, [](Piece_Cell& c, const At& v) { c.source_y = v.Int16(); });
}

std::string Map_From_Json(const At& doc) {
    Map_Model m;
    const At images = doc["images"];
    const size_t n = Checked_Size(images);
    Check_Count(doc, "image_count", n);
    for (size_t i = 0; i < n; ++i)
        m.Map_Images.push_back(Map_Image{images[i]["file_name"].Text(), images[i]["id"].Int16(), {}});
    m.Map_Image_Count = int16_t(n);
    m.Map_Width = doc["width"].Int16();
    m.Map_Height = doc["height"].Int16();
    for (auto [value, key] : {std::pair{m.Map_Width, "width"}, std::pair{m.Map_Height, "height"}})
        if (value < 0) throw Json_Error(doc.path + "." + key + ": negative");
    m.Ground_Grid.Resize(m.Map_Width, m.Map_Height);
    m.Object_Grid.Resize(m.Map_Width, m.Map_Height);
    m.Overlay_Grid.Resize(m.Map_Width, m.Map_Height);
    const At ground = doc["ground"];
    Read_Grid_Field(ground, "image_id", m.Ground_Grid, [](Ground_Cell& c, const At& v) { c.image_id = v.Int16(); });
    Read_Grid_Field(ground, "blocked", m.Ground_Grid, [](Ground_Cell& c, const At& v) { c.blocked = v.Int16(); });
    Read_Grid_Field(ground, "text", m.Ground_Grid, [](Ground_Cell& c, const At& v) { c.text = v.Text(); });
    Read_Grid_Field(ground, "source_x", m.Ground_Grid, [](Ground_Cell& c, const At& v) { c.source_x = v.Int16(); });
    Read_Grid_Field(ground, "source_y", m.Ground_Grid, [](Ground_Cell& c, const At& v) { c.source_y = v.Int16(); });
    Read_Pieces(doc["objects"], m.Object_Grid);
    Read_Pieces(doc["overlay"], m.Overlay_Grid);
    return Write_Map(m);
}

std::string Characters_From_Json(const At& doc) {
    Character_File f;
    f.Animation_File_Name = doc["animation_file_name"].Text();
    const At types = doc["sprite_types"];
    const size_t k = Checked_Size(types);
    Check_Count(doc, "sprite_type_count", k);
    f.Sprite_Type_Count = int16_t(k);
    for (size_t t = 0; t < k; ++t) {
        const At type = types[t];
        Sprite_Type st;
        st.type_value = type["type_value"].Int16();
        const At actions = type["actions"];
        const size_t a = Checked_Size(actions);
        Check_Count(type, "action_count", a);
        st.action_count = int16_t(a);
        for (size_t i = 0; i < a; ++i) {
            Action action;
            action.name = actions[i]["name"].Text();
            const At ids = actions[i]["sequence_ids"];
            if (ids.Size() != 8) throw Json_Error(ids.path + ": needs 8 ids, for the directions 1 to 8");
            for (size_t d = 1; d <= 8; ++d) action.sequence_ids[d] = ids[d - 1].Int16();
            st.actions.push_back(std::move(action));
        }
        f.Sprite_Types.push_back(std::move(st));
    }
    return Write_Character_File(f);
}

std::string Animations_From_Json(const At& doc) {
    Animation_Data a;
    const At sheets = doc["sheets"];
    const size_t n = Checked_Size(sheets);
    Check_Count(doc, "sheet_count", n);
    for (size_t i = 0; i < n; ++i)
        a.Sheets.push_back(Sheet{sheets[i]["file_name"].Text(), sheets[i]["id"].Int16(), {}});
    const At sequences = doc["sequences"];
    const size_t m = Checked_Size(sequences);
    Check_Count(doc, "sequence_count", m);
    for (size_t i = 0; i < m; ++i) {
        const At seq = sequences[i];
        Sequence s;
        s.id = seq["id"].Int16();
        s.sheet_id = seq["sheet_id"].Int16();
        const At frames = seq["frames"];
        const size_t f = Checked_Size(frames);
        Check_Count(seq, "frame_count", f);
        s.frame_count = int16_t(f);
        for (size_t k = 0; k < f; ++k) {
            const At fr = frames[k];
            s.frames.push_back(Frame{fr["duration"].Int16(), fr["source_x"].Int16(), fr["source_y"].Int16(),
                                     fr["width"].Int16(), fr["height"].Int16(), fr["offset_x"].Int16(),
                                     fr["offset_y"].Int16()});
        }
        a.Sequences.push_back(std::move(s));
    }
    a.sheet_count = int16_t(n);
    a.sequence_count = int16_t(m);
    return Write_Animation_File(a);
}

}   // namespace

std::string Json_To_File(const json& doc, File_Type& type) {
    const At root{doc, "$"};
    const At type_field = root["type"];
    if (!type_field.value.is_string() || !Parse_Type(type_field.value.get<std::string>(), type))
        throw Json_Error("$.type: must be \"map\", \"ple\" or \"ani\"");
    try {
        switch (type) {
            case File_Type::Map: return Map_From_Json(root);
            case File_Type::Ple: return Characters_From_Json(root);
            case File_Type::Ani: return Animations_From_Json(root);
        }
    } catch (const Data_Error& e) {   // a model the writer cannot represent
        throw Json_Error(e.what());
    }
    return {};
}
