// map_file.cpp -- the data files' fields, and the map file read and written.
#include "map/map_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

inline int16_t Le16(const char* p) { return int16_t(uint16_t(uint8_t(p[0])) | uint16_t(uint16_t(uint8_t(p[1])) << 8)); }

// n bytes of UTF-16LE; an odd n leaves its last byte out.
inline void Decode_Utf16(const char* p, int32_t n, std::u16string& out) {
    size_t chars = size_t(n) / 2;
    out.resize(chars);
    for (size_t i = 0; i < chars; ++i)
        out[i] = char16_t(uint16_t(uint8_t(p[2 * i])) | uint16_t(uint16_t(uint8_t(p[2 * i + 1])) << 8));
}

std::string Cell_Name(const char* kind, int32_t x, int32_t y) {
    return std::string("the ") + kind + " cell (" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

}   // namespace

// ---- Byte_Reader / Byte_Writer ----

void Byte_Reader::Fail_Short(std::string_view what, size_t start) const {
    throw Data_Error(file_name + ": file ends at byte " + std::to_string(file_size) + ", inside " + std::string(what) +
                         " (from byte " + std::to_string(start) + ")",
                     Data_Error::TRUNCATED);
}

int16_t Byte_Reader::Count(std::string_view field) {
    const int16_t n = Int16(field);
    if (n < 1)
        throw Data_Error(file_name + ": " + std::string(field) + " is " + std::to_string(n) + ", it must be at least 1",
                         Data_Error::BAD_COUNT);
    return n;
}

int16_t Byte_Reader::Int16(std::string_view field) {
    if (!Have(2)) Fail_Short(field, At());
    const int16_t v = Le16(data + pos);
    pos += 2;
    return v;
}

std::u16string Byte_Reader::Counted_String(std::string_view field) {
    const size_t start = At();
    if (!Have(2)) Fail_Short(field, start);
    const int16_t n = Le16(data + pos);
    pos += 2;
    std::u16string text;
    if (n <= 0) return text;
    if (!Have(size_t(n))) Fail_Short(field, start);
    Decode_Utf16(data + pos, n, text);
    pos += size_t(n);
    return text;
}

// Keeps the bytes from pos on, moved to the buffer's front, and reads on behind them.
bool Byte_Reader::Bring(size_t n) {
    constexpr size_t PIECE = size_t(1) << 20;
    std::vector<char>& b = *buffer;   // data is null or points into it
    const size_t kept = size - pos;
    if (kept > 0) std::memmove(b.data(), data + pos, kept);
    if (b.size() < n + PIECE) b.resize(n + PIECE);   // keeps the front
    offset += pos;
    pos = 0;
    size = kept;
    data = b.data();
    while (size < n) {
        const size_t got = Read_Input(*source, b.data() + size, b.size() - size);
        if (got == 0) break;
        size += got;
    }
    return size >= n;
}

void Byte_Writer::Int16(int16_t value) {
    bytes.push_back(char(uint16_t(value) & 0xFF));
    bytes.push_back(char(uint16_t(value) >> 8));
}

void Byte_Writer::Counted_String(const std::u16string& text) {
    if (text.size() > 16383)
        throw Data_Error("a text of " + std::to_string(text.size()) + " characters is too long for a counted string");
    Int16(int16_t(text.size() * 2));
    for (char16_t c : text) Int16(int16_t(uint16_t(c)));
}

// ---- the map file ----

namespace {

template <class Cell>
void Prepare_Grid(Cell_Grid<Cell>& grid, int32_t w, int32_t h, bool& reuse) {
    size_t n = size_t(w) * size_t(h);
    reuse = grid.cells.size() == n;
    if (!reuse) {
        grid.cells.clear();
        grid.cells.reserve(n);
    }
    grid.width = w;
    grid.height = h;
}

// One piece section: a fixed 16 bytes a cell, so the length is checked once for the whole section.
void Read_Piece_Section(Byte_Reader& r, Cell_Grid<Piece_Cell>& grid, int32_t w, int32_t h, const char* kind) {
    const size_t n = size_t(w) * size_t(h);
    const size_t left = r.Remaining();
    if (left < n * 16) {
        const size_t index = left / 16;
        r.Fail_Short(Cell_Name(kind, int32_t(index % size_t(w)), int32_t(index / size_t(w))), r.At() + index * 16);
    }
    bool reuse;
    Prepare_Grid(grid, w, h, reuse);
    for (size_t i = 0; i < n;) {
        if (!r.Have(16)) r.Fail_Short(Cell_Name(kind, int32_t(i % size_t(w)), int32_t(i / size_t(w))), r.At());
        const size_t batch = std::min(n - i, (r.size - r.pos) / 16);
        const char* p = r.data + r.pos;
        for (const size_t last = i + batch; i < last; ++i, p += 16) {
            Piece_Cell c;
            c.image_id = Le16(p);
            c.offset_x = Le16(p + 2);
            c.offset_y = Le16(p + 4);
            c.height = Le16(p + 6);
            c.width = Le16(p + 8);
            c.present = Le16(p + 10);
            c.source_x = Le16(p + 12);
            c.source_y = Le16(p + 14);
            if (reuse)
                grid.cells[i] = c;
            else
                grid.cells.push_back(c);
        }
        r.pos += batch * 16;
    }
}

void Read_Ground_Section(Byte_Reader& r, Cell_Grid<Ground_Cell>& grid, int32_t w, int32_t h) {
    bool reuse;
    Prepare_Grid(grid, w, h, reuse);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const size_t start = r.At();
            // image_id, blocked and the text's count, then the text, then source_x and source_y.
            if (!r.Have(6)) r.Fail_Short(Cell_Name("ground", x, y), start);
            Ground_Cell& c = reuse ? grid.cells[size_t(y) * size_t(w) + size_t(x)] : grid.cells.emplace_back();
            c.image_id = Le16(r.data + r.pos);
            c.blocked = Le16(r.data + r.pos + 2);
            const int16_t n = Le16(r.data + r.pos + 4);
            const size_t text = n > 0 ? size_t(n) : 0;
            if (!r.Have(6 + text + 4)) r.Fail_Short(Cell_Name("ground", x, y), start);
            if (n > 0)
                Decode_Utf16(r.data + r.pos + 6, n, c.text);
            else
                c.text.clear();
            const char* p = r.data + r.pos + 6 + text;
            c.source_x = Le16(p);
            c.source_y = Le16(p + 2);
            r.pos += 6 + text + 4;
        }
    }
}

void Parse_Map_From(Byte_Reader& r, Map_Model& model) {
    const std::string& file_name = r.file_name;
    const int16_t n = r.Count("the image count");
    model.Map_Image_Count = n;
    model.Map_Images.clear();
    model.Map_Images.resize(size_t(n));
    for (int16_t i = 0; i < n; ++i) {
        const std::string what = "image entry " + std::to_string(i);
        model.Map_Images[size_t(i)].file_name = r.Counted_String(what);
        model.Map_Images[size_t(i)].id = r.Int16(what);
    }
    const int16_t w = r.Count("the map width");
    const int16_t h = r.Count("the map height");
    for (auto [value, name] : {std::pair{w, "width"}, std::pair{h, "height"}}) {
        if (value > MAX_MAP_SIDE)
            throw Data_Error(file_name + ": the map " + name + " is " + std::to_string(value) + ", more than " +
                                 std::to_string(MAX_MAP_SIDE),
                             Data_Error::MAP_TOO_LARGE);
    }
    Index_Map_Images(model);
    model.Map_Width = w;
    model.Map_Height = h;
    Read_Ground_Section(r, model.Ground_Grid, w, h);
    Read_Piece_Section(r, model.Object_Grid, w, h, "object");
    Read_Piece_Section(r, model.Overlay_Grid, w, h, "overlay");
}

}   // namespace

void Parse_Map_Into(const std::string& bytes, const std::string& file_name, Map_Model& model) {
    Byte_Reader source(bytes, file_name);
    Parse_Map_From(source, model);
}

void Parse_Map_File_Into(Input_File& input, const std::string& file_name, Map_Model& model) {
    std::vector<char> buffer;
    Byte_Reader source(input, buffer, file_name);
    Parse_Map_From(source, model);
}

Map_Model Parse_Map(const std::string& bytes, const std::string& file_name) {
    Map_Model model;
    Parse_Map_Into(bytes, file_name, model);
    return model;
}

namespace {

// The entry of an image id in Map_Model::Image_Index.
size_t Image_Slot(int16_t id) {
    const int32_t slot = int32_t(id) + 32768;
    return size_t(slot);
}

}   // namespace

int16_t Find_Image_Index(const Map_Model& model, int16_t id) {
    const size_t slot = Image_Slot(id);
    if (slot < model.Image_Index.size()) {
        const int16_t index = model.Image_Index[slot];
        // Only an entry that still names an image with this id counts; else the images changed.
        if (index == 0 || (size_t(index) < model.Map_Images.size() && model.Map_Images[size_t(index)].id == id))
            return index;
    }
    for (size_t i = 0; i < model.Map_Images.size(); ++i)
        if (model.Map_Images[i].id == id) return int16_t(i);
    return 0;
}

void Index_Map_Images(Map_Model& model) {
    model.Image_Index.assign(65536, 0);
    // From the last to the first, so the first image with an id is the one that stays.
    for (size_t i = model.Map_Images.size(); i-- > 0;)
        model.Image_Index[Image_Slot(model.Map_Images[i].id)] = int16_t(i);
}

std::string Write_Map(const Map_Model& model) {
    const int32_t w = model.Ground_Grid.width, h = model.Ground_Grid.height;
    auto same = [&](const auto& grid) {
        return grid.width == w && grid.height == h && grid.cells.size() == size_t(w) * size_t(h);
    };
    if (w != model.Map_Width || h != model.Map_Height || !same(model.Ground_Grid) || !same(model.Object_Grid) ||
        !same(model.Overlay_Grid))
        throw Data_Error("map model: the grids are not all " + std::to_string(model.Map_Width) + " x " +
                         std::to_string(model.Map_Height));
    if (model.Map_Images.size() > 32767) throw Data_Error("map model: more than 32767 images");

    Byte_Writer out;
    size_t texts = 0;
    for (const Ground_Cell& c : model.Ground_Grid.cells) texts += c.text.size() * 2;
    out.bytes.reserve(64 * model.Map_Images.size() + 6 + 42 * model.Ground_Grid.cells.size() + texts);
    out.Int16(int16_t(model.Map_Images.size()));
    for (const Map_Image& image : model.Map_Images) {
        out.Counted_String(image.file_name);
        out.Int16(image.id);
    }
    out.Int16(int16_t(w));
    out.Int16(int16_t(h));
    for (const Ground_Cell& c : model.Ground_Grid.cells) {
        out.Int16(c.image_id);
        out.Int16(c.blocked);
        out.Counted_String(c.text);
        out.Int16(c.source_x);
        out.Int16(c.source_y);
    }
    for (const auto* grid : {&model.Object_Grid, &model.Overlay_Grid}) {
        for (const Piece_Cell& c : grid->cells) {
            for (int16_t v : {c.image_id, c.offset_x, c.offset_y, c.height, c.width, c.present, c.source_x, c.source_y})
                out.Int16(v);
        }
    }
    return std::move(out.bytes);
}

Map_Model Repeat_Map(const Map_Model& model, int16_t width, int16_t height) {
    Map_Model out;
    out.Map_Image_Count = model.Map_Image_Count;
    out.Map_Images = model.Map_Images;
    out.Image_Index = model.Image_Index;
    out.Map_Width = width;
    out.Map_Height = height;
    out.Ground_Grid.Resize(width, height);
    out.Object_Grid.Resize(width, height);
    out.Overlay_Grid.Resize(width, height);
    const int32_t w = model.Ground_Grid.width, h = model.Ground_Grid.height;
    if (w <= 0 || h <= 0 || model.Object_Grid.width != w || model.Overlay_Grid.width != w ||
        model.Object_Grid.height != h || model.Overlay_Grid.height != h)
        return out;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            out.Ground_Grid(x, y) = model.Ground_Grid(x % w, y % h);
            out.Object_Grid(x, y) = model.Object_Grid(x % w, y % h);
            out.Overlay_Grid(x, y) = model.Overlay_Grid(x % w, y % h);
        }
    return out;
}
