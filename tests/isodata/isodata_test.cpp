// isodata_test.cpp -- isodata's commands: dump and build, check, preview, and its command line.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <sstream>

#include "map/world_files.h"
#include "platform/files.h"
#include "tools/isodata/cli.h"
#include "tools/isodata/pictures.h"

using namespace world_test;

namespace {

struct Tool_Run {
    int status;
    std::string out, err;
};

class Isodata : public ::testing::Test {
protected:
    Temp_Folder folder;

    Tool_Run Isodata_Run(std::vector<std::string> args) {
        std::ostringstream out, err;
        const int status = Isodata_Main(args, folder.path.string(), out, err);
        return Tool_Run{status, out.str(), err.str()};
    }
    std::string Read(const std::string& path) { return Read_Whole_File(path).value_or("<missing>"); }

    // images/ground.bmp 80 x 20 (red), images/pieces.bmp 3 x 2 (green); a 2 x 1 map using both.
    std::string Good_Map() {
        Write_Bmp(folder / "images/ground.bmp", 80, 20, [](int, int) { return 0xFF0000u; });
        Write_Bmp(folder / "images/pieces.bmp", 3, 2, [](int, int) { return 0x00FF00u; });
        Raw r;
        r.I16(2).Str(u"images\\ground.bmp").I16(10).Str(u"images\\pieces.bmp").I16(20).I16(2).I16(1);
        r.I16(10).I16(0).Str(u"門").I16(0).I16(0);
        r.I16(10).I16(-1).Str(u"").I16(40).I16(0);
        r.I16(20).I16(10).I16(-15).I16(2).I16(3).I16(1).I16(0).I16(0);   // object on (0, 0): 3 x 2
        for (int i = 0; i < 8; ++i) r.I16(0);
        r.I16(20).I16(12).I16(-13).I16(1).I16(1).I16(1).I16(2).I16(1);   // overlay on (0, 0): 1 x 1
        for (int i = 0; i < 8; ++i) r.I16(0);
        return r.bytes;
    }
    std::string Good_Animations() {
        Write_Bmp(folder / "images/sheet.bmp", 8, 8, [](int, int) { return 0x0000FFu; });
        Raw r;
        r.I16(1).Str(u"images\\sheet.bmp").I16(5).I16(1).I16(5).I16(1).I16(1);
        r.I16(-2).I16(-8).I16(8).I16(4).I16(4).I16(0).I16(120);
        return r.bytes;
    }
    std::string Good_Characters(const std::u16string& action = u"walk") {
        Raw r;
        r.Str(u"data\\t.ani").I16(1).I16(1).I16(3).Str(action);
        for (int d = 1; d <= 8; ++d) r.I16(1);
        return r.bytes;
    }
};

}  // namespace

TEST_F(Isodata, Dump_Then_Build_Gives_The_Same_Bytes) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {{"t.map", Good_Map()}, {"t.ani", Good_Animations()}, {"t.ple", Good_Characters()},
                          {"sprites.dat", Good_Animations()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write_File(folder / c.name, c.bytes);
        const Tool_Run dump = Isodata_Run({"dump", folder / c.name});
        ASSERT_EQ(dump.status, 0) << dump.err;
        EXPECT_EQ(dump.err, "");
        Write_File(folder / "dump.json", dump.out);
        const Tool_Run build = Isodata_Run({"build", folder / "dump.json", folder / "rebuilt"});
        ASSERT_EQ(build.status, 0) << build.err;
        EXPECT_EQ(Read(folder / "rebuilt"), c.bytes);
    }

    // The JSON names fields as the game does, grids as rows, strings as UTF-8.
    Write_File(folder / "t.map", Good_Map());
    const nlohmann::json map = nlohmann::json::parse(Isodata_Run({"dump", folder / "t.map"}).out);
    EXPECT_EQ(map["type"], "map");
    EXPECT_EQ(map["images"][1]["file_name"], "images\\pieces.bmp");
    EXPECT_EQ(map["ground"]["blocked"], nlohmann::json::parse("[[0, -1]]"));
    EXPECT_EQ(map["ground"]["text"][0][0], "門");
    EXPECT_EQ(map["objects"]["offset_y"][0][0], -15);
    EXPECT_EQ(map["overlay"]["source_x"][0], nlohmann::json::parse("[2, 0]"));

    // --type reads a file whatever its name; bytes the JSON cannot carry are pointed out.
    Write_File(folder / "odd.bin", Good_Characters() + "xy");
    const Tool_Run odd = Isodata_Run({"dump", "--type", "ple", folder / "odd.bin"});
    EXPECT_EQ(odd.status, 0);
    EXPECT_NE(odd.err.find("building from this JSON gives a different file"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(odd.out)["sprite_types"][0]["actions"][0]["name"], "walk");
}

TEST_F(Isodata, Build_Refuses_Documents_That_Do_Not_Make_A_Loadable_File) {
    Write_File(folder / "t.ani", Good_Animations());
    const nlohmann::json good = nlohmann::json::parse(Isodata_Run({"dump", folder / "t.ani"}).out);
    struct Case {
        const char* name;
        std::function<void(nlohmann::json&)> spoil;
        const char* complaint;
    };
    const Case cases[] = {
        {"out of range", [](nlohmann::json& j) { j["sheets"][0]["id"] = 70000; },
         "$.sheets[0].id: 70000 does not fit in 16 bits"},
        {"not a number", [](nlohmann::json& j) { j["sequences"][0]["frames"][0]["width"] = "4"; },
         "$.sequences[0].frames[0].width: expected a whole number"},
        {"count disagrees", [](nlohmann::json& j) { j["sequence_count"] = 2; },
         "$.sequence_count: says 2 but there are 1"},
        {"missing field", [](nlohmann::json& j) { j["sequences"][0].erase("sheet_id"); },
         "$.sequences[0]: missing \"sheet_id\""},
        {"unknown type", [](nlohmann::json& j) { j["type"] = "bmp"; }, "$.type: must be"},
        {"no frames", [](nlohmann::json& j) {
             j["sequences"][0]["frames"] = nlohmann::json::array();
             j["sequences"][0].erase("frame_count");
         }, "the frame count of sequence 0 is 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nlohmann::json doc = good;
        c.spoil(doc);
        Write_File(folder / "bad.json", doc.dump());
        const Tool_Run run = Isodata_Run({"build", folder / "bad.json", folder / "out.ani"});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(c.complaint), std::string::npos) << run.err;
        EXPECT_FALSE(File_Exists(folder / "out.ani"));
    }
    Write_File(folder / "broken.json", "{\"type\": ");
    EXPECT_EQ(Isodata_Run({"build", folder / "broken.json", folder / "out.ani"}).status, 1);
}

TEST_F(Isodata, Check_Reports_Each_Problem_With_Where_It_Is) {
    // Good files pass.
    Write_File(folder / "t.map", Good_Map());
    Write_File(folder / "data/t.ani", Good_Animations());
    Write_File(folder / "t.ple", Good_Characters());
    Tool_Run run = Isodata_Run({"check", folder / "t.map", folder / "data/t.ani", folder / "t.ple"});
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("t.ple: ok"), std::string::npos);

    // A map with an image id that matches nothing, a piece cut beyond its picture, a missing picture.
    Raw map;
    map.I16(2).Str(u"images\\ground.bmp").I16(10).Str(u"images\\gone.bmp").I16(30).I16(2).I16(1);
    map.I16(10).I16(0).Str(u"").I16(0).I16(0);
    map.I16(5).I16(3).Str(u"").I16(60).I16(0);                          // id 5; tile (60..100) beyond 80
    map.I16(10).I16(0).I16(0).I16(20).I16(40).I16(1).I16(50).I16(10);   // 40 x 20 at (50, 10) in 80 x 20
    for (int i = 0; i < 8; ++i) map.I16(0);
    for (int i = 0; i < 16; ++i) map.I16(0);
    Write_File(folder / "bad.map", map.bytes);
    run = Isodata_Run({"check", folder / "bad.map"});
    EXPECT_EQ(run.status, 1);
    const std::string file = folder / "bad.map";
    for (const std::string& line : {
             file + ": image entry 1: picture \"images\\gone.bmp\" not found",
             file + ": ground cell (1, 0): blocked value 3 is neither 0 nor -1",
             file + ": ground cell (1, 0): image id 5 matches no image (the first image is used)",
             file + ": ground cell (1, 0): rectangle (60, 0)-(100, 20) is outside its picture of 80 x 20",
             file + ": object cell (0, 0): rectangle (50, 10)-(90, 30) is outside its picture of 80 x 20",
         })
        EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << run.out;

    // An animation file whose sequence names no sheet and cuts beyond it; a character file whose
    // ids match no sequence and that has no "walk".
    Raw ani;
    ani.I16(1).Str(u"images\\sheet.bmp").I16(5).I16(1).I16(9).I16(2).I16(2);
    ani.I16(0).I16(0).I16(4).I16(4).I16(6).I16(0).I16(50);
    ani.I16(0).I16(0).I16(0).I16(4).I16(0).I16(0).I16(-5);
    Write_File(folder / "data/t.ani", ani.bytes);
    Write_File(folder / "t.ple", Good_Characters(u"run"));
    run = Isodata_Run({"check", folder / "data/t.ani", folder / "t.ple"});
    EXPECT_EQ(run.status, 1);
    for (const std::string& line : {
             std::string("t.ani: sequence 0: sheet id 9 matches no sheet"),
             std::string("t.ani: sequence 0, frame 0: rectangle (6, 0)-(10, 4) is outside its picture of 8 x 8"),
             std::string("t.ani: sequence 0, frame 1: duration -5 is negative"),
             std::string("t.ani: sequence 0, frame 1: size 4 x 0 is empty"),
             std::string("t.ple: sprite type 0: no action named \"walk\""),
             std::string("t.ple: sprite type 0, action 0 \"run\", direction 8: sequence id 1 matches no sequence"),
         })
        EXPECT_NE(run.out.find(line), std::string::npos) << "missing: " << line << "\nin:\n" << run.out;

    // A damaged file is one problem, with the reader's message.
    Write_File(folder / "cut.map", Good_Map().substr(0, 50));
    run = Isodata_Run({"check", folder / "cut.map"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("cut.map: file ends at byte 50"), std::string::npos) << run.out;
}

TEST_F(Isodata, Preview_Draws_Ground_Then_Objects_Then_Overlay) {
    Write_File(folder / "t.map", Good_Map());
    const Tool_Run run = Isodata_Run({"preview", folder / "t.map", folder / "p.bmp"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Tiles at (0, 0) and (20, 10), the object 15 pixels above the first: the picture is 60 x 45.
    EXPECT_NE(run.out.find("(60 x 45)"), std::string::npos) << run.out;
    const std::optional<Surface> p = Read_Picture(folder / "p.bmp");
    ASSERT_TRUE(p);
    const uint16_t red = Color_To_Pixel(Rgb(255, 0, 0)), green = Color_To_Pixel(Rgb(0, 255, 0));
    EXPECT_EQ(p->At(5, 20), red);     // ground of (0, 0)
    EXPECT_EQ(p->At(55, 30), red);    // ground of (1, 0)
    EXPECT_EQ(p->At(10, 0), green);   // object at (10, -15) + 15
    EXPECT_EQ(p->At(12, 1), green);
    EXPECT_EQ(p->At(12, 2), green);   // the overlay piece cuts from the picture's (2, 1): green again
    EXPECT_EQ(p->At(13, 0), 0);       // nothing drawn there
    EXPECT_EQ(p->At(0, 44), 0);

    // PNG: signature and size.
    ASSERT_EQ(Isodata_Run({"preview", folder / "t.map", folder / "p.png"}).status, 0);
    const std::string png = Read(folder / "p.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\x3c\0\0\0\x2d", 8));

    // A missing picture leaves its pieces out, with a warning.
    std::filesystem::remove(folder / "images/pieces.bmp");
    const Tool_Run missing = Isodata_Run({"preview", folder / "t.map", folder / "p.bmp"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_NE(missing.err.find("images\\pieces.bmp"), std::string::npos);
    EXPECT_EQ(Read_Picture(folder / "p.bmp")->At(10, 0), 0);
}

TEST_F(Isodata, Command_Line_Mistakes_Exit_With_2_And_Help_Exits_With_0) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* text;   // in the output or the error output
    };
    const Case cases[] = {
        {{}, 2, "usage: isodata COMMAND"},
        {{"frobnicate"}, 2, "unknown command \"frobnicate\""},
        {{"dump", "--help"}, 0, "usage: isodata dump"},
        {{"dump"}, 2, "needs exactly one FILE"},
        {{"dump", "--type", "bmp", "a"}, 2, "--type needs map, ple or ani"},
        {{"dump", "--fast", "a"}, 2, "unknown option --fast"},
        {{"dump", "/nonexistent/x.map"}, 1, "cannot read /nonexistent/x.map"},
        {{"build", "a.json"}, 2, "needs FILE.json and OUT"},
        {{"check"}, 2, "needs at least one FILE"},
        {{"check", "--program-folder"}, 2, "--program-folder needs a folder"},
        {{"preview", "m.map"}, 2, "needs MAP and OUT"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) line += a + " ";
        SCOPED_TRACE(line);
        const Tool_Run run = Isodata_Run(c.args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE((run.out + run.err).find(c.text), std::string::npos) << run.out << run.err;
    }
}
