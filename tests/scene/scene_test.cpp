// scene_test.cpp -- the scene around the own character: the view box, the projection, the
// painter's order, the characters' chat labels, and records the data could hold.
#include <tuple>

#include "fixture.h"
#include "scene/small_world.h"

using namespace small_world;

namespace {

class Scene_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        SetFont(Font_Spec{u"新細明體", 12, false});
        Make_Map(100, 100);
        Make_Figures();
        Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    }
    static void Draw() {
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
        Draw_Scene(320, 190, 38, 38);
    }
    static const Visible_Cell& Entry_Of(int16_t x, int16_t y) {
        return Scene.Visible_Cells.at(size_t(y - Scene.View_Y) * size_t(Scene.Visible_Cols) + size_t(x - Scene.View_X));
    }
    static uint16_t Pixel(int x, int y) { return Display.Back_Buffer.At(x, y); }
};

TEST_F(Scene_Test, ViewBoxIsCutAtTheMapEdgesAndTheOwnTileStaysAtTheAnchor) {
    const struct {
        int16_t own_x, own_y, view_x, view_y, cols, rows;
    } cases[] = {{0, 0, 0, 0, 19, 19},
                 {19, 19, 0, 0, 38, 38},
                 {20, 20, 1, 1, 38, 38},
                 {50, 5, 31, 0, 38, 24},
                 {95, 95, 76, 76, 24, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "own cell (" << c.own_x << ", " << c.own_y << ")");
        Chars.Own_Player.cell_x = c.own_x, Chars.Own_Player.cell_y = c.own_y;
        Draw();
        ASSERT_EQ(std::tuple(Scene.View_X, Scene.View_Y, Scene.Visible_Cols, Scene.Visible_Rows),
                  std::tuple(c.view_x, c.view_y, c.cols, c.rows));
        // (The table's order is what picking finds its cells by: the game screen's picks test it.)
        ASSERT_EQ(Scene.Visible_Cells.size(), size_t(c.cols) * size_t(c.rows));
        const Visible_Cell& own = Entry_Of(c.own_x, c.own_y);
        EXPECT_EQ(std::tuple(own.screen_x, own.screen_y, Chars.Own_Player.screen_x, Chars.Own_Player.screen_y),
                  std::tuple(300, 190, 300, 190));
        // The own figure stands on the own diamond's centre.
        EXPECT_EQ(std::tuple(Pixel(320, 200), Pixel(320, 185)), std::tuple(GROUND, FIGURE));
        // At the top corner nothing lies above the own tile.
        EXPECT_TRUE(c.own_x != 0 || Count_Pixels(Display.Back_Buffer, 0, Rect{320, 0, 321, 165}) == 165);
    }
    // An own cell beyond the map's far corner, or no map at all, leaves nothing to draw.
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 200;
    Draw();
    EXPECT_EQ(Scene.Visible_Cells.size(), 0u);
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, GROUND, Rect{0, 0, 640, 480}), 0);
    Map = Map_Model{};
    Chars.Own_Player.cell_x = 3, Chars.Own_Player.cell_y = 0;
    Draw();
    EXPECT_EQ(std::tuple(Scene.Visible_Cols, Scene.Visible_Cells.size()), std::tuple(0, 0u));
}

TEST_F(Scene_Test, TheMapMovesByTheOwnOffsetAndATileCutAtTheLeftEdgeIsStoredAtZero) {
    Player_Record& own = Chars.Own_Player = At_Cell(50, 50);
    // Whatever the offset (each step's offsets are the movement test's), the own figure stays put.
    for (auto [x, y] : {std::pair{0, 0}, {-13, 6}, {6, -3}}) {
        own.pixel_offset_x = int16_t(x), own.pixel_offset_y = int16_t(y);
        Draw();
        EXPECT_EQ(std::tuple(Entry_Of(50, 50).screen_x, Entry_Of(50, 50).screen_y, own.screen_x, own.screen_y),
                  std::tuple(300 + x, 190 + y, 300, 190))
            << x << ", " << y;
        EXPECT_EQ(Count_Pixels(Display.Back_Buffer, FIGURE, Rect{310, 170, 330, 200}), FIGURE_W * FIGURE_H) << x;
    }
    // A diamond whose pixels name their column, on cell (35, 51) only, drawn from its visible part.
    Map.Map_Images.push_back(Map_Image{u"images\\marked.bmp", 99, Diamond([](int u) { return uint16_t(1000 + u); })});
    Map.Ground_Grid(35, 51).image_id = 99;
    own.pixel_offset_x = 5, own.pixel_offset_y = 0;   // tile origin of (35, 51): (300 - 320 + 5, 190 - 140)
    Draw();
    EXPECT_EQ(std::tuple(Entry_Of(35, 51).screen_x, Entry_Of(35, 51).screen_y), std::tuple(0, 50));
    EXPECT_EQ(std::tuple(Pixel(0, 60), Pixel(1, 60)), std::tuple(1000 + 15, 1000 + 16));
}

TEST_F(Scene_Test, PiecesAndCharactersFollowThePaintersOrder) {
    // The own figure covers (310..330, 170..200); every piece below covers (300..340, 160..200).
    const struct {
        const char* what;
        int16_t x, y;
        bool overlay;
        int16_t present;
        uint16_t on_figure;
    } cases[] = {
        {"object of the next cell in the row covers the figure", 6, 5, false, 1, OBJECT},
        {"object of the next row covers the figure", 5, 6, false, 1, OBJECT},
        {"object of the previous cell is covered by it", 4, 5, false, 1, FIGURE},
        {"object of its own cell is covered by it", 5, 5, false, 1, FIGURE},
        {"overlay of an earlier cell covers it", 4, 5, true, 1, OVERLAY},
        {"overlay of a later cell covers it", 6, 5, true, 1, OVERLAY},
        {"a piece not present draws nothing", 6, 5, false, 0, FIGURE},
    };
    for (const auto& c : cases) {
        Make_Map(20, 20);   // no pieces but this one
        // Offsets that put the piece's box at (300, 160) whatever its cell.
        const int16_t tile_x = int16_t(300 + 20 * (c.x - c.y)), tile_y = int16_t(90 + 10 * (c.x + c.y));
        (c.overlay ? Map.Overlay_Grid : Map.Object_Grid)(c.x, c.y) = Piece_Cell{
            0, 0, int16_t(300 - tile_x), int16_t(160 - tile_y), 40, 40, c.present, c.overlay ? OVERLAY_ID : OBJECT_ID};
        Draw();
        EXPECT_EQ(Pixel(315, 180), c.on_figure) << c.what;
        EXPECT_EQ(Pixel(305, 180), c.present ? (c.overlay ? OVERLAY : OBJECT) : GROUND) << c.what;
    }
    // Other players stand on their cells, drawn in table order; direction 3 shows a sheet in
    // another colour. (The last piece above is not present.)
    Animations.Sheets.push_back(Sheet{u"images\\other.bmp", 2, Make_Surface(FIGURE_W, FIGURE_H, 0x1234)});
    Animations.Sequences[3].sheet_id = 2;
    Chars.Players = {At_Cell(6, 5), At_Cell(6, 5), At_Cell(90, -4)};   // the last nowhere on the map
    Chars.Players[1].direction = 3;
    Chars.Players[2].screen_x = 77;
    Draw();
    EXPECT_EQ(std::tuple(Chars.Players[0].screen_x, Chars.Players[0].screen_y), std::tuple(320, 200));
    EXPECT_EQ(Pixel(340, 190), 0x1234);         // the later player covers the earlier one
    EXPECT_EQ(Pixel(320, 185), FIGURE);         // and both cover nothing of the own figure's left part
    EXPECT_EQ(Chars.Players[2].screen_x, 77);   // not drawn: keeps its last position
}

TEST_F(Scene_Test, ChatLabelsShowForTheirFramesThenClear) {
    Player_Record& own = Chars.Own_Player;
    own.chat_text = u"hi";
    Chars.Players = {At_Cell(6, 6), At_Cell(50, 50)};   // the second out of the view box (0..23)
    Chars.Players[0].chat_text = u"yo";
    Chars.Players[1].chat_text = u"far", Chars.Players[1].chat_frames = 7;
    std::string own_shown, other_shown;   // whether each still had its text after each frame
    for (int frame = 1; frame <= 401; ++frame) {
        Draw();
        own_shown += own.chat_text.empty() ? '-' : 'o', other_shown += Chars.Players[0].chat_text.empty() ? '-' : 'o';
    }
    EXPECT_EQ(own_shown, std::string(200, 'o') + std::string(201, '-'));
    EXPECT_EQ(other_shown, std::string(400, 'o') + "-");
    EXPECT_EQ(std::tuple(Chars.Players[1].chat_text, Chars.Players[1].chat_frames), std::tuple(u"far", 7));

    // A label is centred over the figure: the scene is the one without it, plus the label.
    own.chat_text = u"你好 hello", own.chat_frames = 0;
    Draw();
    const Surface labelled = Display.Back_Buffer;
    own.chat_text.clear();
    Draw();
    const int32_t w = Round_Half_Even(Text_Width(u"你好 hello"));
    Draw_Outlined_Text(int16_t(310 - w / 2), 160, u"你好 hello", Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_GT(Count_Pixels(labelled, Color_To_Pixel(Rgb(255, 0, 0)), Rect{0, 0, 640, 480}), 20);
    EXPECT_TRUE(labelled.pixels == Display.Back_Buffer.pixels);
}

// The look-ups a record makes (odd directions, sprite types, no actions) and a frame with no sheet
// are tested with the look-ups and the animation; here what the scene itself reads.
TEST_F(Scene_Test, RecordsOutsideTheDataModelAreDrawnSafely) {
    const struct {
        const char* what;
        void (*set)(Player_Record&);
        bool figure;
    } cases[] = {
        {"direction 9", [](Player_Record& r) { r.direction = 9; }, false},
        {"no walk action: the first action",
         [](Player_Record& r) { Chars.Characters.Sprite_Types[0].actions[1].name = u"Walk", r.direction = 2; }, true},
        {"frame index past the sequences", [](Player_Record& r) { r.frame_index = 99; }, true},
        {"negative frame index", [](Player_Record& r) { r.frame_index = -2; }, true},
        {"no sequences at all", [](Player_Record&) { Animations.Sequences.clear(); }, false},
        {"no frames",
         [](Player_Record&) {
             for (auto& s : Animations.Sequences) s.frames.clear();
         },
         false},
        {"no map images", [](Player_Record&) { Map.Map_Images.clear(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();   // a fresh world for each
        Player_Record& own = Chars.Own_Player;
        own.chat_text = u"hey";
        c.set(own);
        Draw();
        Draw();
        EXPECT_EQ(std::tuple(own.screen_x, own.screen_y, own.chat_frames), std::tuple(300, 190, 2));
        EXPECT_EQ(Count_Pixels(Display.Back_Buffer, FIGURE, Rect{310, 170, 330, 200}) > 0, c.figure);
    }
}

}   // namespace
