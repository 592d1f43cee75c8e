// timer_state.cpp -- the frame timer's state.
#include "ui/timer.h"

Timer_State Timer;

void Reset_Timer() { Timer = Timer_State{}; }
