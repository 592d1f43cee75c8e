// character_file.cpp -- the character file and the looks it gives to player records.
#include "characters/character_file.h"

#include "map/map.h"
#include "platform/files.h"

Character_File Parse_Character_File(const std::string& bytes, const std::string& file_name) {
    Byte_Reader r{bytes, file_name};
    Character_File file;
    file.Animation_File_Name = r.Counted_String("the animation file name");
    file.Sprite_Type_Count = r.Count("the sprite type count");
    file.Sprite_Types.resize(size_t(file.Sprite_Type_Count));
    for (int16_t t = 0; t < file.Sprite_Type_Count; ++t) {
        Sprite_Type& type = file.Sprite_Types[size_t(t)];
        std::string what = "sprite type " + std::to_string(t);
        type.action_count = r.Count("the action count of " + what);
        type.type_value = r.Int16(what.c_str());
        type.actions.resize(size_t(type.action_count));
        for (int16_t a = 0; a < type.action_count; ++a) {
            std::string action = "action " + std::to_string(a) + " of " + what;
            Action& act = type.actions[size_t(a)];
            act.name = r.Counted_String(action.c_str());
            for (int d = 1; d <= 8; ++d) act.sequence_ids[size_t(d)] = r.Int16(action.c_str());
        }
    }
    return file;
}

std::string Write_Character_File(const Character_File& file) {
    if (file.Sprite_Types.size() > 32767) throw Data_Error("character data: more than 32767 sprite types");
    Byte_Writer out;
    out.Counted_String(file.Animation_File_Name);
    out.Int16(int16_t(file.Sprite_Types.size()));
    for (const Sprite_Type& type : file.Sprite_Types) {
        if (type.actions.size() > 32767) throw Data_Error("character data: more than 32767 actions in a type");
        out.Int16(int16_t(type.actions.size()));
        out.Int16(type.type_value);
        for (const Action& act : type.actions) {
            out.Counted_String(act.name);
            for (int d = 1; d <= 8; ++d) out.Int16(act.sequence_ids[size_t(d)]);
        }
    }
    return std::move(out.bytes);
}

void Load_Character_File(const std::u16string& path) {
    const std::string host = Host_Path(path);
    const std::string bytes = Read_Data_File(path, host);
    Parse_Or_Raise(
        path, [&] { Chars.Characters = Parse_Character_File(bytes, host); },
        [] { Chars.Characters = Character_File{}; });
    Load_Animation_File(Chars.Characters.Animation_File_Name);
}

int16_t Find_Action(const std::u16string& name, const Sprite_Type& type) {
    for (size_t i = 0; i < type.actions.size(); ++i)
        if (type.actions[i].name == name) return int16_t(i);
    return 0;
}

const Sequence* Find_Look_Sequence(const Player_Record& record) {
    static const std::u16string WALK = u"walk";
    const auto& types = Chars.Characters.Sprite_Types;
    if (record.sprite_type < 0 || size_t(record.sprite_type) >= types.size()) return nullptr;
    const Sprite_Type& type = types[size_t(record.sprite_type)];
    if (type.actions.empty() || record.direction < 0 || record.direction > 8) return nullptr;
    const Action& action = type.actions[size_t(Find_Action(WALK, type))];
    const int16_t s = Find_Sequence(action.sequence_ids[size_t(record.direction)]);
    if (s < 0 || size_t(s) >= Animations.Sequences.size()) return nullptr;
    const Sequence& sequence = Animations.Sequences[size_t(s)];
    return sequence.frames.empty() ? nullptr : &sequence;
}

const Frame* Label_Frame(const Player_Record& record) {
    const int16_t s = Find_Sequence(record.direction);
    if (s < 0 || size_t(s) >= Animations.Sequences.size()) return nullptr;
    const auto& frames = Animations.Sequences[size_t(s)].frames;
    if (frames.empty()) return nullptr;
    if (record.frame_index >= 0 && size_t(record.frame_index) < frames.size())
        return &frames[size_t(record.frame_index)];
    return &frames[0];
}
