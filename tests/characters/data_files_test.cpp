// data_files_test.cpp -- the animation and character files: layout, damaged files, loading, look-ups.
#include <gtest/gtest.h>

#include "errors/program_folder.h"

using namespace world_test;

namespace {

// Sheets "s1.bmp" (id 4) and "s2" (id 9); sequence 100 on sheet 9 with two frames, 101 on sheet 4.
Raw Two_Sequences() {
    Raw r;
    r.I16(2).Str(u"s1.bmp").I16(4).Str(u"s2").I16(9).I16(2);
    // sheet_id, id, frame_count, then per frame: offset_x, offset_y, height, width, source_x, source_y, duration
    return r.I16({9, 100, 2, -5, -40, 30, 20, 1, 2, 50, 6, 7, 8, 9, 10, 11, 12, 4, 101, 1, 0, 0, 1, 1, 0, 0, -1});
}

// Two sprite types: the first with one action, the second with two.
Raw Two_Types(const std::u16string& animation_file = u"data\\a.ani") {
    Raw r = Raw().Str(animation_file).I16(2).I16(1).I16(-5).Str(u"walk");
    const auto ids = [&](int first) -> Raw& {
        for (int d = 1; d <= 8; ++d) r.I16(first + d);
        return r;
    };
    ids(100).I16(2).I16(77).Str(u"idle");
    ids(200).Str(u"walk");
    return ids(300);
}

void Parse_Ani(const std::string& bytes) { Parse_Animation_File(bytes, "f"); }
void Parse_Ple(const std::string& bytes) { Parse_Character_File(bytes, "f"); }

}   // namespace

TEST(Data_Files, Read_Each_Field_From_Its_Place_And_Write_The_Same_Bytes) {
    const Animation_Data a = Parse_Animation_File(Two_Sequences().bytes, "t.ani");
    ASSERT_EQ(std::tuple(a.Sheets.size(), a.Sequences.size(), a.Sequences.at(1).frames.size()), std::tuple(2u, 2u, 1u));
    EXPECT_EQ(std::tuple(a.sheet_count, a.sequence_count, a.Sheets[0].file_name, a.Sheets[1].id),
              std::tuple(2, 2, u"s1.bmp", 9));
    // Frame in record order: duration, source_x, source_y, width, height, offset_x, offset_y
    EXPECT_EQ(a.Sequences[0], (Sequence{100, 9, 2, {{50, 1, 2, 20, 30, -5, -40}, {12, 10, 11, 9, 8, 6, 7}}}));
    EXPECT_EQ(Write_Animation_File(a), Two_Sequences().bytes);

    // Character file: counts before values, eight sequence ids after each action's name.
    const Character_File f = Parse_Character_File(Two_Types().bytes, "t.ple");
    ASSERT_EQ(std::tuple(f.Sprite_Types.size(), f.Sprite_Types.at(1).actions.size()), std::tuple(2u, 2u));
    const Sprite_Type &t0 = f.Sprite_Types[0], &t1 = f.Sprite_Types[1];
    EXPECT_EQ(std::tuple(f.Animation_File_Name, f.Sprite_Type_Count, t0.action_count, t1.action_count, t1.type_value),
              std::tuple(u"data\\a.ani", 2, 1, 2, 77));
    EXPECT_EQ(t1.actions[1], (Action{u"walk", {0, 301, 302, 303, 304, 305, 306, 307, 308}}));
    EXPECT_EQ(Write_Character_File(f), Two_Types().bytes);
}

TEST(Data_Files, Damaged_Animation_And_Character_Files_Are_Refused_Saying_What) {
    Expect_Every_Cut_Refused(Two_Sequences().bytes, Parse_Ani);
    Expect_Every_Cut_Refused(Two_Types().bytes, Parse_Ple);
    const Raw one_sheet = Raw().I16(1).Str(u"s").I16(1);
    const struct {
        void (*parse)(const std::string&);
        std::string bytes, complaint;
    } cases[] = {
        {Parse_Ani, Raw().I16(0).I16(1).bytes, "the sheet count is 0"},
        {Parse_Ani, Raw(one_sheet).I16(-2).bytes, "the sequence count is -2"},
        {Parse_Ani, Raw(one_sheet).I16(1).I16(1).I16(1).I16(0).bytes, "the frame count of sequence 0 is 0"},
        // A frame count far beyond the file: refused before anything is sized by it.
        {Parse_Ani, Raw(one_sheet).I16(1).I16(1).I16(1).I16(32767).bytes, "inside frame 0 of sequence 0"},
        {Parse_Ple, Raw().Str(u"a").I16(0).bytes, "the sprite type count is 0"},
        {Parse_Ple, Raw().Str(u"a").I16(1).I16(0).I16(9).bytes, "the action count of sprite type 0 is 0"},
    };
    for (const auto& c : cases) {
        const std::string got = Data_Error_Of([&] { c.parse(c.bytes); });
        EXPECT_NE(got.find(c.complaint), std::string::npos) << c.complaint << " / " << got;
    }
}

TEST_F(Headless_Test, Look_Ups_Take_The_First_Match_Or_Index_0_And_Never_Leave_The_Tables) {
    EXPECT_EQ(std::tuple(Find_Sequence(5), Find_Sheet(5), Find_Action(u"walk", Sprite_Type{})), std::tuple(0, 0, 0));
    const auto one_frame = [](int16_t id) { return Sequence{id, 0, 1, {Frame{}}}; };
    for (int16_t id : {5, 8, 8, 0}) Animations.Sequences.push_back(one_frame(id));
    for (int16_t id : {3, -2, 3}) Animations.Sheets.push_back(Sheet{u"s", id, {}});
    const Sprite_Type type{4, 0, {{u"idle", {}}, {u"walk", {}}, {u"Walk", {}}, {u"walk", {}}}};
    for (auto [id, index] : {std::pair{5, 0}, {8, 1}, {0, 3}, {9, 0}}) EXPECT_EQ(Find_Sequence(int16_t(id)), index);
    for (auto [id, index] : {std::pair{3, 0}, {-2, 1}, {7, 0}}) EXPECT_EQ(Find_Sheet(int16_t(id)), index);
    const std::pair<std::u16string, int16_t> actions[] = {{u"walk", 1}, {u"Walk", 2}, {u"WALK", 0}, {u"walk ", 0}};
    for (const auto& [name, index] : actions) EXPECT_EQ(Find_Action(name, type), index) << To_Utf8(name);

    // The sequence a record shows: its sprite type's "walk" action, the entry of its direction.
    Chars.Characters = Parse_Character_File(Two_Types().bytes, "t.ple");
    Animations.Sequences = {one_frame(301), one_frame(101), one_frame(303)};
    Player_Record r;
    // sprite type, direction, index into Sequences (-1 for none); unmatched ids fall back to index 0
    for (auto [sprite_type, direction, expected] : {std::tuple{1, 1, 0},
                                                    {1, 3, 2},
                                                    {0, 1, 1},
                                                    {0, 2, 0},
                                                    {1, 0, 0},
                                                    {2, 1, -1},
                                                    {-1, 1, -1},
                                                    {1, 9, -1},
                                                    {1, -1, -1}}) {
        r.sprite_type = int16_t(sprite_type), r.direction = int16_t(direction);
        const Sequence* s = Find_Look_Sequence(r);
        EXPECT_EQ(s ? int(s - Animations.Sequences.data()) : -1, expected) << sprite_type << ", " << direction;
    }
    Chars.Characters.Sprite_Types[1].actions.clear();
    r.sprite_type = 1, r.direction = 0;
    EXPECT_EQ(Find_Look_Sequence(r), nullptr);
}

using Data_Loading = Program_Folder_Test;

TEST_F(Data_Loading, Loading_Reads_The_Files_Or_Ends_On_The_Error_Screen) {
    Write_File(temp / "data/a.ani", Two_Sequences().bytes);
    Write_Bmp(temp / "s1.bmp", 2, 2, 0xFFFFFF);
    Write_Bmp(temp / "s2", 3, 1, 0xFFFFFF);
    Write_File(temp / "chars/t.ple", Two_Types().bytes);
    Load_Character_File(From_Utf8(temp / "chars\\t.ple"));
    ASSERT_EQ(std::tuple(Chars.Characters.Sprite_Types.size(), Animations.Sheets.size()), std::tuple(2u, 2u));
    EXPECT_EQ(std::tuple(Animations.Sheets[1].surface.width, Animations.Sequences.size()), std::tuple(3, 2u));

    // Which names are refused (outside the folder, with ":") is the pictures' rule, tested with them.
    const std::u16string missing = From_Utf8(temp / "data\\none.ple");
    Write_File(temp / "data/bad.ani", Raw().I16(1).Str(u"s1.bmp").I16(1).I16(0).bytes);
    Write_File(temp / "data/cut.ple", Two_Types().bytes.substr(0, 30));
    Write_File(temp / "data/gone.ple", Two_Types(u"data\\gone.ani").bytes);
    const std::pair<std::function<void()>, std::u16string> cases[] = {
        {[] { Load_Animation_File(u"data\\bad.ani"); }, u"其它錯誤 : 數量錯誤 : data\\bad.ani"},
        {[&] { Load_Character_File(missing); }, u"找不到檔案 : " + missing},
        {[&] { Load_Character_File(From_Utf8(temp / "data/cut.ple")); },
         u"檔案不完整 : " + From_Utf8(temp / "data/cut.ple")},
        {[&] { Load_Character_File(From_Utf8(temp / "data/gone.ple")); }, u"找不到檔案 : data\\gone.ani"},
    };
    for (const auto& [load, logged] : cases) {
        const std::u16string log = Raised(load);
        EXPECT_NE(log.find(logged), std::u16string::npos) << To_Utf8(logged) << " / " << To_Utf8(log);
    }
}
