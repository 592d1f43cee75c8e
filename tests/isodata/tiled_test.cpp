// tiled_test.cpp -- export-tiled and import-tiled against Debian's Tiled: the default world there
// and back byte for byte, Tiled's picture of it beside isodata's preview, a map written as Tiled
// writes one loaded by the game, and the inputs that are refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <openssl/evp.h>
#include <sstream>

#include "fixture.h"
#include "map/world_files.h"
#include "tools/isodata/cli.h"
#include "tools/isodata/png.h"

using namespace world_test;

namespace {

struct Tiled : Headless_Test {
    Temp_Folder folder;
    std::ostringstream out, err;

    void SetUp() override {
        Headless_Test::SetUp();
        if (std::system("command -v tiled >/dev/null && command -v tmxrasterizer >/dev/null") != 0)
            GTEST_SKIP() << "Tiled is not installed (scripts/deps.sh --dev installs it)";
        fs::create_directories(folder.path / "xdg");
        fs::permissions(folder.path / "xdg", fs::perms::owner_all);
    }
    int Isodata(const std::vector<std::string>& args) {
        out.str(""), err.str("");
        return Isodata_Main(args, ISO_OUT_DIR, out, err);
    }
    // Runs a command line of Tiled's without a display, with a runtime folder of its own; its
    // output goes to a log shown when it fails.
    void Run_Tool(const std::string& line) {
        const std::string log = folder / "tool.log";
        const std::string env = "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=" + folder / "xdg" + " ";
        const int status = std::system((env + line + " >" + log + " 2>&1").c_str());
        ASSERT_EQ(status, 0) << line << "\n" << Read_Whole_File(log).value_or("");
    }
    Rgba_Picture Png(const std::string& path) {
        std::string why;
        std::optional<Rgba_Picture> p = Decode_Png(Read_Whole_File(path).value_or(""), why);
        EXPECT_TRUE(p) << path << ": " << why;
        return p.value_or(Rgba_Picture{});
    }
};

const std::string WORLD = std::string(ISO_OUT_DIR) + "/data/testmap.map";

// The default world comes back byte for byte from the exported TMX and from Tiled's own JSON of
// it, and Tiled's picture of the TMX is isodata's preview.
TEST_F(Tiled, The_Exported_World_Comes_Back_Byte_For_Byte_And_Tileds_Picture_Is_The_Preview) {
    ASSERT_EQ(Isodata({"export-tiled", WORLD, folder / "tiled"}), 0) << err.str();
    Run_Tool("tiled --export-map json " + folder / "tiled/testmap.tmx" + " " + folder / "tiled/saved.tmj");
    const std::string original = Read_Whole_File(WORLD).value();
    for (const char* file : {"tiled/testmap.tmx", "tiled/saved.tmj"}) {
        ASSERT_EQ(Isodata({"import-tiled", folder / file, folder / "back.map"}), 0) << file << ": " << err.str();
        EXPECT_TRUE(Read_Whole_File(folder / "back.map") == original) << file;
        fs::remove(folder / "back.map");
    }
    ASSERT_EQ(Isodata({"preview", WORLD, folder / "preview.png"}), 0) << err.str();
    // The walkability and text layers are the author's aids, not part of the picture.
    Run_Tool("tmxrasterizer --hide-layer blocked --hide-layer texts " + folder / "tiled/testmap.tmx" + " " +
             folder / "tiled.png");
    const Rgba_Picture tiled = Png(folder / "tiled.png"), preview = Png(folder / "preview.png");
    ASSERT_EQ(std::pair(tiled.width, tiled.height), std::pair(preview.width, preview.height));
    size_t same = 0;
    for (size_t i = 0; i < tiled.rgba.size(); i += 4) {
        bool equal = true;
        for (size_t c = 0; c < 3; ++c)   // Tiled's picture flattened onto black
            equal = equal && uint32_t(tiled.rgba[i + c]) * tiled.rgba[i + 3] / 255 == preview.rgba[i + c];
        same += equal;
    }
    const size_t pixels = tiled.rgba.size() / 4;
    EXPECT_GE(double(same), 0.99 * double(pixels)) << same << " of " << pixels << " pixels agree";
}

// zlib-compressed, base64-encoded little-endian tile numbers, as Tiled writes a layer.
std::string Base64_Zlib(const std::vector<uint32_t>& gids) {
    std::string raw;
    for (uint32_t g : gids) raw += {char(g), char(g >> 8), char(g >> 16), char(g >> 24)};
    uLongf size = compressBound(uLong(raw.size()));
    std::string z(size, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), uLong(raw.size()),
              9);
    std::string b64(4 * (size + 2) / 3 + 1, '\0');
    b64.resize(size_t(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(b64.data()),
                                      reinterpret_cast<const unsigned char*>(z.data()), int(size))));
    return b64;
}

Rgba_Picture Solid(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    Rgba_Picture p{w, h, {}};
    for (int i = 0; i < w * h; ++i) p.rgba.insert(p.rgba.end(), {r, g, b, 255});
    return p;
}

TEST_F(Tiled, A_Map_Drawn_In_Tiled_From_Png_Tilesets_Loads_With_Its_Pieces_Colours_And_Blocked_Cell) {
    // An 8 x 8 map: an external tileset over one PNG of two 40 x 20 tiles (grass, stone), an
    // embedded collection with a 30 x 40 tree; ground in CSV, walkability in base64 + zlib.
    Rgba_Picture terrain = Solid(80, 20, 40, 160, 40);
    for (int y = 0; y < 20; ++y)
        for (int x = 40; x < 80; ++x)
            std::copy_n(std::array<uint8_t, 4>{120, 120, 120, 255}.begin(), 4, &terrain.rgba[size_t(y * 80 + x) * 4]);
    Write_File(folder / "map/terrain.png", Encode_Png(terrain));
    Write_File(folder / "map/tree.png", Encode_Png(Solid(30, 40, 20, 90, 20)));
    Write_File(folder / "map/terrain.tsx", R"(<?xml version="1.0" encoding="UTF-8"?>
<tileset version="1.8" tiledversion="1.8.2" name="terrain" tilewidth="40" tileheight="20" tilecount="2" columns="2">
 <image source="terrain.png" width="80" height="20"/>
</tileset>
)");
    std::string ground;
    std::vector<uint32_t> blocked(64, 0);
    for (int i = 0; i < 64; ++i) ground += std::string(i % 8 == 4 && i / 8 == 2 ? "2" : "1") + (i < 63 ? "," : "");
    blocked[2 * 8 + 4] = 3;   // cell (4, 2): the tree's cell, of stone
    Write_File(folder / "map/village.tmx", R"(<?xml version="1.0" encoding="UTF-8"?>
<map version="1.8" tiledversion="1.8.2" orientation="isometric" renderorder="right-down" width="8" height="8" tilewidth="40" tileheight="20" infinite="0" nextlayerid="4" nextobjectid="2">
 <tileset firstgid="1" source="terrain.tsx"/>
 <tileset firstgid="3" name="props" tilewidth="30" tileheight="40" tilecount="1" columns="0">
  <grid orientation="orthogonal" width="1" height="1"/>
  <tile id="0"><image width="30" height="40" source="tree.png"/></tile>
 </tileset>
 <layer id="1" name="ground" width="8" height="8"><data encoding="csv">)" +
                                               ground +
                                               R"(</data></layer>
 <layer id="2" name="blocked" width="8" height="8"><data encoding="base64" compression="zlib">)" +
                                               Base64_Zlib(blocked) + R"(</data></layer>
 <objectgroup id="3" name="objects"><object id="1" gid="3" x="90" y="50" width="30" height="40"/></objectgroup>
</map>
)");
    fs::create_directories(folder.path / "data");
    ASSERT_EQ(Isodata({"import-tiled", "--program-folder", folder.path.string(), folder / "map/village.tmx",
                       folder / "data/t.map"}),
              0)
        << err.str();
    // The tree stands bottom-centred at Tiled's point (90, 50): game pixel (60, 70), the foot of
    // cell (4, 2), whose tile origin is (40, 60).
    Platform.program_folder = folder.path.string();
    Load_Map(From_Utf8(folder / "data/t.map"));
    ASSERT_EQ(std::tuple(Map.Map_Width, Map.Map_Height, Map.Map_Image_Count), std::tuple(8, 8, 2));
    const Piece_Cell& tree = Map.Object_Grid(4, 2);
    EXPECT_EQ(std::tuple(tree.present, tree.offset_x, tree.offset_y, tree.width, tree.height),
              std::tuple(1, 5, -30, 30, 40));
    EXPECT_EQ(std::tuple(Map.Ground_Grid(4, 2).blocked, Map.Ground_Grid(3, 2).blocked), std::tuple(-1, 0));
    // The sheets hold the tiles' colours: stone at the stone cell, the tree's green at its piece.
    const Surface& ground_sheet = Map.Map_Images[size_t(Find_Image_Index(Map, Map.Ground_Grid(4, 2).image_id))].surface;
    EXPECT_EQ(ground_sheet.At(Map.Ground_Grid(4, 2).source_x + 20, 10), Color_To_Pixel(Rgb(120, 120, 120)));
    EXPECT_EQ(
        Map.Map_Images[size_t(Find_Image_Index(Map, tree.image_id))].surface.At(tree.source_x + 15, tree.source_y + 20),
        Color_To_Pixel(Rgb(20, 90, 20)));
}

TEST_F(Tiled, Bad_Maps_Are_Refused_Naming_The_File_And_Element_And_Nothing_Is_Written) {
    const auto tmx = [](const std::string& map_attributes, const std::string& body) {
        return R"(<?xml version="1.0"?><map version="1.8" )" + map_attributes + ">" + body + "</map>";
    };
    const std::string good = R"(orientation="isometric" width="2" height="1" tilewidth="40" tileheight="20")";
    const std::string tileset = R"(<tileset firstgid="1" source="t.tsx"/>)";
    const auto layer = [](const std::string& size, const std::string& data) {
        return R"(<layer id="1" name="ground" )" + size + R"(><data encoding="csv">)" + data + "</data></layer>";
    };
    Write_File(
        folder / "in/t.tsx",
        R"(<tileset version="1.8" name="t" tilewidth="40" tileheight="20" tilecount="1" columns="1"><image source="t.png" width="40" height="20"/></tileset>)");
    Write_File(folder / "in/t.png", Encode_Png(Solid(40, 20, 9, 9, 9)));
    ASSERT_EQ(Isodata({"import-tiled", "--program-folder", folder / "out",
                       (Write_File(folder / "in/ok.tmx", tmx(good, tileset + layer(R"(width="2" height="1")", "1,1"))),
                        folder / "in/ok.tmx"),
                       folder / "ok.map"}),
              0)
        << err.str();
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"m.tmx", tmx(good, R"(<tileset firstgid="1" source="gone.tsx"/>)" + layer("", "1,1")),
         "m.tmx: tileset \"gone.tsx\": tileset file " + folder / "in/gone.tsx" + " not found"},
        {"m.tmx", tmx(good, tileset + layer("", "1,7")),
         "m.tmx: layer \"ground\", cell (1, 0): tile id 7 is outside every tileset"},
        {"m.tmx", tmx(good, tileset + layer(R"(width="40000" height="1")", "1,1")),
         "m.tmx: layer \"ground\": size 40000 x 1 is too large for the map file's 16-bit fields"},
        {"m.tmx", tmx(R"(orientation="orthogonal" width="2" height="1" tilewidth="40" tileheight="20")", ""),
         "m.tmx: map: orientation \"orthogonal\""},
        {"m.tmj", R"({"orientation": "isometric", "width": 2, "height": 1, "tilewidth": 32, "tileheight": 32})",
         "m.tmj: map: tile size 32 x 32: the game's tiles are 40 x 20"},
    };
    for (const auto& [name, text, message] : cases) {
        Write_File(folder / ("in/" + name), text);
        EXPECT_EQ(
            Isodata({"import-tiled", "--program-folder", folder / "out", folder / ("in/" + name), folder / "out.map"}),
            1)
            << message;
        EXPECT_NE(err.str().find(message), std::string::npos) << message << "\nin: " << err.str();
    }
    EXPECT_FALSE(fs::exists(folder / "out.map"));
    // The good map's sheet only.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / "out/images"), fs::directory_iterator()), 1);
}

}   // namespace
