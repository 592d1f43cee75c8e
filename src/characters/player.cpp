// player.cpp -- the character file, the direction tables, the blocked-cell test and stepping.
#include "characters/player.h"

#include "characters/animation.h"
#include "errors/errors.h"
#include "map/map.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/platform.h"

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
    Parse_Or_Raise(path, [&] { Chars.Characters = Parse_Character_File(bytes, host); },
                   [] { Chars.Characters = Character_File{}; });
    Load_Animation_File(Chars.Characters.Animation_File_Name);
}

int16_t Find_Action(const std::u16string& name, const Sprite_Type& type) {
    for (size_t i = 0; i < type.actions.size(); ++i)
        if (type.actions[i].name == name) return int16_t(i);
    return 0;
}

const Sequence* Find_Look_Sequence(const Player_Record& record) {
    const auto& types = Chars.Characters.Sprite_Types;
    if (record.sprite_type < 0 || size_t(record.sprite_type) >= types.size()) return nullptr;
    if (record.direction < 0 || record.direction > 8) return nullptr;
    const Sprite_Type& type = types[size_t(record.sprite_type)];
    if (type.actions.empty() || Animations.Sequences.empty()) return nullptr;
    const Action& action = type.actions[size_t(Find_Action(u"walk", type))];
    return &Animations.Sequences[size_t(Find_Sequence(action.sequence_ids[size_t(record.direction)]))];
}

void Init_Direction_Steps() {
    Chars.Direction_Steps = {{{0, 0}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}}};
}

void Init_Pixel_Steps() {
    Chars.Pixel_Steps = {{{0, 0}, {-6, 3}, {-13, 0}, {-6, -3}, {0, -6}, {6, -3}, {13, 0}, {6, 3}, {0, 6}}};
}

bool Is_Blocked(int16_t dx, int16_t dy, int16_t x, int16_t y) {
    int32_t cx = int32_t(x) + dx, cy = int32_t(y) + dy;
    if (cx < 0 || cy < 0 || cx > Map.Map_Width - 1 || cy > Map.Map_Height - 1) return true;
    if (cx >= Map.Ground_Grid.width || cy >= Map.Ground_Grid.height) return true;   // model not filled
    return Map.Ground_Grid(cx, cy).blocked != 0;
}

void Step_Player(Player_Record& record) {
    const int16_t d = record.step_direction;
    if (d < 0 || d > 8) {   // no such direction: no step
        record.step_direction = 0;
        return;
    }
    const int16_t x = record.cell_x, y = record.cell_y;
    const Step cell = Chars.Direction_Steps[size_t(d)];
    const Step pixel = Chars.Pixel_Steps[size_t(d)];
    if (Is_Blocked(cell.x, cell.y, x, y)) {
        record.step_direction = 0;
        return;
    }
    const int64_t step_time = record.step_time;
    if (Get_Tick_Count() >= step_time - 200) {
        record.pixel_offset_x = pixel.x;
        record.pixel_offset_y = pixel.y;
    }
    if (Get_Tick_Count() >= step_time - 100) {
        record.pixel_offset_x = int16_t(2 * pixel.x);
        record.pixel_offset_y = int16_t(2 * pixel.y);
    }
    if (Get_Tick_Count() >= step_time) {
        record.pixel_offset_x = 0;
        record.pixel_offset_y = 0;
        record.cell_x = int16_t(x + cell.x);
        record.cell_y = int16_t(y + cell.y);
        record.step_direction = 0;
    }
}
