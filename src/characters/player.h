// player.h -- player records, the character file, directions and stepping from cell to cell.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Sequence;

struct Player_Record {
    std::u16string name;
    int16_t id = 0;
    int16_t step_index = 0;
    int16_t path_length = 0;
    std::vector<int16_t> path_steps;       // directions 1..8, from index 0
    std::vector<int16_t> distance_grid;    // (Map_Width + 1) x (Map_Height + 1), column-major: x * (H + 1) + y
    bool walking = false;
    std::u16string chat_text;
    int16_t chat_frames = 0;
    int16_t target_x = 0, target_y = 0;
    bool new_target = false;
    int16_t frame_index = 0;
    int32_t next_frame_time = 0;
    bool animating = false;
    float frame_speed = 0.0f;
    int16_t sprite_type = 0;
    int16_t direction = 0;                 // 0..8
    int16_t step_direction = 0;            // 0..8, 0 = no step
    int32_t step_time = 0;
    int16_t cell_x = 0, cell_y = 0;
    int16_t pixel_offset_x = 0, pixel_offset_y = 0;
    int16_t screen_x = 0, screen_y = 0;
};

struct Action {
    std::u16string name;
    std::array<int16_t, 9> sequence_ids{};   // entry d for direction d; entry 0 stays 0
    bool operator==(const Action&) const = default;
};

struct Sprite_Type {
    int16_t action_count = 0;
    int16_t type_value = 0;
    std::vector<Action> actions;
    bool operator==(const Sprite_Type&) const = default;
};

struct Character_File {
    std::u16string Animation_File_Name;
    int16_t Sprite_Type_Count = 0;
    std::vector<Sprite_Type> Sprite_Types;
    bool operator==(const Character_File&) const = default;
};

struct Step {
    int16_t x = 0, y = 0;
};

struct Characters_State {
    Player_Record Own_Player;
    std::vector<Player_Record> Players;     // in order of arrival
    Character_File Characters;              // the loaded character file
    std::array<Step, 9> Direction_Steps{};  // cell step of each direction
    std::array<Step, 9> Pixel_Steps{};      // drawing offset of one third of a step
};
extern Characters_State Chars;
void Reset_Characters();

inline int16_t Player_Count() { return int16_t(Chars.Players.size()); }

// Throws Data_Error on a damaged file: too short, a count below 1.
Character_File Parse_Character_File(const std::string& bytes, const std::string& file_name);
std::string Write_Character_File(const Character_File& file);

// Reads the character file (against the current folder), then its animation file.
// Missing: error 200 with the name; damaged: error -32768.
void Load_Character_File(const std::u16string& path);
// Index of the first action named exactly `name`; 0 when none (also for a type without actions,
// so check `actions` before indexing with the result).
int16_t Find_Action(const std::u16string& name, const Sprite_Type& type);
// The sequence a record shows now: its sprite type's "walk" action, the entry of its direction,
// looked up with Find_Sequence. Null when the sprite type, the direction or the tables do not
// allow it (damaged data or a record the server filled oddly): draw nothing then.
const Sequence* Find_Look_Sequence(const Player_Record& record);
void Init_Direction_Steps();
void Init_Pixel_Steps();
// True when cell (x + dx, y + dy) is off the map or blocked.
bool Is_Blocked(int16_t dx, int16_t dy, int16_t x, int16_t y);
// Advances the record's step in progress by the clock; called every frame for every record. A
// blocked or off-map next cell, or a step_direction outside 0..8, ends the step where it stands.
void Step_Player(Player_Record& record);

// Path finding inside the box (box_* are cut to the map and written back): flood fill from the
// target with axis moves, then a descent from the start with eight directions. Fills path_steps,
// path_length (0 when there is no path, or one longer than 64 steps) and sets walking and
// step_index when the start was reached. A blocked target or one off the map gives no path and
// touches nothing else.
void Find_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
               int16_t& box_x, int16_t& box_y, int16_t& box_width, int16_t& box_height);
void Descend_Path(Player_Record& record, int16_t start_x, int16_t start_y, int16_t target_x, int16_t target_y,
                  int16_t box_x, int16_t box_y, int16_t box_width, int16_t box_height);
// The smallest nonzero value, 0 when all are 0.
int16_t Smallest_Nonzero(const int16_t* values, int count);

constexpr int16_t MAX_PATH_STEPS = 64;
