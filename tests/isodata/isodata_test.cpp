// isodata_test.cpp -- isodata's commands: dump and build, check, preview, and its command line.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "display/bitmap.h"
#include "map/world_files.h"
#include "tools/isodata/cli.h"
#include "tools/isodata/pictures.h"

using namespace world_test;
using nlohmann::json;

struct Isodata : testing::Test {
    Temp_Folder folder;
    std::ostringstream out, err;

    // Runs isodata with `folder` as the program folder; out and err hold only what this run printed.
    int Run(const std::vector<std::string>& args) {
        out.str(""), err.str("");
        return Isodata_Main(args, folder.path.string(), out, err);
    }
    // images/ground.bmp 80 x 20 (red), images/pieces.bmp 3 x 2 (green), images/sheet.bmp 8 x 8; a 2 x 1
    // map: an object 3 x 2 at (10, 2) and an overlay piece 1 x 1 from (2, 1) at (12, 4), both on (0, 0).
    std::string Good_Map() {
        Write_Bmp(folder / "images/ground.bmp", 80, 20, 0xFF0000);
        Write_Bmp(folder / "images/pieces.bmp", 3, 2, 0x00FF00);
        Write_Bmp(folder / "images/sheet.bmp", 8, 8, 0x0000FF);
        Raw r = Raw().I16(2).Str(u"images\\ground.bmp").I16(10).Str(u"images\\pieces.bmp").I16(20).I16(2).I16(1);
        r.I16(10).I16(0).Str(u"門").I16(0).I16(0).I16(10).I16(-1).Str(u"").I16(40).I16(0);
        r.I16({20, 10, 2, 2, 3, 1, 0, 0}).bytes.append(16, '\0');                 // object cells (0, 0) and (1, 0)
        return r.I16({20, 12, 4, 1, 1, 1, 2, 1}).bytes + std::string(16, '\0');   // overlay cells
    }
    // One sheet (images/sheet.bmp) and one sequence (id 1) of one frame.
    static std::string Good_Animations() {
        return Raw().I16(1).Str(u"images\\sheet.bmp").I16({5, 1, 5, 1, 1, -2, -8, 8, 4, 4, 0, 120}).bytes;
    }
    static std::string Good_Characters(const std::u16string& action = u"walk") {
        return Raw().Str(u"data\\t.ani").I16({1, 1, 3}).Str(action).I16({1, 1, 1, 1, 1, 1, 1, 1}).bytes;
    }
};

TEST_F(Isodata, Dump_Then_Build_Gives_The_Same_Bytes_And_Good_Files_Pass_The_Check) {
    for (const auto& [name, bytes] : {std::pair{"data/t.ani", Good_Animations()},
                                      {"sprites.dat", Good_Animations()},
                                      {"t.ple", Good_Characters()},
                                      {"t.map", Good_Map()}}) {
        Write_File(folder / name, bytes);
        ASSERT_EQ(Run({"dump", folder / name}), 0) << err.str();
        EXPECT_EQ(err.str(), "");
        Write_File(folder / "dump.json", out.str());
        ASSERT_EQ(Run({"build", folder / "dump.json", folder / "rebuilt"}), 0) << err.str();
        EXPECT_EQ(Read_Whole_File(folder / "rebuilt"), bytes) << name;
    }
    // Good files pass the check. The map's JSON names fields as the game does, grids as rows, strings as UTF-8.
    EXPECT_EQ(Run({"check", folder / "t.map", folder / "data/t.ani", folder / "t.ple"}), 0) << out.str();
    // So does a world of corridors whose 900 walled-in cells no one can reach, with a warning.
    Map_Model world = Corridor_World(120, 10);
    world.Map_Image_Count = 1;
    world.Map_Images.push_back(Map_Image{u"images\\ground.bmp", 10, {}});
    Write_File(folder / "pockets.map", Write_Map(world));
    EXPECT_EQ(Run({"check", folder / "pockets.map"}), 0) << out.str();
    EXPECT_NE(out.str().find("pockets.map: warning: 900 free cells no player can walk to, outside the largest "
                             "walkable region of 6300 cells: (2, 2), (6, 2), (10, 2), (14, 2), (18, 2), ..."),
              std::string::npos)
        << out.str();
    const json ground = json::parse(Read_Whole_File(folder / "dump.json").value())["ground"];
    EXPECT_EQ(ground, json::parse(R"({"image_id": [[10, 10]], "blocked": [[0, -1]], "text": [["門", ""]],
                                      "source_x": [[0, 40]], "source_y": [[0, 0]]})"));
}

TEST_F(Isodata, Check_Reports_Each_Problem_With_Where_It_Is) {
    Good_Map();   // the pictures
    // A map with a missing picture, an image id that matches nothing and pieces cut beyond their
    // picture; an animation file whose sequence names no sheet and cuts beyond it; a character
    // file whose ids match no sequence and that has no "walk"; a damaged file.
    Raw map = Raw().I16(2).Str(u"images\\ground.bmp").I16(10).Str(u"images\\gone.bmp").I16(30).I16(2).I16(1);
    map.I16(10).I16(0).Str(u"").I16(0).I16(0).I16(5).I16(3).Str(u"").I16(60).I16(0);
    Write_File(folder / "bad.map", map.I16({10, 0, 0, 20, 40, 1, 50, 10}).bytes + std::string(48, '\0'));
    Raw ani = Raw().I16(1).Str(u"images\\sheet.bmp").I16({5, 1, 9, 2, 2, 0, 0, 4, 4, 6, 0, 50});
    Write_File(folder / "data/t.ani", ani.I16({0, 0, 0, 4, 0, 0, -5}).bytes);
    Write_File(folder / "t.ple", Good_Characters(u"run"));
    Write_File(folder / "cut.map", Good_Map().substr(0, 50));
    EXPECT_EQ(Run({"check", folder / "bad.map", folder / "data/t.ani", folder / "t.ple", folder / "cut.map"}), 1);
    for (const std::string line : {
             "bad.map: image entry 1: picture \"images\\gone.bmp\" not found",
             "bad.map: ground cell (1, 0): blocked value 3 is neither 0 nor -1",
             "bad.map: ground cell (1, 0): image id 5 matches no image (the first image is used)",
             "bad.map: ground cell (1, 0): rectangle (60, 0)-(100, 20) is outside its picture of 80 x 20",
             "bad.map: object cell (0, 0): rectangle (50, 10)-(90, 30) is outside its picture of 80 x 20",
             "t.ani: sequence 0: sheet id 9 matches no sheet",
             "t.ani: sequence 0, frame 0: rectangle (6, 0)-(10, 4) is outside its picture of 8 x 8",
             "t.ani: sequence 0, frame 1: duration -5 is negative",
             "t.ani: sequence 0, frame 1: size 4 x 0 is empty",
             "t.ple: sprite type 0: no action named \"walk\"",
             "t.ple: sprite type 0, action 0 \"run\", direction 8: sequence id 1 matches no sequence",
             "cut.map: file ends at byte 50",
         })
        EXPECT_NE(out.str().find(line), std::string::npos) << "missing: " << line << "\nin:\n" << out.str();
}

TEST_F(Isodata, Preview_Draws_Ground_Then_Objects_Then_Overlay) {
    Write_File(folder / "t.map", Good_Map());
    ASSERT_EQ(Run({"preview", folder / "t.map", folder / "p.bmp"}), 0) << err.str();
    // Tiles at (0, 0) and (20, 10): the picture is the map's box, 60 x 30. Both grounds (red in
    // RGB565), the object, the overlay piece (green again) and two places with nothing.
    const std::tuple<int, int, int> pixels[] = {{5, 5, 0xF800},  {55, 25, 0xF800}, {10, 2, 0x07E0}, {12, 3, 0x07E0},
                                                {12, 4, 0x07E0}, {13, 4, 0xF800},  {0, 25, 0},      {59, 0, 0}};
    for (auto [x, y, pixel] : pixels) EXPECT_EQ(Decode_Bmp(folder / "p.bmp").value().At(x, y), pixel) << x << ", " << y;
    // A PNG: signature, header and size; a missing picture leaves its pieces out, with a warning.
    std::filesystem::remove(folder / "images/pieces.bmp");
    EXPECT_EQ(Run({"preview", folder / "t.map", folder / "p.png"}), 0);
    EXPECT_NE(err.str().find("images\\pieces.bmp"), std::string::npos);
    EXPECT_EQ(Read_Whole_File(folder / "p.png").value_or("").substr(0, 24),
              std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x3c\0\0\0\x1e", 24));
}

// Each case writes its input to "in" first; a refused build leaves no file behind.
TEST_F(Isodata, Refuses_Bad_Command_Lines_And_Documents_Saying_Why) {
    Write_File(folder / "t.ani", Good_Animations());
    Run({"dump", folder / "t.ani"});
    const json good = json::parse(out.str());
    // The good document with the value at `path` replaced.
    const auto spoiled = [&](const char* path, const json& value) {
        return good.patch(json::array({{{"op", "replace"}, {"path", path}, {"value", value}}})).dump();
    };
    const std::vector<std::string> build = {"build", folder / "in", folder / "out.ani"};
    const std::tuple<std::string, std::vector<std::string>, int, std::string> cases[] = {
        {"", {}, 2, "usage: isodata COMMAND"},
        {"", {"dump", "--type", "bmp", "a"}, 2, "--type needs map, ple or ani"},
        {"", {"dump", "/nonexistent/x.map"}, 1, "cannot read /nonexistent/x.map"},
        {"", {"check", "--program-folder"}, 2, "--program-folder needs a folder"},
        {"", {"preview", "m.map"}, 2, "needs MAP and OUT"},
        // --type reads a file whatever its name (as ani it would not read); bytes the JSON cannot
        // carry are pointed out.
        {Good_Characters() + "xy", {"dump", "--type", "ple", folder / "in"}, 0, "this JSON gives a different file"},
        {spoiled("/sheets/0/id", 70000), build, 1, "$.sheets[0].id: 70000 does not fit in 16 bits"},
        {spoiled("/sequences/0/frames/0/width", "4"), build, 1, "$.sequences[0].frames[0].width: expected a whole"},
        {spoiled("/sequence_count", 2), build, 1, "$.sequence_count: says 2 but there are 1"},
        {spoiled("/sheets/0", {{"id", 5}}), build, 1, "$.sheets[0]: missing \"file_name\""},
        {spoiled("/type", "bmp"), build, 1, "$.type: must be"},
        {spoiled("/sequences/0", {{"sheet_id", 5}, {"id", 1}, {"frames", json::array()}}), build, 1,
         "the frame count of sequence 0 is 0"},
        {"{\"type\": ", build, 1, "is not valid JSON"},
    };
    for (const auto& [input, args, status, text] : cases) {
        Write_File(folder / "in", input);
        EXPECT_EQ(Run(args), status) << text;
        EXPECT_NE((out.str() + err.str()).find(text), std::string::npos) << text << "\nin:\n" << out.str() << err.str();
    }
    EXPECT_FALSE(File_Exists(folder / "out.ani"));
}
