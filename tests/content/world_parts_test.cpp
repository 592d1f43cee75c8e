// world_parts_test.cpp -- the world generator's colours under the colour key, and a whole
// generation compared with the build's.
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "platform/files.h"
#include "tools/isocontent/world_parts.h"

namespace {

using namespace world;

TEST(World_Colours, Opaque_Colours_Never_Turn_Into_The_Colour_Key) {
    struct Case {
        double r, g, b;
        bool kept;
    };
    const Case cases[] = {{0, 0, 0, false}, {7, 3, 7, false}, {-20, 2, 5, false},  {8, 0, 0, true},
                          {0, 4, 0, true},  {0, 0, 8, true},  {300, 128, 40, true}};
    for (const Case& c : cases) {
        const Color out = Solid(c.r, c.g, c.b);
        EXPECT_FALSE(Is_Key(out)) << c.r << "," << c.g << "," << c.b;
        if (c.kept) {
            EXPECT_EQ(out, Solid(std::clamp(c.r, 0.0, 255.0), c.g, c.b));
        }
    }
    EXPECT_TRUE(Is_Key(Transparent));
    EXPECT_FALSE(Is_Key(Near_Black));
    EXPECT_FALSE(Is_Key(Shade(Solid(10, 10, 10), 0.0)));
    EXPECT_FALSE(Is_Key(Lerp(Near_Black, Solid(0, 0, 0), 1.0)));
}

TEST(World_Generation, Repeats_The_Build_Byte_For_Byte) {
    // One folder per process, so builds testing side by side do not share it.
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("isocontent_world_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "images");
    std::filesystem::create_directories(dir / "data");
    Make_World(dir.string());
    for (const char* name :
         {"data/testmap.map", "data/testple.ple", "data/testani.ani", "images/tiles.bmp", "images/objects.bmp",
          "images/overlay.bmp", "images/hero.bmp", "images/maiden.bmp", "images/ranger.bmp"}) {
        const auto fresh = Read_Whole_File((dir / name).string());
        const auto built = Read_Whole_File(std::string(ISO_OUT_DIR) + "/" + name);
        ASSERT_TRUE(fresh && built) << name;
        EXPECT_TRUE(*fresh == *built) << name << " differs between two generations";
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
