// map_file_test.cpp -- the map file: field layout, counted strings, damaged files, loading, look-ups.
#include <gtest/gtest.h>

#include <random>

#include "characters/animation.h"
#include "characters/player.h"

#include "fixture.h"
#include "map/map.h"
#include "map/world_files.h"

using namespace world_test;

namespace {

// Two images (ids 7 and 3), a 2 x 1 map; every field holds a distinct value.
Raw Two_Cell_Map() {
    Raw r;
    r.I16(2).Str(u"images\\a.bmp").I16(7).Str(u"b").I16(3);
    r.I16(2).I16(1);
    // ground: image_id, blocked, text, source_x, source_y
    r.I16(3).I16(-1).Str(u"ab").I16(40).I16(20);
    r.I16(5).I16(0).Str(u"").I16(80).I16(-4);
    // objects: image_id, offset_x, offset_y, height, width, present, source_x, source_y
    r.I16(7).I16(-10).I16(-30).I16(50).I16(40).I16(1).I16(11).I16(12);
    r.I16(9).I16(9).I16(9).I16(9).I16(9).I16(0).I16(9).I16(9);
    // overlay
    r.I16(3).I16(1).I16(2).I16(3).I16(4).I16(-1).I16(5).I16(6);
    r.I16(0).I16(0).I16(0).I16(0).I16(0).I16(0).I16(0).I16(0);
    return r;
}

}  // namespace

TEST(Map_File, Reads_Each_Field_From_Its_Place_In_The_File) {
    Map_Model m = Parse_Map(Two_Cell_Map().bytes, "t.map");
    ASSERT_EQ(m.Map_Image_Count, 2);
    EXPECT_EQ(m.Map_Images[0].file_name, u"images\\a.bmp");
    EXPECT_EQ(m.Map_Images[0].id, 7);
    EXPECT_EQ(m.Map_Images[1].file_name, u"b");
    EXPECT_EQ(m.Map_Images[1].id, 3);
    ASSERT_EQ(m.Map_Width, 2);
    ASSERT_EQ(m.Map_Height, 1);

    const Ground_Cell g0{40, 20, -1, 3, u"ab"}, g1{80, -4, 0, 5, u""};
    EXPECT_EQ(m.Ground_Grid(0, 0), g0);
    EXPECT_EQ(m.Ground_Grid(1, 0), g1);
    // Piece_Cell in record order: source_x, source_y, offset_x, offset_y, width, height, present, image_id
    const Piece_Cell o0{11, 12, -10, -30, 40, 50, 1, 7}, o1{9, 9, 9, 9, 9, 9, 0, 9};
    EXPECT_EQ(m.Object_Grid(0, 0), o0);
    EXPECT_EQ(m.Object_Grid(1, 0), o1);
    const Piece_Cell v0{5, 6, 1, 2, 4, 3, -1, 3}, v1{};
    EXPECT_EQ(m.Overlay_Grid(0, 0), v0);
    EXPECT_EQ(m.Overlay_Grid(1, 0), v1);

    // The written file is the same bytes.
    EXPECT_EQ(Write_Map(m), Two_Cell_Map().bytes);
}

TEST(Counted_String, Counts_Bytes_And_Reads_Nothing_For_Zero_Or_Negative) {
    struct Case {
        const char* name;
        std::string bytes;     // the string's bytes followed by the marker int16 0x1234
        std::u16string text;
        size_t consumed;       // bytes the string takes
    };
    const std::string marker = "\x34\x12";
    const Case cases[] = {
        {"zero count", std::string("\x00\x00", 2) + marker, u"", 2},
        {"negative count", std::string("\xFE\xFF", 2) + marker, u"", 2},
        {"most negative count", std::string("\x00\x80", 2) + marker, u"", 2},
        {"two characters", std::string("\x04\x00" "a\x00" "b\x00", 6) + marker, u"ab", 6},
        {"count 8 is four characters", std::string("\x08\x00" "a\x00" "b\x00" "c\x00" "\x2D\x4E", 10) + marker,
         u"abc\u4E2D", 10},
        {"odd count drops the lone byte", std::string("\x03\x00" "a\x00" "Z", 5) + marker, u"a", 5},
        {"count 1 is empty but consumed", std::string("\x01\x00" "Z", 3) + marker, u"", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Byte_Reader r{c.bytes, "s"};
        EXPECT_EQ(Read_Counted_String(r), c.text);
        EXPECT_EQ(r.pos, c.consumed);
        EXPECT_EQ(r.Int16("marker"), 0x1234);
    }

    // Writing: count in bytes, low byte first.
    Byte_Writer w;
    w.Counted_String(u"a\u4E2D");
    EXPECT_EQ(w.bytes, std::string("\x04\x00" "a\x00" "\x2D\x4E", 6));
    Byte_Writer empty;
    empty.Counted_String(u"");
    EXPECT_EQ(empty.bytes, std::string("\x00\x00", 2));
    Byte_Writer too_long;
    EXPECT_THROW(too_long.Counted_String(std::u16string(16384, u'x')), Data_Error);

    // A count larger than what is left is an error, not a read past the end.
    const std::string short_text("\x06\x00" "a\x00", 4);
    Byte_Reader r{short_text, "s"};
    EXPECT_THROW(r.Counted_String("name"), Data_Error);
}

TEST(Map_File, Every_Truncation_Is_A_Clear_Error) {
    const std::string bytes = Two_Cell_Map().bytes;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::string part = bytes.substr(0, cut);
        try {
            Parse_Map(part, "data/t.map");
            ADD_FAILURE() << "no error for a file cut at byte " << cut;
        } catch (const Data_Error& e) {
            const std::string msg = e.what();
            EXPECT_EQ(msg.rfind("data/t.map: file ends at byte " + std::to_string(cut), 0), 0u) << msg;
        }
    }
    // The message says which cell: the first overlay cell starts at byte 96.
    try {
        Parse_Map(bytes.substr(0, 100), "data/t.map");
        ADD_FAILURE();
    } catch (const Data_Error& e) {
        EXPECT_STREQ(e.what(), "data/t.map: file ends at byte 100, inside the overlay cell (0, 0) (from byte 96)");
    }
    // Bytes after the last field are not read.
    EXPECT_NO_THROW(Parse_Map(bytes + "junk", "t.map"));
}

TEST(Map_File, Counts_Below_One_And_Oversized_Maps_Are_Refused) {
    auto map_with = [](int n, int w, int h) {
        Raw r;
        r.I16(n);
        for (int i = 0; i < n; ++i) r.Str(u"i.bmp").I16(i);
        r.I16(w).I16(h);
        for (int i = 0; i < 3 * std::max(w, 0) * std::max(h, 0); ++i)   // whole cells, empty texts
            r.I16(0).I16(0).I16(0).I16(0).I16(0).I16(0).I16(0).I16(0);
        return r.bytes;
    };
    struct Case {
        int n, w, h;
        const char* complaint;   // empty: valid
    };
    const Case cases[] = {
        {0, 1, 1, "the image count is 0"},  {-3, 1, 1, "the image count is -3"},
        {1, 0, 1, "the map width is 0"},    {1, 1, -1, "the map height is -1"},
        {1, 1601, 1, "the map width is 1601, more than 1600"},
        {1, 1, 1601, "the map height is 1601, more than 1600"},
        {1, 1600, 1, ""},                   {2, 1, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.n) + " images, " + std::to_string(c.w) + " x " + std::to_string(c.h));
        const std::string bytes = map_with(c.n, c.w, c.h);
        if (*c.complaint == 0) {
            EXPECT_NO_THROW(Parse_Map(bytes, "m"));
            continue;
        }
        try {
            Parse_Map(bytes, "m");
            ADD_FAILURE() << "accepted";
        } catch (const Data_Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.complaint), std::string::npos) << e.what();
        }
    }
}

TEST(Map_File, Reparsing_Into_A_Model_Leaves_Nothing_Of_The_Old_Map) {
    Map_Model big;
    big.Map_Images.resize(1);
    big.Map_Width = big.Map_Height = 3;
    for (auto* grid : {&big.Object_Grid, &big.Overlay_Grid}) grid->Resize(3, 3);
    big.Ground_Grid.Resize(3, 3);
    for (auto& c : big.Ground_Grid.cells) c = Ground_Cell{1, 2, -1, 4, u"old text"};
    for (auto& c : big.Object_Grid.cells) c.present = 1;
    const Map_Model fresh = Parse_Map(Two_Cell_Map().bytes, "t.map");

    // A smaller map into a model holding a larger one, then the larger one again into the same
    // storage: every field, texts included, is overwritten.
    Map_Model into = Parse_Map(Write_Map(big), "big.map");
    Parse_Map_Into(Two_Cell_Map().bytes, "t.map", into);
    EXPECT_EQ(into.Map_Width, 2);
    EXPECT_EQ(into.Map_Images.size(), 2u);
    EXPECT_EQ(into.Ground_Grid.cells, fresh.Ground_Grid.cells);
    EXPECT_EQ(into.Overlay_Grid.cells, fresh.Overlay_Grid.cells);
    Map_Model other = Parse_Map(Write_Map(big), "big.map");
    for (auto& c : other.Ground_Grid.cells) c = Ground_Cell{};
    other.Ground_Grid(1, 1).text = u"new";
    other.Object_Grid(2, 2).present = 0;
    Parse_Map_Into(Write_Map(big), "big.map", into);
    Parse_Map_Into(Write_Map(other), "other.map", into);
    EXPECT_EQ(into.Ground_Grid.cells, other.Ground_Grid.cells);
    EXPECT_EQ(into.Object_Grid.cells, other.Object_Grid.cells);

    // Grids that disagree with the size cannot be written.
    other.Overlay_Grid.Resize(2, 3);
    EXPECT_THROW(Write_Map(other), Data_Error);
}

class Map_Loading : public Headless_Test {
protected:
    Temp_Folder folder;
    void SetUp() override {
        Headless_Test::SetUp();
        Platform.program_folder = folder.path.string();
    }
};

TEST_F(Map_Loading, Loads_The_File_And_Its_Images_And_Replaces_The_Old_Map) {
    Write_Bmp(folder / "images/a.bmp", 3, 2, [](int x, int) { return x == 0 ? 0u : 0xFF0000u; });
    Write_Bmp(folder / "b", 5, 4, [](int, int) { return 0x00FF00u; });
    const std::string path = folder / "data/testmap.map";
    Write_File(path, Two_Cell_Map().bytes);

    Load_Map(From_Utf8(path));
    ASSERT_EQ(Map.Map_Images.size(), 2u);
    EXPECT_EQ(Map.Map_Images[0].surface.width, 3);
    EXPECT_EQ(Map.Map_Images[0].surface.At(2, 1), Color_To_Pixel(Rgb(255, 0, 0)));
    EXPECT_EQ(Map.Map_Images[1].surface.height, 4);
    EXPECT_EQ(Map.Ground_Grid(0, 0).text, u"ab");

    // The same file through "\" separators, then a smaller map: no cell of the larger one stays.
    Raw small;
    small.I16(1).Str(u"b").I16(3).I16(1).I16(1);
    small.I16(1).I16(0).Str(u"").I16(0).I16(0);
    for (int i = 0; i < 16; ++i) small.I16(0);
    Write_File(folder / "data/small.map", small.bytes);
    std::u16string backslashed = From_Utf8(folder / "data\\small.map");
    Load_Map(backslashed);
    EXPECT_EQ(Map.Map_Width, 1);
    EXPECT_EQ(Map.Ground_Grid.cells.size(), 1u);
    EXPECT_EQ(Map.Object_Grid.cells.size(), 1u);
    EXPECT_EQ(Map.Map_Images.size(), 1u);
}

TEST_F(Map_Loading, Missing_Or_Damaged_Files_End_On_The_Error_Screen) {
    const std::u16string missing = From_Utf8(folder / "data\\none.map");
    EXPECT_NE(Raised_Error([&] { Load_Map(missing); }).find(u"找不到檔案 : " + missing), std::u16string::npos);

    const std::string cut = Two_Cell_Map().bytes.substr(0, 60);
    Write_File(folder / "data/cut.map", cut);
    const std::u16string log = Raised_Error([&] { Load_Map(From_Utf8(folder / "data/cut.map")); });
    EXPECT_NE(log.find(u"其它錯誤 : "), std::u16string::npos) << To_Utf8(log);
    EXPECT_NE(log.find(u"cut.map: file ends at byte 60, inside the ground cell (1, 0)"), std::u16string::npos)
        << To_Utf8(log);
    EXPECT_EQ(Map.Map_Width, 0);   // nothing half-read stays behind

    // A picture the map names but that is not there.
    Write_File(folder / "data/t.map", Two_Cell_Map().bytes);
    EXPECT_NE(Raised_Error([&] { Load_Map(From_Utf8(folder / "data/t.map")); }).find(u"images\\a.bmp"),
              std::u16string::npos);
}

TEST_F(Headless_Test, Find_Map_Image_Takes_The_First_Match_Or_Index_0) {
    for (int16_t id : {7, 3, 3, -1}) Map.Map_Images.push_back(Map_Image{u"x", id, {}});
    const std::pair<int16_t, int16_t> cases[] = {{7, 0}, {3, 1}, {-1, 3}, {5, 0}, {0, 0}};
    for (auto [id, index] : cases) EXPECT_EQ(Find_Map_Image(id), index) << "id " << id;
    Map.Map_Images.clear();
    EXPECT_EQ(Find_Map_Image(7), 0);
}

// Random bytes changed in valid files: each reader either reads the file or names what is wrong.
TEST(Data_Files, Damaged_Bytes_Never_Crash_A_Reader) {
    Raw ple;
    ple.Str(u"a.ani").I16(1).I16(1).I16(0).Str(u"walk");
    for (int d = 1; d <= 8; ++d) ple.I16(d);
    Raw ani;
    ani.I16(1).Str(u"s.bmp").I16(1).I16(1).I16(1).I16(1).I16(2);
    for (int i = 0; i < 14; ++i) ani.I16(i);
    const std::string files[3] = {Two_Cell_Map().bytes, ple.bytes, ani.bytes};
    std::mt19937 random(5);
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        const int kind = round % 3;
        std::string bytes = files[kind];
        for (int n = 1 + int(random() % 3); n > 0; --n) bytes[random() % bytes.size()] = char(random());
        try {
            if (kind == 0) Parse_Map(bytes, "m");
            if (kind == 1) Parse_Character_File(bytes, "p");
            if (kind == 2) Parse_Animation_File(bytes, "a");
        } catch (const Data_Error& e) {
            ++refused;
            EXPECT_NE(std::string(e.what()).find(": "), std::string::npos);
        }
    }
    EXPECT_GT(refused, 300);
}
