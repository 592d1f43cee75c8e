// tool_sources.cpp -- the content generator's world code (all but its main), compiled into its tests.
#include "tools/isocontent/picture.cpp"
#include "tools/isocontent/world.cpp"
#include "tools/isocontent/world_models.cpp"
#include "tools/isocontent/world_render.cpp"
#include "tools/isocontent/world_sprites.cpp"
#include "tools/isocontent/world_tiles.cpp"
