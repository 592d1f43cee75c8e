// errors_state.cpp -- the errors module's state.
#include "errors/errors.h"

Errors_State Errors;

void Reset_Errors() { Errors = Errors_State{}; }
