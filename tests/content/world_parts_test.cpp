// world_parts_test.cpp -- the world generator's machinery: colours under the colour key, the atlas,
// the projection of models onto the tile grid, their cutting into cells, the ground's soft edges,
// and a whole generation compared with the build's.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include <unistd.h>

#include "platform/files.h"
#include "tools/isocontent/world_parts.h"

namespace {

using namespace world;

bool Diamond(double x, double y) { return std::abs(x - 20) / 20 + std::abs(y - 10) / 10 < 1; }

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

TEST(World_Atlas, Packs_Without_Overlap_And_Stores_A_Key_Once) {
    Atlas atlas(100);
    std::vector<int> handles;
    for (int i = 0; i < 40; ++i) {
        const int w = 3 + int(Hash(uint32_t(i), 1) % 40), h = 2 + int(Hash(uint32_t(i), 2) % 30);
        std::string key = "p";  // (built in steps: GCC 12 warns falsely on "p" + to_string)
        key += std::to_string(i);
        handles.push_back(atlas.Add(key, Picture(w, h, Solid(i * 5, 100, 200))));
    }
    EXPECT_EQ(atlas.Add("p7", Picture(90, 90, Solid(1, 2, 3))), handles[7]);
    EXPECT_EQ(atlas.Count(), 40u);
    atlas.Pack();
    const Picture& sheet = atlas.Sheet();
    for (int i = 0; i < 40; ++i) {
        const Atlas_Rect a = atlas.Rect_Of(handles[size_t(i)]);
        ASSERT_TRUE(a.x >= 0 && a.y >= 0 && a.x + a.w <= sheet.width && a.y + a.h <= sheet.height) << i;
        EXPECT_EQ(sheet.Get(a.x, a.y), Solid(i * 5, 100, 200));
        EXPECT_EQ(sheet.Get(a.x + a.w - 1, a.y + a.h - 1), Solid(i * 5, 100, 200));
        for (int j = 0; j < i; ++j) {
            const Atlas_Rect b = atlas.Rect_Of(handles[size_t(j)]);
            const bool apart = a.x + a.w <= b.x || b.x + b.w <= a.x || a.y + a.h <= b.y || b.y + b.h <= a.y;
            EXPECT_TRUE(apart) << i << " overlaps " << j;
        }
    }
}

TEST(World_Models, Project_Onto_The_Tile_Diamond_And_Up_By_Screen_Pixels) {
    // A flat slab over the anchor cell covers exactly its ground tile.
    Model slab;
    slab.shapes.push_back(Box({0, 0, 0}, {CELL, CELL, 0.01}, Flat(Solid(200, 0, 0))));
    const Rendered r = Render(slab);
    int wrong = 0, area = 0;
    for (int y = -5; y < 25; ++y)
        for (int x = -5; x < 45; ++x) {
            const bool drawn = !(r.object.picture.Get(x - r.object.left, y - r.object.top) == Transparent);
            area += drawn;
            wrong += drawn != Diamond(x + 0.5, y + 0.5);
        }
    EXPECT_GT(area, 350);
    EXPECT_LT(wrong, 60) << "the slab and the tile diamond disagree";

    // A post 30 screen pixels tall on the cell's centre rises from (20, 10) to (20, -20).
    Model post;
    post.shapes.push_back(
        Box({CELL / 2 - 1, CELL / 2 - 1, 0}, {CELL / 2 + 1, CELL / 2 + 1, Px(30)}, Flat(Solid(0, 200, 0))));
    const Rendered p = Render(post);
    int top = 1000, bottom = -1000, left = 1000, right = -1000;
    for (int y = 0; y < p.object.picture.height; ++y)
        for (int x = 0; x < p.object.picture.width; ++x)
            if (!(p.object.picture.Get(x, y) == Transparent)) {
                top = std::min(top, y + p.object.top);
                bottom = std::max(bottom, y + p.object.top);
                left = std::min(left, x + p.object.left);
                right = std::max(right, x + p.object.left);
            }
    EXPECT_NEAR(top, -20, 2);
    EXPECT_NEAR(bottom, 10, 2);
    EXPECT_NEAR((left + right) / 2.0, 20, 1.5);
    EXPECT_TRUE(p.overlay.picture.pixels.empty() ||
                std::all_of(p.overlay.picture.pixels.begin(), p.overlay.picture.pixels.end(),
                            [](Color c) { return c == Transparent; }));
}

TEST(World_Models, Cut_Into_Front_Cell_Columns_Without_Losing_A_Pixel) {
    struct Case {
        int w, d;
    };
    for (const Case c : {Case{1, 1}, Case{3, 2}, Case{2, 4}, Case{5, 3}}) {
        Model m;
        m.foot_w = c.w;
        m.foot_d = c.d;
        m.shapes.push_back(Box({2, 2, 0}, {c.w * CELL - 2, c.d * CELL - 2, Px(50)}, Flat(Solid(180, 160, 120))));
        Shape roof = Box({-3, -3, Px(50)}, {c.w * CELL + 3, c.d * CELL + 3, Px(60)}, Flat(Solid(160, 60, 40)));
        roof.layer = OVERLAY_LAYER;
        m.shapes.push_back(roof);
        const Rendered r = Render(m);
        const std::vector<Cell_Piece> pieces = Cut_Into_Pieces(m, r);
        // Put the pieces back where the game draws them and compare with the whole picture.
        for (int layer = 0; layer < 2; ++layer) {
            const Layer_Picture& whole = layer == 0 ? r.object : r.overlay;
            Picture rebuilt(whole.picture.width, whole.picture.height);
            std::set<std::pair<int, int>> cells;
            for (const Cell_Piece& piece : pieces) {
                if (piece.overlay != (layer == 1)) continue;
                EXPECT_TRUE(piece.dx >= 0 && piece.dx < c.w && piece.dy >= 0 && piece.dy < c.d)
                    << "piece off the footprint";
                EXPECT_TRUE(piece.dx == c.w - 1 || piece.dy == c.d - 1)
                    << "piece on a back cell " << piece.dx << "," << piece.dy;
                EXPECT_TRUE(cells.insert({piece.dx, piece.dy}).second) << "two pieces on one cell";
                if (layer == 0) {  // an object piece stays over its own cell's diamond
                    EXPECT_GE(piece.art.left, 0);
                    EXPECT_LE(piece.art.left + piece.art.picture.width, 40);
                }
                const int x0 = 20 * (piece.dx - piece.dy) + piece.art.left - whole.left;
                const int y0 = 10 * (piece.dx + piece.dy) + piece.art.top - whole.top;
                for (int y = 0; y < piece.art.picture.height; ++y)
                    for (int x = 0; x < piece.art.picture.width; ++x) {
                        const Color col = piece.art.picture.Get(x, y);
                        if (col == Transparent) continue;
                        EXPECT_EQ(rebuilt.Get(x0 + x, y0 + y), Transparent) << "pixel in two pieces";
                        rebuilt.Set(x0 + x, y0 + y, col);
                    }
            }
            EXPECT_EQ(rebuilt.pixels, whole.picture.pixels) << c.w << "x" << c.d << " layer " << layer;
            if (layer == 0) {
                EXPECT_EQ(cells.size(), size_t(c.w + c.d - 1));
            }
        }
    }
}

TEST(World_Ground, Higher_Terrain_Spills_Over_The_Edge_It_Shares) {
    Tile_Painter painter;
    const std::array<uint8_t, 8> none = {WATER, WATER, WATER, WATER, WATER, WATER, WATER, WATER};
    std::array<uint8_t, 8> grass_right = none;
    grass_right[2] = GRASS;  // the neighbour at (1, 0): the lower right edge
    const int plain = painter.Tile_For(WATER, none, 0);
    const int edged = painter.Tile_For(WATER, grass_right, 0);
    EXPECT_EQ(painter.Tile_For(WATER, none, 0), plain) << "the same tile is painted once";
    EXPECT_NE(plain, edged);
    // A lower neighbour does not spill into a higher cell.
    std::array<uint8_t, 8> water_round = none;
    EXPECT_EQ(painter.Tile_For(GRASS, water_round, 5),
              painter.Tile_For(GRASS, {GRASS, GRASS, GRASS, GRASS, GRASS, GRASS, GRASS, GRASS}, 5));

    const Picture sheet = painter.Sheet();
    auto pixel = [&](int tile, int x, int y) {
        const Atlas_Rect r = painter.Rect_Of(tile);
        return sheet.Get(r.x + x, r.y + y);
    };
    auto green = [](Color c) { return c.g > c.b; };
    int edge_green = 0, edge_total = 0, far_blue = 0, far_total = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            const double cx = x + 0.5, cy = y + 0.5;
            if (!Diamond(cx, cy)) continue;
            EXPECT_FALSE(green(pixel(plain, x, y))) << "grass in open water at " << x << "," << y;
            const double u = ((cx - 20) / 20 + cy / 10) / 2;
            if (u > 0.93) {
                ++edge_total;
                edge_green += green(pixel(edged, x, y));
            }
            if (u < 0.2) {
                ++far_total;
                far_blue += !green(pixel(edged, x, y));
            }
        }
    EXPECT_EQ(edge_green, edge_total) << "the shared edge must match the grass cell beside it";
    EXPECT_EQ(far_blue, far_total) << "the far side stays water";
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
