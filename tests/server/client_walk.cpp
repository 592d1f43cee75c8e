// client_walk.cpp -- the game client's side of the server's move tests: a frame's scene and the
// search a click makes, with the client's own modules (kept apart from the server's names).
#include "fixture.h"

bool Client_Walks(const Map_Model& map, int16_t sx, int16_t sy, int16_t tx, int16_t ty) {
    Reset_All_Modules();
    Headless_Window window;
    Platform.window = &window;
    Init_Direction_Steps();
    Map = map;
    Chars.Own_Player.cell_x = sx;
    Chars.Own_Player.cell_y = sy;
    Draw_Scene(320, 190, VIEW_CELLS, VIEW_CELLS);
    Player_Record& own = Chars.Own_Player;
    Find_Path_In_View(own, tx, ty);
    const bool walks = own.walking && (own.path_length > 0 || (tx == sx && ty == sy));
    Reset_All_Modules();
    return walks;
}
