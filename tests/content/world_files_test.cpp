// world_files_test.cpp -- the bundled world as the build generated it: the map, the character and
// animation files and their pictures read back with the game's own readers.
#include <filesystem>
#include <map>
#include <queue>
#include <set>

#include "fixture.h"
#include "loading/bitmap.h"
#include "platform/files.h"
#include "tools/isocontent/picture.h"

namespace {

std::string Out_File(const std::string& name) { return std::string(ISO_OUT_DIR) + "/" + name; }

std::string Bytes_Of(const std::string& name) {
    auto bytes = Read_Whole_File(Out_File(name));
    if (!bytes) ADD_FAILURE() << "missing " << name;
    return bytes.value_or("");
}

class Generated_World : public Headless_Test {
protected:
    Map_Model map;
    std::map<int16_t, Surface> images;  // by image id

    void SetUp() override {
        Headless_Test::SetUp();
        map = Parse_Map(Bytes_Of("data/testmap.map"), "testmap.map");
        for (const Map_Image& image : map.Map_Images) Load_Bitmap(image.file_name, 0, images[image.id]);
    }
    // True when the overlay piece of cell (x, y), drawn over everything, hides a figure standing on
    // a free cell just in front of it (feet on the diamond's centre, 20 wide, 44 tall).
    bool Covers_Someone_In_Front(const Surface& s, const Piece_Cell& p, int x, int y) {
        for (auto [dx, dy] : {std::pair{1, 0}, {0, 1}, {1, 1}}) {
            const int fx = x + dx, fy = y + dy;
            if (fx >= map.Map_Width || fy >= map.Map_Height || map.Ground_Grid(fx, fy).blocked) continue;
            const int feet_x = 20 + 20 * (dx - dy), feet_y = 10 + 10 * (dx + dy);
            for (int j = 0; j < p.height; ++j)
                for (int i = 0; i < p.width; ++i) {
                    const int sx = p.offset_x + i, sy = p.offset_y + j;
                    if (std::abs(sx - feet_x) < 10 && sy > feet_y - 44 && sy <= feet_y &&
                        s.At(p.source_x + i, p.source_y + j) != 0)
                        return true;
                }
        }
        return false;
    }
    // The surface a cell refers to; fails (rather than falling back to the first image) on an unknown id.
    const Surface* Image(int16_t id) {
        auto found = images.find(id);
        return found == images.end() ? nullptr : &found->second;
    }
};

bool Rect_Inside(const Surface& s, int x, int y, int w, int h) {
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= s.width && y + h <= s.height;
}

TEST_F(Generated_World, Map_Is_Large_With_Scattered_Image_Ids_And_A_Free_Start) {
    EXPECT_GE(map.Map_Width, 100);
    EXPECT_GE(map.Map_Height, 100);
    std::set<int16_t> ids;
    for (const Map_Image& image : map.Map_Images) {
        EXPECT_TRUE(ids.insert(image.id).second) << "duplicate id " << image.id;
        EXPECT_NE(image.file_name.find(u"images\\"), std::u16string::npos);
    }
    ASSERT_GE(ids.size(), 2u);
    EXPECT_NE(*ids.rbegin() - *ids.begin() + 1, int(ids.size())) << "image ids are contiguous";
    EXPECT_NE(*ids.begin(), 0);
    // The own character starts on (0, 0): free, paved, with free cells around it.
    EXPECT_EQ(map.Ground_Grid(0, 0).blocked, 0);
    EXPECT_EQ(map.Ground_Grid(1, 0).blocked, 0);
    EXPECT_EQ(map.Ground_Grid(0, 1).blocked, 0);
    EXPECT_EQ(map.Ground_Grid(1, 1).blocked, 0);
    for (const Ground_Cell& g : map.Ground_Grid.cells) ASSERT_TRUE(g.blocked == 0 || g.blocked == -1);
}

TEST_F(Generated_World, Every_Tile_Is_A_Whole_Diamond_Cut_From_Its_Picture) {
    std::set<std::tuple<int16_t, int16_t, int16_t>> seen;
    for (const Ground_Cell& g : map.Ground_Grid.cells) {
        const Surface* s = Image(g.image_id);
        ASSERT_NE(s, nullptr) << "ground image id " << g.image_id;
        ASSERT_TRUE(Rect_Inside(*s, g.source_x, g.source_y, 40, 20)) << g.source_x << "," << g.source_y;
        if (!seen.insert({g.image_id, g.source_x, g.source_y}).second) continue;
        // Inside the diamond every pixel is drawn (no holes in the ground), outside it nothing is.
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool inside = std::abs(x + 0.5 - 20) / 20 + std::abs(y + 0.5 - 10) / 10 < 1;
                const uint16_t p = s->At(g.source_x + x, g.source_y + y);
                ASSERT_EQ(p != 0, inside)
                    << "tile at " << g.source_x << "," << g.source_y << " pixel " << x << "," << y;
            }
    }
    EXPECT_GT(seen.size(), 100u) << "the ground should vary";
}

TEST_F(Generated_World, Pieces_Lie_Inside_Their_Pictures_And_Keep_The_Drawing_Order_Sound) {
    int objects = 0, overlays = 0;
    for (int pass = 0; pass < 2; ++pass) {
        const Cell_Grid<Piece_Cell>& grid = pass == 0 ? map.Object_Grid : map.Overlay_Grid;
        for (int y = 0; y < map.Map_Height; ++y)
            for (int x = 0; x < map.Map_Width; ++x) {
                const Piece_Cell& p = grid(x, y);
                if (!p.present) continue;
                (pass == 0 ? objects : overlays)++;
                const Surface* s = Image(p.image_id);
                ASSERT_NE(s, nullptr) << "piece image id " << p.image_id << " at " << x << "," << y;
                ASSERT_TRUE(Rect_Inside(*s, p.source_x, p.source_y, p.width, p.height)) << x << "," << y;
                bool drawn = false;
                for (int j = 0; j < p.height && !drawn; ++j)
                    for (int i = 0; i < p.width && !drawn; ++i) drawn = s->At(p.source_x + i, p.source_y + j) != 0;
                EXPECT_TRUE(drawn) << "empty piece at " << x << "," << y;
                if (pass == 0) {
                    // Pieces drawn among the characters stay over their own column of cells, so the
                    // row-by-row order puts them in front of and behind the right characters.
                    EXPECT_GE(p.offset_x, -10) << x << "," << y;
                    EXPECT_LE(p.offset_x + p.width, 50) << x << "," << y;
                } else {
                    EXPECT_FALSE(Covers_Someone_In_Front(*s, p, x, y)) << "overlay piece at " << x << "," << y;
                }
            }
    }
    EXPECT_GT(objects, 1000);
    EXPECT_GT(overlays, 300);
}

TEST_F(Generated_World, Most_Of_The_Map_Is_Reachable_From_The_Start) {
    const int w = map.Map_Width, h = map.Map_Height;
    std::vector<char> seen(size_t(w * h), 0);
    std::queue<std::pair<int, int>> todo;
    todo.push({0, 0});
    seen[0] = 1;
    int reached = 0, free_cells = 0;
    for (const Ground_Cell& g : map.Ground_Grid.cells) free_cells += g.blocked == 0;
    while (!todo.empty()) {
        auto [x, y] = todo.front();
        todo.pop();
        ++reached;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h || seen[size_t(ny * w + nx)]) continue;
                if (map.Ground_Grid(nx, ny).blocked != 0) continue;
                seen[size_t(ny * w + nx)] = 1;
                todo.push({nx, ny});
            }
    }
    EXPECT_GT(reached, w * h / 2);
    EXPECT_GT(reached, free_cells * 9 / 10);
    // The far side of the river, over both bridges, and the corners of the map.
    const std::pair<int, int> places[] = {{80, 2},  {2, 95},    {103, 60}, {60, 90},
                                          {91, 91}, {118, 118}, {118, 1},  {1, 118}};
    for (auto [x, y] : places) {
        bool near = false;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const int nx = x + dx, ny = y + dy;
                near = near || (nx >= 0 && ny >= 0 && nx < w && ny < h && seen[size_t(ny * w + nx)]);
            }
        EXPECT_TRUE(near) << "cannot reach the area of " << x << "," << y;
    }
}

// ---- characters ----

class Generated_Characters : public Headless_Test {
protected:
    Character_File chars;
    Animation_Data anim;
    std::map<int16_t, Surface> sheets;

    void SetUp() override {
        Headless_Test::SetUp();
        chars = Parse_Character_File(Bytes_Of("data/testple.ple"), "testple.ple");
        anim = Parse_Animation_File(Bytes_Of(Host_Path(chars.Animation_File_Name)), "animation");
        for (const Sheet& sheet : anim.Sheets) Load_Bitmap(sheet.file_name, 0, sheets[sheet.id]);
    }
    const Sequence* Sequence_Of(int16_t id) const {
        for (const Sequence& s : anim.Sequences)
            if (s.id == id) return &s;
        return nullptr;
    }
    std::set<int16_t> Walk_Ids() const {
        std::set<int16_t> ids;
        for (const Sprite_Type& type : chars.Sprite_Types)
            if (Walk_Action(type) >= 0)
                for (int d = 1; d <= 8; ++d)
                    ids.insert(type.actions[size_t(Walk_Action(type))].sequence_ids[size_t(d)]);
        return ids;
    }
    static int Walk_Action(const Sprite_Type& type) {
        for (size_t i = 0; i < type.actions.size(); ++i)
            if (type.actions[i].name == u"walk") return int(i);
        return -1;
    }
};

TEST_F(Generated_Characters, Every_Type_Walks_In_Eight_Directions_With_Its_Own_Sequences) {
    EXPECT_EQ(chars.Animation_File_Name, u"data\\testani.ani");
    ASSERT_GE(chars.Sprite_Types.size(), 2u);
    std::set<int16_t> used;
    for (size_t t = 0; t < chars.Sprite_Types.size(); ++t) {
        const Sprite_Type& type = chars.Sprite_Types[t];
        const int walk = Walk_Action(type);
        ASSERT_GE(walk, 0) << "type " << t << " has no walk";
        for (int d = 1; d <= 8; ++d) {
            const int16_t id = type.actions[size_t(walk)].sequence_ids[size_t(d)];
            // The first type's ids equal the directions: the name and chat labels look them up so.
            if (t == 0) {
                EXPECT_EQ(id, d);
            }
            EXPECT_TRUE(used.insert(id).second) << "sequence " << id << " shared";
            const Sequence* s = Sequence_Of(id);
            ASSERT_NE(s, nullptr) << "type " << t << " direction " << d;
            EXPECT_GE(s->frames.size(), 4u);
            // A label reads the frame of sequence `d` at this sequence's frame index.
            ASSERT_NE(Sequence_Of(int16_t(d)), nullptr);
            EXPECT_LE(s->frames.size(), Sequence_Of(int16_t(d))->frames.size());
            int total = 0;
            for (const Frame& f : s->frames) total += f.duration;
            EXPECT_GE(total * 2, 200) << "a walk cycle should last about one step";
            EXPECT_LE(total * 2, 400);
        }
    }
    // A character that has not walked yet faces direction 0, whose id is always 0.
    ASSERT_NE(Sequence_Of(0), nullptr);
    EXPECT_FALSE(Sequence_Of(0)->frames.empty());
}

TEST_F(Generated_Characters, Frames_Are_Cut_From_Their_Sheets_And_Stand_On_The_Cell) {
    for (const Sequence& s : anim.Sequences) {
        auto sheet = sheets.find(s.sheet_id);
        ASSERT_NE(sheet, sheets.end()) << "sequence " << s.id << " sheet " << s.sheet_id;
        const Surface& pic = sheet->second;
        std::vector<std::vector<uint16_t>> frame_pixels;
        for (const Frame& f : s.frames) {
            ASSERT_TRUE(Rect_Inside(pic, f.source_x, f.source_y, f.width, f.height)) << "sequence " << s.id;
            // The feet (the lowest drawn row) land near the diamond's centre (20, 10).
            int lowest = -1, left = f.width, right = -1;
            std::vector<uint16_t> pixels;
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x) {
                    const uint16_t p = pic.At(f.source_x + x, f.source_y + y);
                    pixels.push_back(p);
                    if (!p) continue;
                    lowest = y;
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
            ASSERT_GE(lowest, 0) << "empty frame in sequence " << s.id;
            EXPECT_NEAR(f.offset_y + lowest, 12, 4) << "sequence " << s.id;
            EXPECT_NEAR(f.offset_x + (left + right) / 2.0, 20, 4) << "sequence " << s.id;
            EXPECT_GE(f.height, 40);
            EXPECT_EQ(pic.At(f.source_x, f.source_y), 0) << "the frame's corner should be see-through";
            frame_pixels.push_back(std::move(pixels));
        }
        // A walk moves its legs: its frames are not all the same picture.
        if (Walk_Ids().count(s.id)) {
            std::set<std::vector<uint16_t>> distinct(frame_pixels.begin(), frame_pixels.end());
            EXPECT_GE(distinct.size(), 3u) << "sequence " << s.id;
        }
    }
}

}  // namespace
