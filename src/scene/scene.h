// scene.h -- the isometric scene: ground, objects with the characters among them, overlay; and
// the view it leaves behind for picking and for the dispatcher.
#pragma once
#include <cstdint>
#include <vector>

#include "map/path_search.h"   // VIEW_CELLS, the view box's size

struct Visible_Cell {
    int16_t screen_x = 0, screen_y = 0, cell_x = 0, cell_y = 0;
};

// The view box's cells that the middle pass visits, after it has been limited to the map.
struct View_Box {
    int32_t first_col = 0, first_row = 0, cols = 0, rows = 0;
    bool Contains(int32_t x, int32_t y) const {
        return x >= first_col && x < first_col + cols && y >= first_row && y < first_row + rows;
    }
};

struct Scene_State {
    // Published by Draw_Scene for the next frame.
    int16_t View_X = 0, View_Y = 0;   // first column and row of the view box
    int16_t Visible_Cols = 0, Visible_Rows = 0;
    std::vector<Visible_Cell> Visible_Cells;   // entry (c, r) at r * Visible_Cols + c

    // The players of the view box listed per cell, in table order, so the middle pass finds a
    // cell's characters without scanning the whole table for each cell. Kept between frames so
    // that the storage is reused.
    View_Box listed;                     // the box the lists were made for
    std::vector<int32_t> cell_start;     // per cell of the box: first entry in cell_players; one extra
    std::vector<int32_t> cell_players;   // indexes into Chars.Players, grouped by cell
    std::vector<uint8_t> drawn;          // per entry of Chars.Players: stands inside the box
    bool own_drawn = false;
};
extern Scene_State Scene;
void Reset_Scene();

// The isometric projection: where cell (x, y)'s 40 x 20 tile lies from the origin of cell (0, 0),
// in 32 bits (the whole of a large map does not fit 16).
inline int32_t Tile_Left(int32_t x, int32_t y) { return 20 * (x - y); }
inline int32_t Tile_Top(int32_t x, int32_t y) { return 10 * (x + y); }
// The same around an origin (ox, oy), in the scene's 16-bit arithmetic; Tile_Y is 20 higher.
int16_t Tile_X(int16_t ox, int16_t x, int16_t y);
int16_t Tile_Y(int16_t oy, int16_t x, int16_t y);
void Draw_Scene(int16_t anchor_x, int16_t anchor_y, int16_t view_cols, int16_t view_rows);
// The characters standing on cell (x, y) of the box the current scene listed, the own one
// first, with their chat lines; draws nothing of the others for a cell outside that box.
void Draw_Characters_On_Cell(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y);
// Was the character drawn by the last Draw_Scene? index -1 is the own character, else the
// entry of Chars.Players. Its screen position is this frame's only when it was.
bool Drawn_In_Last_Scene(int32_t index);
// Is the cell inside the last view box, counted inclusively at both ends (VIEW_CELLS + 1 cells)?
bool In_View_Box(int32_t x, int32_t y);
