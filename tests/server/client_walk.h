// client_walk.h -- the game client's side of the server's move tests, built apart from them
// (the client's module names and the server's would clash in one file).
#pragma once
#include <cstdint>
#include <string>

#include "map/map_file.h"

// The client's frame on `map` with its own character on (sx, sy): the scene, then the search a
// click on (tx, ty) makes; true when it walks.
bool Client_Walks(const Map_Model& map, int16_t sx, int16_t sy, int16_t tx, int16_t ty);

struct Clicked_Walk {
    bool clicked = false;      // the cell was in view and was clicked
    bool heard_back = false;   // a chat line sent after 600 more frames came back
    int16_t raised = -1;       // an error the client raised (20: the connection was lost)
    int16_t start_x = 0, start_y = 0, end_x = 0, end_y = 0;
};
Clicked_Walk Click_In_Game(uint16_t port, const std::u16string& name, const std::u16string& password, int16_t x,
                           int16_t y);
