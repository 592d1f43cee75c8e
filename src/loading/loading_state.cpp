// loading_state.cpp -- the loading screen's state.
#include "loading/loading.h"

Loading_State Loading;

void Reset_Loading() { Loading = Loading_State{}; }
