// scene_test.cpp -- the scene around the own character: the view box, the projection, the
// painter's order, the characters' chat labels, and records the data could hold.
#include <string>

#include "fixture.h"
#include "scene/small_world.h"

using namespace small_world;

namespace {

class Scene_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        SetFont(Font_Spec{u"新細明體", 12, false});
    }
    static void Draw() {
        BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
        Draw_Scene(320, 190, 38, 38);
    }
    static const Visible_Cell& Entry_Of(int16_t x, int16_t y) {
        size_t c = size_t(x - Scene.View_X), r = size_t(y - Scene.View_Y);
        return Scene.Visible_Cells.at(r * size_t(Scene.Visible_Cols) + c);
    }
    static uint16_t Pixel(int x, int y) { return Display.Back_Buffer.At(x, y); }
};

TEST_F(Scene_Test, ViewBoxIsCutAtTheMapEdgesAndTheOwnTileStaysAtTheAnchor) {
    struct Case {
        int16_t own_x, own_y, view_x, view_y, cols, rows;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 19, 19},    {19, 19, 0, 0, 38, 38},  {20, 20, 1, 1, 38, 38},
        {50, 5, 31, 0, 38, 24},  {95, 95, 76, 76, 24, 24},
    };
    Make_Map(100, 100);
    Make_Figures();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "own cell (" << c.own_x << ", " << c.own_y << ")");
        Chars.Own_Player.cell_x = c.own_x;
        Chars.Own_Player.cell_y = c.own_y;
        Draw();
        EXPECT_EQ(Scene.View_X, c.view_x);
        EXPECT_EQ(Scene.View_Y, c.view_y);
        ASSERT_EQ(Scene.Visible_Cols, c.cols);
        ASSERT_EQ(Scene.Visible_Rows, c.rows);
        ASSERT_EQ(Scene.Visible_Cells.size(), size_t(c.cols) * size_t(c.rows));
        for (int r = 0; r < c.rows; ++r)
            for (int col = 0; col < c.cols; ++col) {
                const Visible_Cell& v = Scene.Visible_Cells[size_t(r) * size_t(c.cols) + size_t(col)];
                ASSERT_EQ(v.cell_x, c.view_x + col);
                ASSERT_EQ(v.cell_y, c.view_y + r);
            }
        const Visible_Cell& own = Entry_Of(c.own_x, c.own_y);
        EXPECT_EQ(own.screen_x, 300);
        EXPECT_EQ(own.screen_y, 190);
        EXPECT_EQ(Pixel(320, 200), GROUND);    // the own diamond's centre
        EXPECT_EQ(Pixel(320, 185), FIGURE);    // the own figure stands on it
        EXPECT_EQ(Chars.Own_Player.screen_x, 300);
        EXPECT_EQ(Chars.Own_Player.screen_y, 190);
    }
    // At the top corner nothing lies above the own tile.
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 0;
    Draw();
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, 0, Rect{320, 0, 321, 165}), 165);
}

TEST_F(Scene_Test, TileCutAtTheLeftEdgeIsDrawnFromItsVisiblePartAndStoredAtZero) {
    Make_Map(100, 100);
    // A diamond whose pixels name their column, on cell (35, 51) only.
    Surface marked = Make_Surface(40, 20);
    for (int v = 0; v < 20; ++v)
        for (int u = 0; u < 40; ++u)
            if (In_Diamond(u, v)) marked.At(u, v) = uint16_t(1000 + u);
    Map.Map_Images.push_back(Map_Image{u"images\\marked.bmp", 99, marked});
    Map.Ground_Grid(35, 51).image_id = 99;
    Chars.Own_Player.cell_x = 50;
    Chars.Own_Player.cell_y = 50;
    Chars.Own_Player.pixel_offset_x = 5;   // tile origin of (35, 51): (300 - 320 + 5, 190 - 140)
    Draw();
    const Visible_Cell& cut = Entry_Of(35, 51);
    EXPECT_EQ(cut.screen_x, 0);
    EXPECT_EQ(cut.screen_y, 50);
    EXPECT_EQ(Pixel(0, 60), 1000 + 15);
    EXPECT_EQ(Pixel(1, 60), 1000 + 16);
    // Its unclipped neighbour keeps its true position.
    EXPECT_EQ(Entry_Of(36, 51).screen_x, 300 - 300 + 5);
}

TEST_F(Scene_Test, TheMapMovesByTheOwnOffsetWhileTheOwnFigureStaysPut) {
    Make_Map(40, 40);
    Make_Figures();
    Chars.Own_Player.cell_x = 20;
    Chars.Own_Player.cell_y = 20;
    for (int d = 1; d <= 8; ++d) {
        for (int third = 0; third <= 2; ++third) {
            SCOPED_TRACE(testing::Message() << "direction " << d << ", third " << third);
            Player_Record& own = Chars.Own_Player;
            own.direction = int16_t(d);
            own.pixel_offset_x = int16_t(third * Chars.Pixel_Steps[size_t(d)].x);
            own.pixel_offset_y = int16_t(third * Chars.Pixel_Steps[size_t(d)].y);
            Draw();
            EXPECT_EQ(Entry_Of(20, 20).screen_x, 300 + own.pixel_offset_x);
            EXPECT_EQ(Entry_Of(20, 20).screen_y, 190 + own.pixel_offset_y);
            EXPECT_EQ(own.screen_x, 300);
            EXPECT_EQ(own.screen_y, 190);
            EXPECT_EQ(Count_Pixels(Display.Back_Buffer, FIGURE, Rect{310, 170, 330, 200}), FIGURE_W * FIGURE_H);
        }
    }
}

TEST_F(Scene_Test, PiecesAndCharactersFollowThePaintersOrder) {
    // The own figure covers (310..330, 170..200); every piece below covers (300..340, 160..200).
    struct Case {
        const char* what;
        int16_t cell_x, cell_y;
        bool overlay;
        int16_t present;
        uint16_t on_figure;   // pixel at (315, 180)
    };
    const Case cases[] = {
        {"object of the next cell in the row covers the figure", 6, 5, false, 1, OBJECT},
        {"object of the next row covers the figure", 5, 6, false, 1, OBJECT},
        {"object of the previous cell is covered by it", 4, 5, false, 1, FIGURE},
        {"object of its own cell is covered by it", 5, 5, false, 1, FIGURE},
        {"overlay of an earlier cell covers it", 4, 5, true, 1, OVERLAY},
        {"overlay of a later cell covers it", 6, 5, true, 1, OVERLAY},
        {"a piece not present draws nothing", 6, 5, false, 0, FIGURE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make_Map(20, 20);
        Make_Figures();
        Chars.Own_Player.cell_x = 5;
        Chars.Own_Player.cell_y = 5;
        // Offsets that put each piece's box at (300, 160) whatever its cell.
        const int16_t tile_x = int16_t(300 + 20 * ((c.cell_x - 5) - (c.cell_y - 5)));
        const int16_t tile_y = int16_t(190 + 10 * ((c.cell_x - 5) + (c.cell_y - 5)));
        Piece_Cell piece = Piece(c.overlay ? OVERLAY_ID : OBJECT_ID, int16_t(300 - tile_x), int16_t(160 - tile_y));
        piece.present = c.present;
        (c.overlay ? Map.Overlay_Grid : Map.Object_Grid)(c.cell_x, c.cell_y) = piece;
        Draw();
        EXPECT_EQ(Pixel(315, 180), c.on_figure);
        EXPECT_EQ(Pixel(305, 180), c.present ? (c.overlay ? OVERLAY : OBJECT) : GROUND);
    }
}

TEST_F(Scene_Test, OtherPlayersStandOnTheirCellsInTableOrder) {
    Make_Map(20, 20);
    Make_Figures();
    // A second sheet in another colour for the player added last.
    Animations.Sheets.push_back(Sheet{u"images\\other.bmp", 2, Make_Surface(FIGURE_W, FIGURE_H, 0x1234)});
    Animations.Sequences.push_back(Sequence{40, 2, 1, {Frame{50, 0, 0, FIGURE_W, FIGURE_H, FIGURE_DX, FIGURE_DY}}});
    Chars.Characters.Sprite_Types.push_back(Chars.Characters.Sprite_Types[0]);
    Chars.Characters.Sprite_Types[1].actions[1].sequence_ids[3] = 40;
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Chars.Players.resize(3);
    Chars.Players[0].cell_x = 6, Chars.Players[0].cell_y = 5;    // one cell right and down
    Chars.Players[1].cell_x = 6, Chars.Players[1].cell_y = 5;
    Chars.Players[1].sprite_type = 1, Chars.Players[1].direction = 3;
    Chars.Players[2].cell_x = 90, Chars.Players[2].cell_y = -4;  // nowhere on the map
    Chars.Players[2].screen_x = 77;
    Draw();
    EXPECT_EQ(Chars.Players[0].screen_x, 320);
    EXPECT_EQ(Chars.Players[0].screen_y, 200);
    EXPECT_EQ(Pixel(340, 190), 0x1234);    // the later player covers the earlier one
    EXPECT_EQ(Pixel(320, 185), FIGURE);    // and both cover nothing of the own figure's left part
    EXPECT_EQ(Chars.Players[2].screen_x, 77);   // not drawn: keeps its last position
}

TEST_F(Scene_Test, ChatLabelsShowForTheirFramesThenClear) {
    Make_Map(60, 60);
    Make_Figures();
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Chars.Own_Player.chat_text = u"hi";
    Chars.Players.resize(2);
    Chars.Players[0].cell_x = 6, Chars.Players[0].cell_y = 6;
    Chars.Players[0].chat_text = u"yo";
    Chars.Players[1].cell_x = 50, Chars.Players[1].cell_y = 50;   // out of the view box (0..23)
    Chars.Players[1].chat_text = u"far";
    Chars.Players[1].chat_frames = 7;
    for (int frame = 1; frame <= 401; ++frame) {
        Draw();
        if (frame == 200) {
            EXPECT_EQ(Chars.Own_Player.chat_text, u"hi");
            EXPECT_EQ(Chars.Own_Player.chat_frames, 200);
        }
        if (frame == 201) {
            EXPECT_EQ(Chars.Own_Player.chat_text, u"");
            EXPECT_EQ(Chars.Own_Player.chat_frames, 0);
        }
        if (frame == 400) {
            EXPECT_EQ(Chars.Players[0].chat_text, u"yo");
        }
    }
    EXPECT_EQ(Chars.Players[0].chat_text, u"");
    EXPECT_EQ(Chars.Players[1].chat_text, u"far");
    EXPECT_EQ(Chars.Players[1].chat_frames, 7);
}

TEST_F(Scene_Test, ChatLabelIsCentredOverTheFigure) {
    Make_Map(20, 20);
    Map.Map_Images[0].surface = Make_Surface(40, 20);   // no ground: the figure and the label only
    Make_Figures();
    Chars.Own_Player.cell_x = Chars.Own_Player.cell_y = 5;
    Chars.Own_Player.chat_text = u"你好 hello";
    Draw();
    const Surface scene = Display.Back_Buffer;

    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
    BltFast(Display.Back_Buffer, 310, 170, Animations.Sheets[0].surface, Rect{0, 0, FIGURE_W, FIGURE_H}, 17);
    const int32_t w = Round_Half_Even(Text_Width(u"你好 hello"));
    Draw_Outlined_Text(int16_t(300 - w / 2 + FIGURE_W / 2), int16_t(190 - FIGURE_H), u"你好 hello",
                       Rgb(255, 255, 255), Rgb(255, 0, 0));
    EXPECT_GT(Count_Pixels(scene, Color_To_Pixel(Rgb(255, 0, 0)), Rect{0, 0, 640, 480}), 20);
    EXPECT_TRUE(scene.pixels == Display.Back_Buffer.pixels);
}

TEST_F(Scene_Test, RecordsOutsideTheDataModelAreDrawnSafely) {
    struct Case {
        const char* what;
        void (*set)(Player_Record&);
        bool figure;
    };
    const Case cases[] = {
        {"direction 9", [](Player_Record& r) { r.direction = 9; }, false},
        {"direction -1", [](Player_Record& r) { r.direction = -1; }, false},
        {"sprite type past the table", [](Player_Record& r) { r.sprite_type = 4; }, false},
        {"negative sprite type", [](Player_Record& r) { r.sprite_type = -3; }, false},
        {"sprite type without actions",
         [](Player_Record&) { Chars.Characters.Sprite_Types[0].actions.clear(); }, false},
        {"no walk action: the first action", [](Player_Record& r) {
             Chars.Characters.Sprite_Types[0].actions[1].name = u"Walk";
             r.direction = 2;
         }, true},
        {"frame index past the sequences", [](Player_Record& r) { r.frame_index = 99; }, true},
        {"negative frame index", [](Player_Record& r) { r.frame_index = -2; }, true},
        {"no sequences at all", [](Player_Record&) { Animations.Sequences.clear(); }, false},
        {"a sequence without frames", [](Player_Record&) {
             for (auto& s : Animations.Sequences) s.frames.clear();
         }, false},
        {"no sheets", [](Player_Record&) { Animations.Sheets.clear(); }, false},
        {"a chat text far wider than the screen", [](Player_Record& r) {
             r.chat_text.assign(3000, u'寬');
         }, true},
        {"no map images", [](Player_Record&) { Map.Map_Images.clear(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Make_Map(20, 20);
        Make_Figures();
        Player_Record& own = Chars.Own_Player;
        own = Player_Record{};
        own.cell_x = own.cell_y = 5;
        own.chat_text = u"hey";
        c.set(own);
        Draw();
        Draw();
        EXPECT_EQ(own.screen_x, 300);
        EXPECT_EQ(own.screen_y, 190);
        EXPECT_EQ(Count_Pixels(Display.Back_Buffer, FIGURE, Rect{310, 170, 330, 200}) > 0, c.figure);
        EXPECT_EQ(own.chat_frames, 2);
    }
}

TEST_F(Scene_Test, NothingIsDrawnWithoutAMapAndTheViewIsEmpty) {
    Chars.Own_Player.cell_x = 3;
    Draw();
    EXPECT_EQ(Scene.Visible_Cols, 0);
    EXPECT_EQ(Scene.Visible_Cells.size(), 0u);
    // An own cell beyond the map's far corner leaves nothing to draw either.
    Make_Map(10, 10);
    Chars.Own_Player.cell_x = 200;
    Chars.Own_Player.cell_y = 200;
    Draw();
    EXPECT_EQ(Scene.Visible_Cells.size(), 0u);
    EXPECT_EQ(Count_Pixels(Display.Back_Buffer, GROUND, Rect{0, 0, 640, 480}), 0);
}

}  // namespace
