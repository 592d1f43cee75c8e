// map_file_test.cpp -- the map file: field layout, counted strings, damaged files, loading, look-ups.
#include <gtest/gtest.h>

#include "errors/program_folder.h"

using namespace world_test;
using namespace std::literals;
static constexpr size_t NPOS = std::u16string::npos;

TEST(Map_File, Reads_Each_Field_From_Its_Place_And_Writes_The_Same_Bytes) {
    const std::string bytes = Two_Cell_Map().bytes;
    const Map_Model m = Parse_Map(bytes + "junk", "t.map");   // nothing after the last field is read
    ASSERT_EQ(m.Map_Image_Count, 2);
    EXPECT_EQ(std::tuple(m.Map_Images[0].file_name, m.Map_Images[1].id, m.Map_Width, m.Map_Height),
              std::tuple(u"images\\a.bmp", 3, 2, 1));
    EXPECT_EQ(m.Ground_Grid.cells, (std::vector<Ground_Cell>{{40, 20, -1, 3, u"ab"}, {80, -4, 0, 5, u""}}));
    // Piece_Cell in record order: source_x, source_y, offset_x, offset_y, width, height, present, image_id
    EXPECT_EQ(m.Object_Grid.cells,
              (std::vector<Piece_Cell>{{11, 12, -10, -30, 40, 50, 1, 7}, {9, 9, 9, 9, 9, 9, 0, 9}}));
    EXPECT_EQ(m.Overlay_Grid.cells, (std::vector<Piece_Cell>{{5, 6, 1, 2, 4, 3, -1, 3}, {}}));
    EXPECT_EQ(Write_Map(m), bytes);
}

TEST(Counted_String, Counts_Bytes_And_Reads_Nothing_For_Zero_Or_Negative) {
    // The count, the bytes after it (followed by the marker int16 0x1234), the text, the bytes taken.
    const struct {
        int count;
        std::string after;
        std::u16string text;
        size_t consumed;
    } cases[] = {
        {0, "", u"", 2},
        {-2, "", u"", 2},
        {-32768, "", u"", 2},
        {1, "Z", u"", 3},
        {4, Raw().I16({'a', 0x4E2D}).bytes, u"a\u4E2D", 6},
        {3, "a\0Z"s, u"a", 5},   // an odd count drops the lone byte
    };
    for (const auto& c : cases) {
        const std::string bytes = Raw().I16(c.count).bytes + c.after + "\x34\x12";
        Byte_Reader r{bytes, "s"};
        const std::tuple read{Read_Counted_String(r), size_t(r.pos), r.Int16("marker")};   // in this order
        EXPECT_EQ(read, std::tuple(c.text, c.consumed, 0x1234));
    }
    EXPECT_THROW(Byte_Writer{}.Counted_String(std::u16string(16384, u'x')), Data_Error);
    // A count beyond the end is an error, not a read past it.
    const std::string short_text = Raw().I16({6, 'a'}).bytes;
    EXPECT_NE(Data_Error_Of([&] { Byte_Reader{short_text, "s"}.Counted_String("name"); }), "");
}

TEST(Map_File, Damaged_Files_Are_Refused_Saying_What_And_Where) {
    Expect_Every_Cut_Refused(Two_Cell_Map().bytes, [](const std::string& b) { Parse_Map(b, "f"); });
    EXPECT_EQ(Data_Error_Of([] { Parse_Map(Two_Cell_Map().bytes.substr(0, 100), "f"); }),
              "f: file ends at byte 100, inside the overlay cell (0, 0) (from byte 96)");

    const struct {
        int n, w, h;
        std::string complaint;   // empty: valid
    } cases[] = {
        {0, 1, 1, "the image count is 0"},
        {1, 0, 1, "the map width is 0"},
        {1, 1, -1, "the map height is -1"},
        {1, 1601, 1, "the map width is 1601, more than 1600"},
        {1, 1, 1601, "the map height is 1601, more than 1600"},
        {1, 1600, 1, ""},
        {2, 1, 1, ""},
    };
    for (const auto& c : cases) {
        Raw r = Raw().I16(c.n);
        for (int i = 0; i < c.n; ++i) r.Str(u"i.bmp").I16(i);
        r.I16(c.w).I16(c.h);
        r.bytes.append(42 * size_t(std::max(c.w, 0) * std::max(c.h, 0)), '\0');   // cells with empty texts
        const std::string got = Data_Error_Of([&] { Parse_Map(r.bytes, "m"); });
        EXPECT_EQ(got.empty(), c.complaint.empty()) << c.complaint;
        EXPECT_NE(got.find(c.complaint), std::string::npos) << got;
    }
}

TEST(Map_File, Parsing_Into_A_Used_Model_Leaves_Nothing_Of_The_Old_Map) {
    Map_Model fresh = Parse_Map(Two_Cell_Map().bytes, "f");
    Map_Model big = fresh, same_size = fresh, into;
    big.Map_Width = big.Map_Height = 3;
    big.Ground_Grid.Resize(3, 3);
    for (auto* grid : {&big.Object_Grid, &big.Overlay_Grid}) grid->Resize(3, 3);
    for (auto& c : big.Ground_Grid.cells) c.text = u"old text";
    same_size.Ground_Grid(0, 0).text = u"";
    same_size.Object_Grid(0, 0).present = 0;
    // A smaller map after a larger one, then one of the same size (which reuses the storage).
    for (const Map_Model* m : {&big, &fresh, &same_size}) {
        Parse_Map_Into(Write_Map(*m), "f", into);
        EXPECT_EQ(std::tie(into.Map_Width, into.Ground_Grid.cells, into.Object_Grid.cells),
                  std::tie(m->Map_Width, m->Ground_Grid.cells, m->Object_Grid.cells));
    }
    // Grids that disagree with the size cannot be written.
    big.Overlay_Grid.Resize(2, 3);
    EXPECT_THROW(Write_Map(big), Data_Error);
}

using Map_Loading = Program_Folder_Test;

TEST_F(Map_Loading, Loads_The_File_And_Its_Images_Or_Ends_On_The_Error_Screen) {
    Write_Bmp(temp / "images/a.bmp", 3, 2, 0xFF0000);
    Write_Bmp(temp / "b", 5, 4, 0x00FF00);
    Write_File(temp / "data/t.map", Two_Cell_Map().bytes);
    Load_Map(From_Utf8(temp / "data\\t.map"));
    ASSERT_EQ(Map.Map_Images.size(), 2u);
    EXPECT_EQ(
        std::tuple(Map.Map_Images[0].surface.At(2, 1), Map.Map_Images[1].surface.height, Map.Ground_Grid(0, 0).text),
        std::tuple(Color_To_Pixel(Rgb(255, 0, 0)), 4, u"ab"));

    const std::u16string missing = From_Utf8(temp / "data\\none.map");
    EXPECT_NE(Raised([&] { Load_Map(missing); }).find(u"找不到檔案 : " + missing), NPOS);
    Write_File(temp / "data/cut.map", Two_Cell_Map().bytes.substr(0, 60));
    const std::u16string cut = From_Utf8(temp / "data\\cut.map");
    const std::u16string log = Raised([&] { Load_Map(cut); });
    EXPECT_NE(log.find(u"其它錯誤 : 檔案不完整 : " + cut), NPOS) << To_Utf8(log);
    EXPECT_EQ(Map.Map_Width, 0);   // nothing half-read stays behind
    fs::remove(temp / "images/a.bmp");
    EXPECT_NE(Raised([&] { Load_Map(From_Utf8(temp / "data/t.map")); }).find(u"images\\a.bmp"), NPOS);
}

TEST_F(Headless_Test, Find_Map_Image_Takes_The_First_Match_Or_Index_0) {
    EXPECT_EQ(Find_Map_Image(7), 0);
    for (int16_t id : {7, 3, 3, -1}) Map.Map_Images.push_back(Map_Image{u"x", id, {}});
    const std::pair<int16_t, int16_t> cases[] = {{7, 0}, {3, 1}, {-1, 3}, {5, 0}, {0, 0}};
    for (auto [id, index] : cases) EXPECT_EQ(Find_Map_Image(id), index) << "id " << id;
    // A parsed map answers from the index made at parsing: the same, up to the ends of 16 bits.
    Map_Model m = Parse_Map(Two_Cell_Map().bytes, "f");
    m.Map_Images.clear();
    for (int16_t id : {7, 3, 3, -32768, 32767, 3}) m.Map_Images.push_back(Map_Image{u"x", id, {}});
    m = Parse_Map(Write_Map(m), "f");
    ASSERT_EQ(m.Image_Index.size(), 65536u);
    const std::pair<int16_t, int16_t> indexed[] = {{7, 0}, {3, 1}, {-32768, 3}, {32767, 4}, {5, 0}, {-1, 0}};
    for (auto [id, index] : indexed) EXPECT_EQ(Find_Image_Index(m, id), index) << "id " << id;
}

// A map of several megabytes, texts of every length among its cells, read from its file in pieces:
// the same model as from its bytes, and the same complaint for every cut, also one that falls
// inside a cell on the edge between two pieces.
TEST(Map_File, A_Large_File_Read_In_Pieces_Parses_As_Its_Bytes) {
    Temp_Folder folder;
    Map_Model big = Parse_Map(Two_Cell_Map().bytes, "f");
    big.Map_Width = 1600, big.Map_Height = 48;
    big.Ground_Grid.Resize(1600, 48);
    for (auto* grid : {&big.Object_Grid, &big.Overlay_Grid}) grid->Resize(1600, 48);
    for (size_t i = 0; i < big.Ground_Grid.cells.size(); ++i) {
        Ground_Cell& g = big.Ground_Grid.cells[i];
        g = Ground_Cell{int16_t(i), int16_t(i * 3), int16_t(-int(i % 2)), int16_t(i % 5), u""};
        g.text.assign(i % 7 == 0 ? i % 53 : 0, char16_t(u'a' + i % 26));
        big.Object_Grid.cells[i].present = int16_t(i % 3);
        big.Overlay_Grid.cells[i].source_y = int16_t(i);
    }
    const std::string bytes = Write_Map(big);
    ASSERT_GT(bytes.size(), size_t(3) << 20);
    auto from_file = [&](const std::string& b) {
        Write_File(folder / "cut.map", b);
        std::optional<Input_File> input = Open_Input_File(folder / "cut.map");
        Map_Model m;
        Parse_Map_File_Into(*input, "f", m);
        return m;
    };
    const Map_Model read = from_file(bytes);
    EXPECT_TRUE(std::tie(read.Ground_Grid.cells, read.Object_Grid.cells, read.Overlay_Grid.cells) ==
                std::tie(big.Ground_Grid.cells, big.Object_Grid.cells, big.Overlay_Grid.cells));
    const size_t piece = size_t(1) << 20;
    for (size_t cut : {size_t(3), size_t(40), piece - 1, piece + 5, 2 * piece + 1, bytes.size() / 2, bytes.size() - 17,
                       bytes.size() - 1}) {
        const std::string part = bytes.substr(0, cut);
        const std::string expected = Data_Error_Of([&] { Parse_Map(part, "f"); });
        EXPECT_NE(expected, "") << cut;
        EXPECT_EQ(Data_Error_Of([&] { from_file(part); }), expected) << cut;
    }
}
