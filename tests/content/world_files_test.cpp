// world_files_test.cpp -- the bundled world as the build generated it: the map, the character and
// animation files and their pictures read back with the game's own readers.
#include <map>
#include <set>

#include "display/bitmap.h"
#include "fixture.h"
#include "map/path_search.h"
#include "platform/files.h"

namespace {

std::string Bytes_Of(const std::string& name) { return Read_Whole_File(ISO_OUT_DIR "/" + name).value_or(""); }

bool Rect_Inside(const Surface& s, int x, int y, int w, int h) {
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= s.width && y + h <= s.height;
}

class Generated_World : public Headless_Test {
protected:
    Map_Model map;
    std::map<int16_t, Surface> images;   // by image id: an unknown id fails rather than falling back

    void SetUp() override {
        Headless_Test::SetUp();
        map = Parse_Map(Bytes_Of("data/testmap.map"), "testmap.map");
        for (const Map_Image& image : map.Map_Images) Load_Bitmap(image.file_name, 0, images[image.id]);
    }
    bool Free(int x, int y) const {
        return x >= 0 && y >= 0 && x < map.Map_Width && y < map.Map_Height && !map.Ground_Grid(x, y).blocked;
    }
};

TEST_F(Generated_World, Map_Is_Large_Scattered_And_Mostly_Reachable_From_A_Free_Start) {
    EXPECT_GE(std::min(map.Map_Width, map.Map_Height), 100);
    std::set<int16_t> ids;
    for (const Map_Image& image : map.Map_Images) EXPECT_TRUE(ids.insert(image.id).second) << image.id;
    ASSERT_GE(ids.size(), 2u);
    EXPECT_NE(*ids.rbegin() - *ids.begin() + 1, int(ids.size())) << "image ids are contiguous";
    EXPECT_NE(*ids.begin(), 0);
    int free_cells = 0;
    for (const Ground_Cell& g : map.Ground_Grid.cells) {
        ASSERT_TRUE(g.blocked == 0 || g.blocked == -1);
        free_cells += g.blocked == 0;
    }
    // The own character starts on (0, 0), with free cells around it, in the region most cells are in.
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) ASSERT_TRUE(Free(x, y)) << x << "," << y;
    const Walk_Regions regions = Find_Walk_Regions(map);
    ASSERT_TRUE(regions.In_Largest(0, 0));
    const int reached = regions.sizes[size_t(regions.largest)];
    EXPECT_GT(reached, map.Map_Width * map.Map_Height / 2);
    EXPECT_GT(reached, free_cells * 9 / 10);
    // The far side of the river, over both bridges, and the corners of the map.
    for (auto [x, y] : {std::pair{80, 2}, {2, 95}, {103, 60}, {60, 90}, {91, 91}, {118, 118}, {118, 1}, {1, 118}}) {
        bool near = false;
        for (int d = 0; d < 25; ++d) near |= regions.In_Largest(x + d % 5 - 2, y + d / 5 - 2);
        EXPECT_TRUE(near) << "cannot reach the area of " << x << "," << y;
    }
}

TEST_F(Generated_World, Tiles_And_Pieces_Lie_Inside_Their_Pictures_And_Keep_The_Drawing_Order_Sound) {
    std::set<std::tuple<int16_t, int16_t, int16_t>> tiles;
    for (const Ground_Cell& g : map.Ground_Grid.cells) {
        ASSERT_TRUE(images.count(g.image_id)) << "ground image id " << g.image_id;
        const Surface& s = images[g.image_id];
        ASSERT_TRUE(Rect_Inside(s, g.source_x, g.source_y, 40, 20)) << g.source_x << "," << g.source_y;
        if (!tiles.insert({g.image_id, g.source_x, g.source_y}).second) continue;
        // Inside the diamond every pixel is drawn (no holes in the ground), outside it nothing is.
        for (int i = 0; i < 800; ++i)
            ASSERT_EQ(s.At(g.source_x + i % 40, g.source_y + i / 40) != 0,
                      std::abs(i % 40 - 19.5) / 20 + std::abs(i / 40 - 9.5) / 10 < 1)
                << "tile at " << g.source_x << "," << g.source_y << " pixel " << i % 40 << "," << i / 40;
    }
    EXPECT_GT(tiles.size(), 100u) << "the ground should vary";
    int counts[2] = {0, 0};
    for (int pass = 0; pass < 2; ++pass)
        for (int c = 0; c < map.Map_Width * map.Map_Height; ++c) {
            const int x = c % map.Map_Width, y = c / map.Map_Width;
            const Piece_Cell& p = (pass == 0 ? map.Object_Grid : map.Overlay_Grid)(x, y);
            if (!p.present) continue;
            ++counts[pass];
            ASSERT_TRUE(images.count(p.image_id)) << "piece image id " << p.image_id << " at " << x << "," << y;
            const Surface& s = images[p.image_id];
            ASSERT_TRUE(Rect_Inside(s, p.source_x, p.source_y, p.width, p.height)) << x << "," << y;
            // Objects stay over their own column of cells, so the row-by-row order puts them in
            // front of and behind the right characters; an overlay, drawn over everything, must
            // not hide a figure (20 wide, 44 tall, feet on the diamond's centre) on a free cell
            // just in front of it.
            bool drawn = false, hides = false;
            for (int j = 0; j < p.height; ++j)
                for (int i = 0; i < p.width; ++i)
                    for (auto [dx, dy] : {std::pair{1, 0}, {0, 1}, {1, 1}}) {
                        if (!s.At(p.source_x + i, p.source_y + j)) continue;
                        const int feet_x = 20 + 20 * (dx - dy), feet_y = 10 + 10 * (dx + dy), sy = p.offset_y + j;
                        drawn = true;
                        hides |= pass == 1 && Free(x + dx, y + dy) && std::abs(p.offset_x + i - feet_x) < 10 &&
                                 sy > feet_y - 44 && sy <= feet_y;
                    }
            EXPECT_TRUE(drawn) << "empty piece at " << x << "," << y;
            EXPECT_FALSE(hides) << "overlay piece at " << x << "," << y;
            EXPECT_TRUE(pass == 1 || (p.offset_x >= -10 && p.offset_x + p.width <= 50)) << x << "," << y;
        }
    EXPECT_TRUE(counts[0] > 1000 && counts[1] > 300) << counts[0] << " objects, " << counts[1] << " overlays";
}

TEST_F(Headless_Test, Generated_Characters_Walk_In_Eight_Directions_On_Frames_Cut_From_Their_Sheets) {
    const Character_File chars = Parse_Character_File(Bytes_Of("data/testple.ple"), "testple.ple");
    const Animation_Data anim = Parse_Animation_File(Bytes_Of(Host_Path(chars.Animation_File_Name)), "animation");
    std::map<int16_t, Surface> sheets;
    for (const Sheet& sheet : anim.Sheets) Load_Bitmap(sheet.file_name, 0, sheets[sheet.id]);
    std::map<int16_t, const Sequence*> sequences;
    for (const Sequence& s : anim.Sequences) sequences[s.id] = &s;
    ASSERT_GE(chars.Sprite_Types.size(), 2u);
    ASSERT_TRUE(sequences.count(0) && !sequences[0]->frames.empty()) << "direction 0 (not walked yet) has id 0";
    std::set<int16_t> walks;
    for (size_t t = 0; t < chars.Sprite_Types.size(); ++t) {
        const auto& actions = chars.Sprite_Types[t].actions;
        auto walk = std::find_if(actions.begin(), actions.end(), [](const Action& a) { return a.name == u"walk"; });
        ASSERT_NE(walk, actions.end()) << "type " << t << " has no walk";
        for (int d = 1; d <= 8; ++d) {
            const int16_t id = walk->sequence_ids[size_t(d)];
            // The first type's ids equal the directions: the name and chat labels look them up so,
            // at this sequence's frame index.
            EXPECT_TRUE(t > 0 || id == d) << "direction " << d << " has sequence " << id;
            EXPECT_TRUE(walks.insert(id).second) << "sequence " << id << " shared";
            ASSERT_TRUE(sequences.count(id) && sequences.count(int16_t(d))) << "type " << t << " direction " << d;
            const auto& frames = sequences[id]->frames;
            EXPECT_GE(frames.size(), 4u);
            EXPECT_LE(frames.size(), sequences[int16_t(d)]->frames.size());
            int total = 0;
            for (const Frame& f : frames) total += f.duration;
            EXPECT_TRUE(total * 2 >= 200 && total * 2 <= 400) << "a walk cycle should last about one step";
        }
    }
    for (const Sequence& s : anim.Sequences) {
        ASSERT_TRUE(sheets.count(s.sheet_id)) << "sequence " << s.id << " sheet " << s.sheet_id;
        const Surface& pic = sheets[s.sheet_id];
        std::set<std::vector<uint16_t>> distinct;
        for (const Frame& f : s.frames) {
            ASSERT_TRUE(Rect_Inside(pic, f.source_x, f.source_y, f.width, f.height)) << "sequence " << s.id;
            // The feet (the lowest drawn row) land near the diamond's centre (20, 10).
            int lowest = -1, left = f.width, right = -1;
            std::vector<uint16_t> pixels;
            for (int i = 0; i < f.width * f.height; ++i) {
                const int x = i % f.width, y = i / f.width;
                pixels.push_back(pic.At(f.source_x + x, f.source_y + y));
                if (pixels.back()) lowest = y, left = std::min(left, x), right = std::max(right, x);
            }
            ASSERT_GE(lowest, 0) << "empty frame in sequence " << s.id;
            EXPECT_NEAR(f.offset_y + lowest, 12, 4) << "sequence " << s.id;
            EXPECT_NEAR(f.offset_x + (left + right) / 2.0, 20, 4) << "sequence " << s.id;
            EXPECT_EQ(pixels[0], 0) << "the frame's corner should be see-through";
            distinct.insert(std::move(pixels));
        }
        // A walk moves its legs: its frames are not all the same picture.
        EXPECT_TRUE(!walks.count(s.id) || distinct.size() >= 3) << "sequence " << s.id;
    }
}

}   // namespace
