// font_faces.cpp -- the table directory, "name", "OS/2" and "head" tables of TrueType/OpenType
// fonts and collections, read piece by piece (a collection of Chinese faces is tens of megabytes).
#include "platform/font_faces.h"

#include <algorithm>
#include <fstream>

#include "platform/encoding.h"
#include "platform/files.h"

namespace {

constexpr uint32_t MAX_FACES = 256;   // more than any real collection holds
constexpr uint16_t NAME_FAMILY = 1, NAME_FULL = 4, NAME_TYPOGRAPHIC_FAMILY = 16;
constexpr uint16_t WEIGHT_SEMIBOLD = 600;

uint32_t Tag(const char (&t)[5]) {
    return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 | uint32_t(uint8_t(t[2])) << 8 |
           uint32_t(uint8_t(t[3]));
}

// Big-endian fields of a piece read from the file; a field past the piece's end reads as 0.
struct Piece {
    std::string bytes;
    bool Has(size_t at, size_t count) const { return at <= bytes.size() && count <= bytes.size() - at; }
    uint16_t U16(size_t at) const {
        return Has(at, 2) ? uint16_t(uint8_t(bytes[at]) << 8 | uint8_t(bytes[at + 1])) : 0;
    }
    uint32_t U32(size_t at) const { return Has(at, 4) ? uint32_t(U16(at)) << 16 | U16(at + 2) : 0; }
};

struct Table {
    uint32_t offset = 0, length = 0;
};

// The tables of the font whose offset table starts at `at`; absent ones have length 0.
struct Face_Tables {
    Table name, os2, head;
};

std::optional<Face_Tables> Read_Tables(const Font_Reader& read, uint64_t at) {
    const Piece header{read(at, 12)};
    const uint32_t version = header.U32(0);
    if (!header.Has(0, 12) || (version != 0x00010000 && version != Tag("OTTO") && version != Tag("true")))
        return std::nullopt;
    const uint16_t count = header.U16(4);
    const Piece records{read(at + 12, uint32_t(count) * 16)};
    Face_Tables tables;
    for (uint16_t i = 0; i < count && records.Has(size_t(i) * 16, 16); ++i) {
        const size_t r = size_t(i) * 16;
        const Table table{records.U32(r + 8), records.U32(r + 12)};
        if (records.U32(r) == Tag("name")) tables.name = table;
        if (records.U32(r) == Tag("OS/2")) tables.os2 = table;
        if (records.U32(r) == Tag("head")) tables.head = table;
    }
    return tables;
}

std::u16string Utf16_Be(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text += char16_t(uint8_t(bytes[i]) << 8 | uint8_t(bytes[i + 1]));
    return text;
}

// A name record's text; empty for an encoding not read here.
std::u16string Name_Text(uint16_t platform, uint16_t encoding, const std::string& bytes) {
    if (platform == 0 || (platform == 3 && (encoding == 0 || encoding == 1 || encoding == 10))) return Utf16_Be(bytes);
    if (platform == 3 && encoding == 4) {
        // Big5 names kept in 16-bit units: single-byte characters carry a zero high byte.
        std::string big5;
        for (char b : bytes)
            if (b != '\0') big5 += b;
        return From_Cp950(big5);
    }
    if (platform == 1 && encoding == 2) return From_Cp950(bytes);   // Macintosh Traditional Chinese
    if (platform == 1 && encoding == 0 && std::all_of(bytes.begin(), bytes.end(), [](char b) { return b > 0; }))
        return std::u16string(bytes.begin(), bytes.end());   // Macintosh Roman, its ASCII part
    return u"";
}

std::vector<std::u16string> Read_Names(const Font_Reader& read, Table table) {
    std::vector<std::u16string> names;
    const Piece header{read(table.offset, 6)};
    if (table.length < 6 || !header.Has(0, 6)) return names;
    const uint16_t count = header.U16(2), storage = header.U16(4);
    const Piece records{read(uint64_t(table.offset) + 6, uint32_t(count) * 12)};
    for (uint16_t i = 0; i < count && records.Has(size_t(i) * 12, 12); ++i) {
        const size_t r = size_t(i) * 12;
        const uint16_t id = records.U16(r + 6);
        if (id != NAME_FAMILY && id != NAME_FULL && id != NAME_TYPOGRAPHIC_FAMILY) continue;
        const uint16_t length = records.U16(r + 8), offset = records.U16(r + 10);
        if (uint64_t(storage) + offset + length > table.length) continue;   // outside its table
        const std::string bytes = read(uint64_t(table.offset) + storage + offset, length);
        if (bytes.size() != length) continue;
        std::u16string text = Name_Text(records.U16(r), records.U16(r + 2), bytes);
        if (!text.empty() && std::find(names.begin(), names.end(), text) == names.end())
            names.push_back(std::move(text));
    }
    return names;
}

// The face's weight and slant: the OS/2 table's weight class and selection flags, else the head
// table's style bits.
void Read_Style(const Font_Reader& read, const Face_Tables& tables, Font_File_Face& face) {
    if (tables.os2.length >= 6) {
        const Piece os2{read(tables.os2.offset, std::min<uint32_t>(tables.os2.length, 64))};
        if (os2.Has(4, 2)) {
            face.bold = os2.U16(4) >= WEIGHT_SEMIBOLD;
            face.italic = os2.Has(62, 2) && (os2.U16(62) & 1) != 0;   // fsSelection: italic
            return;
        }
    }
    const Piece head{tables.head.length >= 46 ? read(uint64_t(tables.head.offset) + 44, 2) : std::string()};
    face.bold = (head.U16(0) & 1) != 0;   // macStyle: bold, italic
    face.italic = (head.U16(0) & 2) != 0;
}

}   // namespace

std::vector<Font_File_Face> Read_Font_Faces(const Font_Reader& read) {
    std::vector<uint64_t> starts;
    const Piece header{read(0, 12)};
    if (header.U32(0) == Tag("ttcf")) {
        const uint32_t count = std::min(header.U32(8), MAX_FACES);
        const Piece offsets{read(12, count * 4)};
        for (uint32_t i = 0; i < count && offsets.Has(size_t(i) * 4, 4); ++i)
            starts.push_back(offsets.U32(size_t(i) * 4));
    } else {
        starts.push_back(0);
    }
    std::vector<Font_File_Face> faces;
    for (uint64_t start : starts) {
        // A face that cannot be read ends the list: the indexes after it would be wrong.
        const std::optional<Face_Tables> tables = Read_Tables(read, start);
        if (!tables) break;
        Font_File_Face& face = faces.emplace_back();
        face.names = Read_Names(read, tables->name);
        Read_Style(read, *tables, face);
    }
    return faces;
}

std::vector<Font_File_Face> Read_Font_File_Faces(const std::string& host_path) {
    std::ifstream in(File_System_Path(host_path), std::ios::binary);
    if (!in) return {};
    return Read_Font_Faces([&in](uint64_t offset, uint32_t count) {
        std::string bytes(count, '\0');
        in.clear();
        in.seekg(std::streamoff(offset));
        in.read(bytes.data(), std::streamsize(count));
        bytes.resize(in ? count : size_t(std::max<std::streamsize>(0, in.gcount())));
        return bytes;
    });
}

bool Same_Face_Name(const std::u16string& a, const std::u16string& b) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

int Face_Fit(const Font_File_Face& face, bool bold) { return (face.bold == bold ? 2 : 0) + (face.italic ? 0 : 1); }

std::optional<long> Find_Face_By_Name(const std::vector<Font_File_Face>& faces, const std::u16string& name, bool bold) {
    std::optional<long> best;
    for (size_t i = 0; i < faces.size(); ++i) {
        const auto& names = faces[i].names;
        if (std::none_of(names.begin(), names.end(), [&](const std::u16string& n) { return Same_Face_Name(n, name); }))
            continue;
        if (!best || Face_Fit(faces[i], bold) > Face_Fit(faces[size_t(*best)], bold)) best = long(i);
    }
    return best;
}
