// character_file_test.cpp -- the character file's layout, damaged files, loading and Find_Action.
#include <gtest/gtest.h>

#include "characters/animation.h"
#include "characters/player.h"
#include "fixture.h"
#include "map/world_files.h"

using namespace world_test;

namespace {

// Two types: the first with one action, the second with two.
Raw Two_Types(const std::u16string& animation_file = u"data\\a.ani") {
    Raw r;
    r.Str(animation_file).I16(2);
    r.I16(1).I16(-5).Str(u"walk");
    for (int d = 1; d <= 8; ++d) r.I16(100 + d);
    r.I16(2).I16(77).Str(u"idle");
    for (int d = 1; d <= 8; ++d) r.I16(200 + d);
    r.Str(u"walk");
    for (int d = 1; d <= 8; ++d) r.I16(300 + d);
    return r;
}

}  // namespace

TEST(Character_File, Reads_Counts_Before_Values_And_Eight_Ids_After_Each_Name) {
    const Character_File f = Parse_Character_File(Two_Types().bytes, "t.ple");
    EXPECT_EQ(f.Animation_File_Name, u"data\\a.ani");
    ASSERT_EQ(f.Sprite_Type_Count, 2);
    EXPECT_EQ(f.Sprite_Types[0].action_count, 1);
    EXPECT_EQ(f.Sprite_Types[0].type_value, -5);
    EXPECT_EQ(f.Sprite_Types[1].action_count, 2);
    EXPECT_EQ(f.Sprite_Types[1].type_value, 77);
    const Action& walk = f.Sprite_Types[1].actions[1];
    EXPECT_EQ(walk.name, u"walk");   // byte count 8: four characters
    EXPECT_EQ(walk.sequence_ids[0], 0);
    for (int d = 1; d <= 8; ++d) EXPECT_EQ(walk.sequence_ids[size_t(d)], 300 + d);
    EXPECT_EQ(f.Sprite_Types[1].actions[0].sequence_ids[8], 208);

    EXPECT_EQ(Write_Character_File(f), Two_Types().bytes);
}

TEST(Character_File, Every_Truncation_And_Empty_Count_Is_A_Clear_Error) {
    const std::string bytes = Two_Types().bytes;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        try {
            Parse_Character_File(bytes.substr(0, cut), "data/testple.ple");
            ADD_FAILURE() << "no error for a file cut at byte " << cut;
        } catch (const Data_Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("data/testple.ple: file ends at byte " + std::to_string(cut), 0), 0u)
                << e.what();
        }
    }
    struct Case {
        std::string bytes;
        const char* complaint;
    };
    const Case cases[] = {
        {Raw().Str(u"a").I16(0).bytes, "the sprite type count is 0"},
        {Raw().Str(u"a").I16(-1).bytes, "the sprite type count is -1"},
        {Raw().Str(u"a").I16(1).I16(0).I16(9).bytes, "the action count of sprite type 0 is 0"},
    };
    for (const Case& c : cases) {
        try {
            Parse_Character_File(c.bytes, "p");
            ADD_FAILURE() << c.complaint;
        } catch (const Data_Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.complaint), std::string::npos) << e.what();
        }
    }
}

TEST(Character_File, Find_Action_Takes_The_First_Exact_Name_Or_Index_0) {
    Sprite_Type type;
    for (const char16_t* name : {u"idle", u"walk", u"Walk", u"walk"}) type.actions.push_back(Action{name, {}});
    const std::pair<std::u16string, int16_t> cases[] = {
        {u"walk", 1}, {u"Walk", 2}, {u"WALK", 0}, {u"idle", 0}, {u"", 0}, {u"walk ", 0},
    };
    for (const auto& [name, index] : cases) EXPECT_EQ(Find_Action(name, type), index) << To_Utf8(name);
    EXPECT_EQ(Find_Action(u"walk", Sprite_Type{}), 0);
}

TEST_F(Headless_Test, Find_Look_Sequence_Never_Leaves_The_Tables) {
    Chars.Characters = Parse_Character_File(Two_Types().bytes, "t.ple");
    Animations.Sequences = {Sequence{301, 0, 1, {Frame{}}}, Sequence{101, 0, 1, {Frame{}}},
                            Sequence{303, 0, 1, {Frame{}}}};
    struct Case {
        int16_t sprite_type, direction;
        int expected;   // index into Sequences, -1 for none
    };
    const Case cases[] = {
        {1, 1, 0},  {1, 3, 2}, {0, 1, 1},   {0, 2, 0},  {1, 0, 0},   // unmatched ids fall back to index 0
        {2, 1, -1}, {-1, 1, -1}, {1, 9, -1}, {1, -1, -1},
    };
    for (const Case& c : cases) {
        Player_Record r;
        r.sprite_type = c.sprite_type;
        r.direction = c.direction;
        const Sequence* s = Find_Look_Sequence(r);
        const int got = s ? int(s - Animations.Sequences.data()) : -1;
        EXPECT_EQ(got, c.expected) << "type " << c.sprite_type << ", direction " << c.direction;
    }
    Chars.Characters.Sprite_Types[1].actions.clear();
    Player_Record r;
    r.sprite_type = 1;
    EXPECT_EQ(Find_Look_Sequence(r), nullptr);
}

class Character_Loading : public Headless_Test {
protected:
    Temp_Folder folder;
    void SetUp() override {
        Headless_Test::SetUp();
        Platform.program_folder = folder.path.string();
    }
};

TEST_F(Character_Loading, Reads_The_File_Then_Its_Animation_File_Or_Ends_On_The_Error_Screen) {
    Raw ani;
    ani.I16(1).Str(u"images\\sheet.bmp").I16(1).I16(1).I16(1).I16(101).I16(1);
    ani.I16(0).I16(0).I16(2).I16(2).I16(0).I16(0).I16(50);
    Write_File(folder / "data/a.ani", ani.bytes);
    Write_Bmp(folder / "images/sheet.bmp", 4, 2, [](int, int) { return 0x0000FFu; });
    Write_File(folder / "chars/testple.ple", Two_Types().bytes);
    Load_Character_File(From_Utf8(folder / "chars\\testple.ple"));
    EXPECT_EQ(Chars.Characters.Sprite_Types.size(), 2u);
    ASSERT_EQ(Animations.Sheets.size(), 1u);
    EXPECT_EQ(Animations.Sheets[0].surface.width, 4);
    EXPECT_EQ(Animations.Sequences[0].id, 101);

    const std::u16string missing = From_Utf8(folder / "data\\none.ple");
    EXPECT_NE(Raised_Error([&] { Load_Character_File(missing); }).find(u"找不到檔案 : " + missing),
              std::u16string::npos);
    Write_File(folder / "data/cut.ple", Two_Types().bytes.substr(0, 30));
    const std::u16string log = Raised_Error([&] { Load_Character_File(From_Utf8(folder / "data/cut.ple")); });
    EXPECT_NE(log.find(u"其它錯誤 : "), std::u16string::npos) << To_Utf8(log);
    EXPECT_NE(log.find(u"cut.ple: file ends at byte 30, inside action 0 of sprite type 0"), std::u16string::npos)
        << To_Utf8(log);
    Write_File(folder / "data/t.ple", Two_Types(u"data\\gone.ani").bytes);
    EXPECT_NE(Raised_Error([&] { Load_Character_File(From_Utf8(folder / "data/t.ple")); })
                  .find(u"找不到檔案 : data\\gone.ani"),
              std::u16string::npos);
}
