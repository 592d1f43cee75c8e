// world_parts_test.cpp -- the world generator's colours under the colour key.
#include "tools/isocontent/world_parts.h"

#include <gtest/gtest.h>

namespace {

using namespace world;

TEST(World_Colours, Opaque_Colours_Never_Turn_Into_The_Colour_Key) {
    // r, g, b, and whether the colour is kept as it is (clamped) rather than nudged off the key.
    const std::tuple<double, double, double, bool> cases[] = {{0, 0, 0, false},    {7, 3, 7, false}, {-20, 2, 5, false},
                                                              {8, 0, 0, true},     {0, 4, 0, true},  {0, 0, 8, true},
                                                              {300, 128, 40, true}};
    for (auto [r, g, b, kept] : cases) {
        EXPECT_FALSE(Is_Key(Solid(r, g, b))) << r << "," << g << "," << b;
        EXPECT_TRUE(!kept || Solid(r, g, b) == Solid(std::clamp(r, 0.0, 255.0), g, b)) << r << "," << g << "," << b;
    }
    for (Color c : {Near_Black, Shade(Solid(10, 10, 10), 0.0), Lerp(Near_Black, Solid(0, 0, 0), 1.0)})
        EXPECT_FALSE(Is_Key(c));
}

}   // namespace
