// fonts_test.cpp -- faces chosen by name inside font files and collections, from made-up files
// (damaged ones too) and from the faces this machine resolves the game's face names to.
#include "platform/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/encoding.h"
#include "platform/font_faces.h"

namespace {

struct Fake_Name {
    uint16_t platform = 3, encoding = 1, id = 1;
    std::string bytes;
    uint16_t overstate = 0;   // added to the length the record gives, past what the table holds
};
struct Fake_Face {
    std::vector<Fake_Name> names;
    uint16_t weight = 400;
    bool italic = false;
};

// Big-endian fields, as font files hold them.
struct Be {
    std::string bytes;
    Be& U16(uint32_t v) {
        bytes += {char(v >> 8), char(v)};
        return *this;
    }
    Be& U32(uint32_t v) { return U16(v >> 16).U16(v & 0xFFFF); }
};
std::string Utf16_Be(const std::u16string& text) {
    Be s;
    for (char16_t c : text) s.U16(c);
    return s.bytes;
}

// A font file of the faces, each with an "OS/2" and a "name" table; a collection when asked.
std::string Font_File(const std::vector<Fake_Face>& faces, bool collection) {
    Be head, file;   // head: the collection's header, with the start of each face
    if (collection) {
        head.bytes = "ttcf";
        head.U32(0x00010000).U32(uint32_t(faces.size()));
    }
    for (const Fake_Face& face : faces) {
        const size_t start = (collection ? 12 + 4 * faces.size() : 0) + file.bytes.size();
        const size_t os2_at = start + 12 + 2 * 16, name_at = os2_at + 64;
        if (collection) head.U32(uint32_t(start));
        Be names, storage;
        names.U16(0).U16(uint32_t(face.names.size())).U16(uint32_t(6 + 12 * face.names.size()));
        for (const Fake_Name& n : face.names) {
            names.U16(n.platform).U16(n.encoding).U16(0).U16(n.id).U16(uint32_t(n.bytes.size() + n.overstate));
            names.U16(uint32_t(storage.bytes.size()));
            storage.bytes += n.bytes;
        }
        names.bytes += storage.bytes;
        file.U32(0x00010000).U16(2).bytes += std::string(6, '\0');
        for (auto [tag, at, length] : {std::tuple{"OS/2", os2_at, size_t(64)}, {"name", name_at, names.bytes.size()}}) {
            file.bytes += tag;
            file.U32(0).U32(uint32_t(at)).U32(uint32_t(length));
        }
        Be os2;   // version, average width, weight class, ..., selection flags at 62
        os2.U16(3).U16(500).U16(face.weight).bytes.resize(62);
        file.bytes += os2.U16(face.italic ? 1 : 0).bytes + names.bytes;
    }
    return head.bytes + file.bytes;
}

Font_Reader Reader_Of(const std::string& file) {
    return [&file](uint64_t offset, uint32_t count) {
        return offset >= file.size() ? std::string() : file.substr(size_t(offset), count);
    };
}

const std::vector<Fake_Face> FACES = {
    {{{3, 1, 1, Utf16_Be(u"PMingLiU")},
      {3, 4, 1, To_Cp950(u"新細明體")},   // a Big5 name
      {3, 1, 2, Utf16_Be(u"Regular")},    // a style name: not a face name
      {1, 0, 4, "PMingLiU Full"},         // Macintosh Roman
      {3, 1, 1, Utf16_Be(u"Cut"), 2}}},   // reaches past its table: skipped
    {{{3, 1, 1, Utf16_Be(u"PMingLiU")}}, 700, true},
    {{{3, 1, 16, Utf16_Be(u"PMingLiU")}, {0, 3, 4, Utf16_Be(u"PMingLiU Bold \U0001F600")}}, 700},
};

TEST(Font_Faces, Faces_Names_And_Weights_Of_A_Collection) {
    const std::string file = Font_File(FACES, true);
    const std::vector<Font_File_Face> faces = Read_Font_Faces(Reader_Of(file));
    ASSERT_EQ(faces.size(), 3u);
    EXPECT_EQ(faces[0].names, (std::vector<std::u16string>{u"PMingLiU", u"新細明體", u"PMingLiU Full"}));
    EXPECT_EQ(faces[2].names, (std::vector<std::u16string>{u"PMingLiU", u"PMingLiU Bold \U0001F600"}));
    EXPECT_EQ(std::tuple(faces[0].bold, faces[1].bold, faces[2].bold), std::tuple(false, true, true));
    EXPECT_EQ(std::tuple(faces[0].italic, faces[1].italic, faces[2].italic), std::tuple(false, true, false));
    // By any of its names, ASCII in either case; the weight asked for first, then upright.
    const std::tuple<std::u16string, bool, std::optional<long>> lookups[] = {
        {u"新細明體", false, 0}, {u"新細明體", true, 0},    {u"pmingliu", false, 0},     {u"PMINGLIU", true, 2},
        {u"Regular", false, {}}, {u"PMingLiU ", false, {}}, {u"PMingLiU Full", true, 0}, {u"", false, {}},
    };
    for (const auto& [name, bold, index] : lookups)
        EXPECT_EQ(Find_Face_By_Name(faces, name, bold), index) << To_Utf8(name);
    // One face alone, not in a collection.
    const std::string single = Font_File({FACES[2]}, false);
    ASSERT_EQ(Read_Font_Faces(Reader_Of(single)).size(), 1u);
    EXPECT_TRUE(Read_Font_Faces(Reader_Of(single))[0].bold);
}

TEST(Font_Faces, Damaged_Files_Give_Fewer_Faces_Never_A_Bad_Read) {
    const std::string whole = Font_File(FACES, true);
    const std::vector<Font_File_Face> all = Read_Font_Faces(Reader_Of(whole));
    // Cut anywhere: the faces read are a leading part, each with a part of its names.
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        const std::string part = whole.substr(0, cut);
        const std::vector<Font_File_Face> faces = Read_Font_Faces(Reader_Of(part));
        ASSERT_LE(faces.size(), all.size()) << cut;
        for (size_t i = 0; i < faces.size(); ++i)
            for (const std::u16string& name : faces[i].names)
                EXPECT_NE(std::find(all[i].names.begin(), all[i].names.end(), name), all[i].names.end()) << cut;
    }
    // Counts and offsets out of all reason; bytes that are no font.
    std::string huge_count = whole, far_offset = whole, huge_tables = whole;
    huge_count.replace(8, 4, "\xFF\xFF\xFF\xFF");
    far_offset.replace(12, 4, "\x7F\xFF\xFF\xFF");
    huge_tables.replace(24 + 4, 2, "\xFF\xFF");                     // the first face's table count
    EXPECT_EQ(Read_Font_Faces(Reader_Of(huge_count)).size(), 3u);   // the offsets that are there
    EXPECT_TRUE(Read_Font_Faces(Reader_Of(far_offset)).empty());    // the first face is lost: no indexes
    EXPECT_EQ(Read_Font_Faces(Reader_Of(huge_tables)).size(), 3u);
    for (const std::string& junk :
         {std::string(), std::string("ttcf"), std::string("<html>no font</html>"), std::string("\x00\x01\x00\x00", 4)})
        EXPECT_TRUE(Read_Font_Faces(Reader_Of(junk)).empty()) << junk;
    EXPECT_TRUE(Read_Font_File_Faces("no such folder/no such font.ttf").empty());
}

// The game's faces lead to a file that holds a face of that name here: the system's own, or the
// fallback shipped with the program (Windows) or installed (Linux), chosen by name.
TEST(Font_Faces, The_Game_Faces_Resolve_To_A_Face_Of_Their_Name) {
    const std::tuple<std::u16string, bool, std::vector<std::u16string>, bool> cases[] = {
        {u"新細明體", false, {u"新細明體", u"PMingLiU", u"AR PL UMing TW"}, false},
        {u"新細明體", true, {u"新細明體", u"PMingLiU", u"AR PL UMing TW"}, true},   // no bold face of its own
        {u"IMPACT", false, {u"Impact", u"DejaVu Sans Condensed"}, false},
    };
    for (const auto& [face, bold, names, synthetic] : cases) {
        const std::optional<Resolved_Face> resolved = Resolve_Face(face, bold);
        ASSERT_TRUE(resolved) << To_Utf8(face);
        const std::vector<Font_File_Face> faces = Read_Font_File_Faces(resolved->file);
        ASSERT_LT(size_t(resolved->index), faces.size()) << resolved->file;
        const std::vector<std::u16string>& found = faces[size_t(resolved->index)].names;
        EXPECT_TRUE(std::any_of(
            names.begin(), names.end(),
            [&](const std::u16string& n) { return std::find(found.begin(), found.end(), n) != found.end(); }))
            << resolved->file << " face " << resolved->index;
        EXPECT_EQ(resolved->synthetic_bold, synthetic) << To_Utf8(face);
    }
#ifdef _WIN32
    // Any other face is found through the system's list of fonts: Wine lists the Linux machine's,
    // which hold DejaVu Serif (and which the shipped fallbacks do not).
    const std::optional<Resolved_Face> serif = Resolve_Face(u"dejavu serif", true);
    ASSERT_TRUE(serif);
    EXPECT_NE(serif->file.find("DejaVuSerif-Bold.ttf"), std::string::npos) << serif->file;
    EXPECT_FALSE(serif->synthetic_bold);
#else
    // fontconfig's syntax characters are taken literally.
    EXPECT_EQ(Font_Pattern(u"A:b-c", true), "A\\:b\\-c:weight=bold");
#endif
    // A name nothing has still leads to some face.
    EXPECT_TRUE(Resolve_Face(u"No Such Face:size=900", false));
}

}   // namespace
