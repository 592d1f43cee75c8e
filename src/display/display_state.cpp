// display_state.cpp -- the display module's state.
#include "display/display.h"

Display_State Display;

void Reset_Display() { Display = Display_State{}; }
