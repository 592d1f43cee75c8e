// map_state.cpp -- the loaded map and the scene's published view.
#include "map/map.h"
#include "map/scene.h"

Map_Model Map;
Scene_State Scene;

void Reset_Map() { Map = Map_Model{}; }
void Reset_Scene() { Scene = Scene_State{}; }
