// character_file.h -- the character file, and the looks of player records it gives: which
// animation sequence a record shows, and the frame that places its labels.
#pragma once
#include <cstdint>
#include <string>

#include "characters/animation.h"
#include "characters/player.h"

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
// allow it, or the sequence has no frames (damaged data or a record the server filled oddly):
// draw nothing then.
const Sequence* Find_Look_Sequence(const Player_Record& record);
// The frame whose size places a record's labels (chat line, hovered name): its frame_index in
// the sequence whose id is its direction number, or that sequence's first frame when it has no
// such frame. Null when there is no sequence with frames to take it from.
const Frame* Label_Frame(const Player_Record& record);
