// input_state.cpp -- the input module's state.
#include "ui/input.h"

Input_State Input;

void Reset_Input() { Input = Input_State{}; }
