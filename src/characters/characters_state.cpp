// characters_state.cpp -- the player records, the character file and the animation tables.
#include "characters/animation.h"
#include "characters/player.h"

Characters_State Chars;
Animation_Data Animations;

void Reset_Characters() { Chars = Characters_State{}; }
void Reset_Animations() { Animations = Animation_Data{}; }
