// player.h -- player records, the character file, directions and stepping from cell to cell.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Player_Record {
    std::u16string name;
    int16_t id = 0;
    int16_t step_index = 0;
    int16_t path_length = 0;
    std::vector<int16_t> path_steps;   // directions 1..8, from index 0
    // The last search's numbers (Distance_At reads them), kept for the cells around its box only:
    // column-major from (distance_x, distance_y), distance_rows a column; and its target cell.
    std::vector<int16_t> distance_grid;
    int32_t distance_x = 0, distance_y = 0, distance_cols = 0, distance_rows = 0;
    int16_t distance_target_x = -1, distance_target_y = -1;
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
    int16_t direction = 0;        // 0..8
    int16_t step_direction = 0;   // 0..8, 0 = no step
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
    std::vector<Player_Record> Players;      // in order of arrival
    Character_File Characters;               // the loaded character file
    std::array<Step, 9> Direction_Steps{};   // cell step of each direction
    std::array<Step, 9> Pixel_Steps{};       // drawing offset of one third of a step
};
extern Characters_State Chars;
void Reset_Characters();

inline int16_t Player_Count() { return int16_t(Chars.Players.size()); }

constexpr int16_t MAX_PLAYERS = 32767;   // the table of other players stops there
// Position of the first entry of Chars.Players with the id; 0 when none (as for entry 0).
int16_t Find_Player(int16_t id);
// Appends an entry; ignored when the table already holds MAX_PLAYERS.
void Add_Player(int16_t id, const std::u16string& name);
// Removes the entry at the position, keeping the order; ignored outside the table.
void Remove_Player(int16_t position);

void Init_Direction_Steps();
void Init_Pixel_Steps();
// True when cell (x + dx, y + dy) is off the map or blocked.
bool Is_Blocked(int16_t dx, int16_t dy, int16_t x, int16_t y);
// Advances the record's step in progress by the clock; called every frame for every record. A
// blocked or off-map next cell, or a step_direction outside 0..8, ends the step where it stands.
void Step_Player(Player_Record& record);
