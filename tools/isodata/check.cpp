// check.cpp -- validation of map, character and animation files against each other and their pictures.
#include "tools/isodata/check.h"

#include <map>
#include <optional>

#include "map/path_search.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "tools/isodata/pictures.h"

namespace {

struct Problems {
    std::string file;
    size_t limit;
    std::vector<std::string> lines;
    size_t more = 0;
    void Add(const std::string& where, const std::string& what) {
        if (lines.size() < limit)
            lines.push_back(file + ": " + where + ": " + what);
        else
            ++more;
    }
};

// Built by appending: GCC 12 warns falsely about `"literal" + std::string&&`.
std::string Quote(const std::u16string& text) {
    std::string q(1, '"');
    q += To_Utf8(text);
    q += '"';
    return q;
}
std::string Cell(const char* kind, int32_t x, int32_t y) {
    return std::string(kind) + " cell (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}
std::string Rect_Text(int32_t l, int32_t t, int32_t r, int32_t b) {
    std::string text(1, '(');
    for (const std::string& part : {std::to_string(l), std::string(", "), std::to_string(t), std::string(")-("),
                                    std::to_string(r), std::string(", "), std::to_string(b), std::string(")")})
        text += part;
    return text;
}

// A picture named in a file: found and its size read, or a problem reported once.
std::optional<Bmp_Size> Picture_Size(const std::u16string& name, const std::string& folder, const std::string& where,
                                     Problems& problems) {
    std::string why;
    std::optional<std::string> path = Resolve_In_Program_Folder(name, folder, why);
    if (!path) {
        problems.Add(where, "picture " + Quote(name) + " not found: " + why);
        return std::nullopt;
    }
    std::optional<Bmp_Size> size = Read_Bmp_Size(*path);
    if (!size) problems.Add(where, "picture " + Quote(name) + " is not a BMP file the game can read");
    return size;
}

// The rectangle (x, y, w, h) must lie inside the picture of `size` (when known) and not be empty.
void Check_Rect(int32_t x, int32_t y, int32_t w, int32_t h, const std::optional<Bmp_Size>& size,
                const std::string& where, Problems& problems) {
    if (w <= 0 || h <= 0) {
        problems.Add(where, "size " + std::to_string(w) + " x " + std::to_string(h) + " is empty");
        return;
    }
    if (size && (x < 0 || y < 0 || x + w > size->width || y + h > size->height))
        problems.Add(where, "rectangle " + Rect_Text(x, y, x + w, y + h) + " is outside its picture of " +
                                std::to_string(size->width) + " x " + std::to_string(size->height));
}

// The writer's form must give the file back, or the file holds something it cannot say.
template <class Model, class Write>
void Check_Exact_Form(const std::string& bytes, const Model& model, Write write, Problems& problems) {
    const std::string again = write(model);
    if (again == bytes) return;
    if (bytes.size() > again.size() && bytes.compare(0, again.size(), again) == 0)
        problems.Add("end", std::to_string(bytes.size() - again.size()) + " bytes after the last field are never read");
    else
        problems.Add("strings", "a string's byte count is odd or negative; the game reads it, but the file is damaged");
}

// Free cells outside the largest walkable region: decorative pockets, or a wall drawn one cell
// too far. Players are only ever placed in the largest region, so no one reaches these.
void Check_Reach(const Map_Model& m, const std::string& file, std::vector<std::string>& warnings) {
    const Walk_Regions regions = Find_Walk_Regions(m);
    size_t outside = 0;
    std::string some;
    for (int32_t y = 0; y < regions.height; ++y)
        for (int32_t x = 0; x < regions.width; ++x) {
            if (regions.label[size_t(y) * size_t(regions.width) + size_t(x)] < 0 || regions.In_Largest(x, y)) continue;
            if (++outside <= 5)
                some += (outside > 1 ? ", (" : "(") + std::to_string(x) + ", " + std::to_string(y) + ")";
        }
    if (outside == 0) return;
    warnings.push_back(file + ": warning: " + std::to_string(outside) +
                       " free cells no player can walk to, outside the largest walkable region of " +
                       std::to_string(regions.sizes[size_t(regions.largest)]) + " cells: " + some +
                       (outside > 5 ? ", ..." : ""));
}

void Check_Map(const std::string& bytes, const std::string& folder, Problems& problems,
               std::vector<std::string>* warnings) {
    const Map_Model m = Parse_Map(bytes, problems.file);
    if (warnings) Check_Reach(m, problems.file, *warnings);
    Check_Exact_Form(bytes, m, Write_Map, problems);

    std::map<int16_t, size_t> first_with_id;
    std::vector<std::optional<Bmp_Size>> sizes;
    for (size_t i = 0; i < m.Map_Images.size(); ++i) {
        const Map_Image& image = m.Map_Images[i];
        const std::string where = "image entry " + std::to_string(i);
        auto [it, fresh] = first_with_id.emplace(image.id, i);
        if (!fresh)
            problems.Add(where, "id " + std::to_string(image.id) + " is also image entry " +
                                    std::to_string(it->second) + "'s, which cells always get");
        sizes.push_back(Picture_Size(image.file_name, folder, where, problems));
    }
    // The picture a cell's image id selects; a problem when the id selects nothing.
    auto picture = [&](int16_t id, const std::string& where) -> const std::optional<Bmp_Size>& {
        auto it = first_with_id.find(id);
        if (it == first_with_id.end()) {
            problems.Add(where, "image id " + std::to_string(id) + " matches no image (the first image is used)");
            return sizes[0];
        }
        return sizes[it->second];
    };

    for (int32_t y = 0; y < m.Map_Height; ++y)
        for (int32_t x = 0; x < m.Map_Width; ++x) {
            const Ground_Cell& g = m.Ground_Grid(x, y);
            const std::string where = Cell("ground", x, y);
            if (g.blocked != 0 && g.blocked != -1)
                problems.Add(where, "blocked value " + std::to_string(g.blocked) + " is neither 0 nor -1");
            Check_Rect(g.source_x, g.source_y, 40, 20, picture(g.image_id, where), where, problems);
        }
    for (auto [grid, kind] : {std::pair{&m.Object_Grid, "object"}, std::pair{&m.Overlay_Grid, "overlay"}})
        for (int32_t y = 0; y < m.Map_Height; ++y)
            for (int32_t x = 0; x < m.Map_Width; ++x) {
                const Piece_Cell& p = (*grid)(x, y);
                if (p.present == 0) continue;
                const std::string where = Cell(kind, x, y);
                Check_Rect(p.source_x, p.source_y, p.width, p.height, picture(p.image_id, where), where, problems);
            }
}

void Check_Animations(const std::string& bytes, const std::string& folder, Problems& problems) {
    const Animation_Data a = Parse_Animation_File(bytes, problems.file);
    Check_Exact_Form(bytes, a, Write_Animation_File, problems);

    std::map<int16_t, size_t> sheet_index;
    std::vector<std::optional<Bmp_Size>> sizes;
    for (size_t i = 0; i < a.Sheets.size(); ++i) {
        const std::string where = "sheet " + std::to_string(i);
        auto [it, fresh] = sheet_index.emplace(a.Sheets[i].id, i);
        if (!fresh)
            problems.Add(where, "id " + std::to_string(a.Sheets[i].id) + " is also sheet " +
                                    std::to_string(it->second) + "'s, which sequences always get");
        sizes.push_back(Picture_Size(a.Sheets[i].file_name, folder, where, problems));
    }
    std::map<int16_t, size_t> sequence_index;
    for (size_t i = 0; i < a.Sequences.size(); ++i) {
        const Sequence& s = a.Sequences[i];
        const std::string where = "sequence " + std::to_string(i);
        auto [seen, fresh] = sequence_index.emplace(s.id, i);
        if (!fresh)
            problems.Add(where, "id " + std::to_string(s.id) + " is also sequence " + std::to_string(seen->second) +
                                    "'s, which characters always get");
        auto it = sheet_index.find(s.sheet_id);
        if (it == sheet_index.end())
            problems.Add(where,
                         "sheet id " + std::to_string(s.sheet_id) + " matches no sheet (the first sheet is used)");
        const std::optional<Bmp_Size>& size = it == sheet_index.end() ? sizes[0] : sizes[it->second];
        for (size_t f = 0; f < s.frames.size(); ++f) {
            const Frame& fr = s.frames[f];
            const std::string frame_where = where + ", frame " + std::to_string(f);
            if (fr.duration < 0) problems.Add(frame_where, "duration " + std::to_string(fr.duration) + " is negative");
            Check_Rect(fr.source_x, fr.source_y, fr.width, fr.height, size, frame_where, problems);
        }
    }
}

void Check_Characters(const std::string& bytes, const std::string& folder, Problems& problems) {
    const Character_File c = Parse_Character_File(bytes, problems.file);
    Check_Exact_Form(bytes, c, Write_Character_File, problems);

    // The animation file the types refer to, when it can be read.
    std::optional<Animation_Data> animations;
    std::string why;
    std::optional<std::string> ani_path = Resolve_In_Program_Folder(c.Animation_File_Name, folder, why);
    if (!ani_path) {
        problems.Add("animation file", Quote(c.Animation_File_Name) + " not found: " + why);
    } else if (std::optional<std::string> ani_bytes = Read_Whole_File(*ani_path)) {
        try {
            animations = Parse_Animation_File(*ani_bytes, *ani_path);
        } catch (const Data_Error& e) { problems.Add("animation file", e.what()); }
    }

    for (size_t t = 0; t < c.Sprite_Types.size(); ++t) {
        const Sprite_Type& type = c.Sprite_Types[t];
        const std::string where = "sprite type " + std::to_string(t);
        bool walk = false;
        for (const Action& action : type.actions) walk = walk || action.name == u"walk";
        if (!walk) problems.Add(where, "no action named \"walk\" (characters are drawn with action 0)");
        if (!animations) continue;
        for (size_t i = 0; i < type.actions.size(); ++i)
            for (int d = 1; d <= 8; ++d) {
                const int16_t id = type.actions[i].sequence_ids[size_t(d)];
                bool found = false;
                for (const Sequence& s : animations->Sequences) found = found || s.id == id;
                if (!found)
                    problems.Add(where + ", action " + std::to_string(i) + " " + Quote(type.actions[i].name) +
                                     ", direction " + std::to_string(d),
                                 "sequence id " + std::to_string(id) + " matches no sequence (the first is used)");
            }
    }
}

}   // namespace

std::vector<std::string> Check_File(const std::string& path, File_Type type, const std::string& program_folder,
                                    size_t limit, std::vector<std::string>* warnings) {
    Problems problems{path, limit, {}};
    std::optional<std::string> bytes = Read_Whole_File(path);
    if (!bytes || !File_Exists(path)) {
        problems.Add("file", "cannot be read");
        return problems.lines;
    }
    try {
        switch (type) {
            case File_Type::Map: Check_Map(*bytes, program_folder, problems, warnings); break;
            case File_Type::Ple: Check_Characters(*bytes, program_folder, problems); break;
            case File_Type::Ani: Check_Animations(*bytes, program_folder, problems); break;
        }
    } catch (const Data_Error& e) {
        // The message already names the file.
        if (problems.lines.size() < limit) problems.lines.push_back(e.what());
    }
    if (problems.more > 0)
        problems.lines.push_back(path + ": ... and " + std::to_string(problems.more) + " more problems");
    return problems.lines;
}
