// animation_test.cpp -- the animation file, the sheet and sequence look-ups, drawing and the clock.
#include <gtest/gtest.h>

#include "characters/animation.h"
#include "characters/player.h"
#include "fixture.h"
#include "map/world_files.h"

using namespace world_test;

namespace {

// Sheets "s1.bmp" (id 4) and "s2" (id 9); sequence 100 on sheet 9 with two frames, 101 on sheet 4.
Raw Two_Sequences() {
    Raw r;
    r.I16(2).Str(u"s1.bmp").I16(4).Str(u"s2").I16(9);
    r.I16(2);
    r.I16(9).I16(100).I16(2);
    // offset_x, offset_y, height, width, source_x, source_y, duration
    r.I16(-5).I16(-40).I16(30).I16(20).I16(1).I16(2).I16(50);
    r.I16(6).I16(7).I16(8).I16(9).I16(10).I16(11).I16(12);
    r.I16(4).I16(101).I16(1);
    r.I16(0).I16(0).I16(1).I16(1).I16(0).I16(0).I16(-1);
    return r;
}

}  // namespace

TEST(Animation_File, Reads_Sheet_Before_Id_And_Frames_Offsets_First) {
    const Animation_Data a = Parse_Animation_File(Two_Sequences().bytes, "t.ani");
    ASSERT_EQ(a.sheet_count, 2);
    EXPECT_EQ(a.Sheets[0].file_name, u"s1.bmp");
    EXPECT_EQ(a.Sheets[1].id, 9);
    ASSERT_EQ(a.sequence_count, 2);
    EXPECT_EQ(a.Sequences[0].sheet_id, 9);
    EXPECT_EQ(a.Sequences[0].id, 100);
    EXPECT_EQ(a.Sequences[0].frame_count, 2);
    // Frame in record order: duration, source_x, source_y, width, height, offset_x, offset_y
    const Frame f0{50, 1, 2, 20, 30, -5, -40}, f1{12, 10, 11, 9, 8, 6, 7};
    EXPECT_EQ(a.Sequences[0].frames, (std::vector<Frame>{f0, f1}));
    EXPECT_EQ(a.Sequences[1].frames.size(), 1u);

    EXPECT_EQ(Write_Animation_File(a), Two_Sequences().bytes);
}

TEST(Animation_File, Every_Truncation_And_Empty_Count_Is_A_Clear_Error) {
    const std::string bytes = Two_Sequences().bytes;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        try {
            Parse_Animation_File(bytes.substr(0, cut), "x.ani");
            ADD_FAILURE() << "no error for a file cut at byte " << cut;
        } catch (const Data_Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("x.ani: file ends at byte " + std::to_string(cut), 0), 0u)
                << e.what();
        }
    }
    struct Case {
        std::string bytes;
        const char* complaint;
    };
    const Case cases[] = {
        {Raw().I16(0).I16(1).bytes, "the sheet count is 0"},
        {Raw().I16(1).Str(u"s").I16(1).I16(-2).bytes, "the sequence count is -2"},
        {Raw().I16(1).Str(u"s").I16(1).I16(1).I16(1).I16(1).I16(0).bytes, "the frame count of sequence 0 is 0"},
        // A frame count far beyond the file: refused before anything is sized by it.
        {Raw().I16(1).Str(u"s").I16(1).I16(1).I16(1).I16(1).I16(32767).bytes, "inside frame 0 of sequence 0"},
    };
    for (const Case& c : cases) {
        try {
            Parse_Animation_File(c.bytes, "a");
            ADD_FAILURE() << c.complaint;
        } catch (const Data_Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.complaint), std::string::npos) << e.what();
        }
    }
}

TEST_F(Headless_Test, Find_Sequence_And_Find_Sheet_Take_The_First_Match_Or_Index_0) {
    for (int16_t id : {5, 8, 8, 0}) Animations.Sequences.push_back(Sequence{id, 0, 1, {Frame{}}});
    for (int16_t id : {3, -2, 3}) Animations.Sheets.push_back(Sheet{u"s", id, {}});
    const std::pair<int16_t, int16_t> sequences[] = {{5, 0}, {8, 1}, {0, 3}, {9, 0}};
    for (auto [id, index] : sequences) EXPECT_EQ(Find_Sequence(id), index) << "sequence id " << id;
    const std::pair<int16_t, int16_t> sheets[] = {{3, 0}, {-2, 1}, {7, 0}};
    for (auto [id, index] : sheets) EXPECT_EQ(Find_Sheet(id), index) << "sheet id " << id;
    Animations = Animation_Data{};
    EXPECT_EQ(Find_Sequence(5), 0);
    EXPECT_EQ(Find_Sheet(5), 0);
}

namespace {

// One sheet whose column i has the raw pixel value 1 + i; frame i of a sequence shows column i.
class Animation_Clock : public Headless_Test {
protected:
    Player_Record r;
    Sequence sequence;

    void SetUp() override {
        Headless_Test::SetUp();
        Sheet sheet{u"s", 3, Make_Surface(8, 4)};
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 4; ++y) sheet.surface.At(x, y) = uint16_t(1 + x);
        Animations.Sheets = {Sheet{u"other", 1, Make_Surface(8, 4, 0x7777)}, sheet};
    }
    void Use(std::vector<int16_t> durations) {
        sequence = Sequence{1, 3, int16_t(durations.size()), {}};
        for (size_t i = 0; i < durations.size(); ++i)
            sequence.frames.push_back(Frame{durations[i], int16_t(i), 0, 1, 1, 0, 0});
    }
    // Draws at tick `now` and returns the frame that was shown.
    int Draw_At(int32_t now) {
        window.now = now;
        BltColorFill(Display.Back_Buffer, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, 0);
        Draw_Animation_Frame(sequence, r, 10, 10);
        return int(Display.Back_Buffer.At(10, 10)) - 1;
    }
};

}  // namespace

TEST_F(Animation_Clock, A_Started_Sequence_Plays_Once_At_Half_Speed_Then_Rests_On_Frame_0) {
    Use({50, 50, 50});
    Start_Animation(r, 2.0f);
    EXPECT_TRUE(r.animating);
    EXPECT_EQ(r.frame_speed, 2.0f);
    struct Tick {
        int32_t now;
        int shown, index_after;
        bool animating_after;
        int32_t next_after;
    };
    const Tick ticks[] = {
        {1000, 0, 1, true, 1100},    // next_frame_time 0 advances whatever the tick
        {1050, 1, 1, true, 1100},  {1100, 1, 2, true, 1200}, {1199, 2, 2, true, 1200},
        {1200, 2, 0, false, 1300},   // the last frame had its time: rest on frame 0
        {1400, 0, 0, false, 1300},  {5000, 0, 0, false, 1300},
    };
    for (const Tick& t : ticks) {
        SCOPED_TRACE("tick " + std::to_string(t.now));
        EXPECT_EQ(Draw_At(t.now), t.shown);
        EXPECT_EQ(r.frame_index, t.index_after);
        EXPECT_EQ(r.animating, t.animating_after);
        EXPECT_EQ(r.next_frame_time, t.next_after);
    }
    // Started again, it plays from frame 0 with the time it rested with.
    Start_Animation(r, 2.0f);
    EXPECT_EQ(Draw_At(5001), 0);
    EXPECT_EQ(r.frame_index, 1);
    EXPECT_EQ(r.next_frame_time, 5101);
}

TEST_F(Animation_Clock, Frame_Times_Round_Halves_To_Even) {
    struct Case {
        int16_t duration;
        float speed;
        int32_t now, expected;
    };
    const Case cases[] = {
        {25, 2.5f, 1000, 1062}, {25, 2.5f, 1001, 1064}, {125, 0.5f, 1000, 1062}, {125, 0.5f, 1001, 1064},
        {50, 2.0f, 1000, 1100}, {3, 0.5f, 0, 2},         {1, 0.5f, 0, 0},
    };
    for (const Case& c : cases) {
        Use({10, c.duration});
        r = Player_Record{};
        Start_Animation(r, c.speed);
        Draw_At(c.now);
        EXPECT_EQ(r.next_frame_time, c.expected) << c.duration << " x " << c.speed << " + " << c.now;
    }
}

TEST_F(Animation_Clock, Odd_Records_And_Sequences_Stay_Inside_The_Frames) {
    // A one-frame sequence just started ends at once: frame 0, resting.
    Use({40});
    Start_Animation(r, 2.0f);
    EXPECT_EQ(Draw_At(700), 0);
    EXPECT_EQ(r.frame_index, 0);
    EXPECT_FALSE(r.animating);
    EXPECT_EQ(r.next_frame_time, 780);

    // An index left beyond a shorter sequence, or below 0, shows frame 0.
    Use({50, 50});
    for (int16_t index : {5, 2, -3}) {
        r = Player_Record{};
        r.frame_index = index;
        r.next_frame_time = 9999;
        EXPECT_EQ(Draw_At(100), 0) << "index " << index;
        EXPECT_EQ(r.frame_index, 0);
    }

    // An animating record on the last frame with next_frame_time 0 ends rather than running off.
    r = Player_Record{};
    r.frame_index = 1;
    Start_Animation(r, 1.0f);
    EXPECT_EQ(Draw_At(300), 1);
    EXPECT_EQ(r.frame_index, 0);
    EXPECT_FALSE(r.animating);

    // A record that is not animating stays where it is.
    r = Player_Record{};
    r.next_frame_time = 0;
    EXPECT_EQ(Draw_At(300), 0);
    EXPECT_EQ(r.frame_index, 0);

    // No frames, no sheets: nothing is drawn and nothing breaks.
    sequence = Sequence{1, 3, 0, {}};
    EXPECT_EQ(Draw_At(400), -1);
    Use({50});
    Animations.Sheets.clear();
    EXPECT_EQ(Draw_At(500), -1);
}

TEST_F(Animation_Clock, Frames_Are_Keyed_Clipped_And_Offset) {
    sequence = Sequence{1, 3, 1, {Frame{50, 2, 0, 4, 2, -5, 3}}};   // columns 2..5, rows 0..1
    Animations.Sheets[1].surface.At(3, 0) = 0;                      // a see-through pixel
    window.now = 100;
    Display.Back_Buffer.At(16, 13) = 0x4444;
    Draw_Animation_Frame(sequence, r, 20, 10);                      // drawn at (15, 13)
    EXPECT_EQ(Display.Back_Buffer.At(15, 13), 3);
    EXPECT_EQ(Display.Back_Buffer.At(16, 13), 0x4444);
    EXPECT_EQ(Display.Back_Buffer.At(18, 14), 6);
    EXPECT_EQ(Display.Back_Buffer.At(19, 13), 0);
    EXPECT_EQ(Display.Back_Buffer.At(15, 15), 0);

    // Partly left of and above the screen: the visible part lands at column and row 0.
    BltColorFill(Display.Back_Buffer, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, 0);
    Draw_Animation_Frame(sequence, r, 3, -4);                       // drawn at (-2, -1)
    EXPECT_EQ(Display.Back_Buffer.At(0, 0), 5);
    EXPECT_EQ(Display.Back_Buffer.At(1, 0), 6);
    EXPECT_EQ(Display.Back_Buffer.At(2, 0), 0);
    EXPECT_EQ(Display.Back_Buffer.At(0, 1), 0);

    // A sheet id that no sheet has draws from the first sheet.
    sequence.sheet_id = 42;
    Draw_Animation_Frame(sequence, r, 100, 100);
    EXPECT_EQ(Display.Back_Buffer.At(95, 103), 0x7777);
}

class Animation_Loading : public Headless_Test {
protected:
    Temp_Folder folder;
    void SetUp() override {
        Headless_Test::SetUp();
        Platform.program_folder = folder.path.string();
        Write_File(folder / "data/t.ani", Two_Sequences().bytes);
        Write_Bmp(folder / "s1.bmp", 2, 2, [](int, int) { return 0xFFFFFFu; });
        Write_Bmp(folder / "s2", 3, 1, [](int, int) { return 0xFFFFFFu; });
    }
};

TEST_F(Animation_Loading, Names_Resolve_Against_The_Program_Folder_Like_Pictures) {
    Load_Animation_File(u"data\\t.ani");
    ASSERT_EQ(Animations.Sheets.size(), 2u);
    EXPECT_EQ(Animations.Sheets[0].surface.width, 2);
    EXPECT_EQ(Animations.Sheets[1].surface.width, 3);

    // A full path holding the program folder is used as it is.
    Reset_Animations();
    Load_Animation_File(From_Utf8(folder / "data/t.ani"));
    EXPECT_EQ(Animations.Sequences.size(), 2u);

    struct Case {
        std::u16string name, logged;
    };
    Temp_Folder elsewhere;
    Write_File(elsewhere / "t.ani", Two_Sequences().bytes);
    Write_File(folder / "C:data/t.ani", Two_Sequences().bytes);
    const Case refused[] = {
        {u"data\\none.ani", u"找不到檔案 : data\\none.ani"},
        {u"C:data\\t.ani", u"找不到檔案 : C:data\\t.ani"},   // refused for its ":" although the file is there
        {From_Utf8(elsewhere / "t.ani"), u"找不到檔案 : " + From_Utf8(elsewhere / "t.ani")},
    };
    for (const Case& c : refused)
        EXPECT_NE(Raised_Error([&] { Load_Animation_File(c.name); }).find(c.logged), std::u16string::npos)
            << To_Utf8(c.name);

    Write_File(folder / "data/bad.ani", Raw().I16(1).Str(u"s1.bmp").I16(1).I16(0).bytes);
    const std::u16string log = Raised_Error([&] { Load_Animation_File(u"data\\bad.ani"); });
    EXPECT_NE(log.find(u"其它錯誤 : data\\bad.ani: the sequence count is 0"), std::u16string::npos) << To_Utf8(log);
}
