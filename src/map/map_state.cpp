// map_state.cpp -- the loaded map.
#include "map/map.h"

Map_Model Map;

void Reset_Map() { Map = Map_Model{}; }
