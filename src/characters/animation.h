// animation.h -- animation sequences over sprite sheets: the file, the look-ups and the clock.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/surface.h"

struct Player_Record;

struct Frame {
    int16_t duration = 0;   // ms before the next frame, before frame_speed
    int16_t source_x = 0, source_y = 0, width = 0, height = 0;
    int16_t offset_x = 0, offset_y = 0;
    bool operator==(const Frame&) const = default;
};

struct Sequence {
    int16_t id = 0, sheet_id = 0, frame_count = 0;
    std::vector<Frame> frames;
    bool operator==(const Sequence&) const = default;
};

struct Sheet {
    std::u16string file_name;
    int16_t id = 0;
    Surface surface;
};

struct Animation_Data {
    int16_t sequence_count = 0, sheet_count = 0;
    std::vector<Sequence> Sequences;
    std::vector<Sheet> Sheets;
};
extern Animation_Data Animations;
void Reset_Animations();

// Parses an animation file's bytes (surfaces empty). Throws Data_Error on a damaged file:
// too short, a count below 1, a sequence without frames.
Animation_Data Parse_Animation_File(const std::string& bytes, const std::string& file_name);
std::string Write_Animation_File(const Animation_Data& data);

// Reads the animation file (resolved against the program folder like a picture) and its sheets.
void Load_Animation_File(const std::u16string& name);
void Load_Sheet_Images();
int16_t Find_Sequence(int16_t id);   // first match; 0 when none
int16_t Find_Sheet(int16_t id);      // first match; 0 when none
void Start_Animation(Player_Record& record, float factor);
// Draws the record's frame of the sequence at (x, y) + the frame's offset, clipped to the
// screen, and advances the record's animation clock. A frame_index outside the sequence is reset.
void Draw_Animation_Frame(const Sequence& sequence, Player_Record& record, int16_t x, int16_t y);
