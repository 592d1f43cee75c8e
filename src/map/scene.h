// scene.h -- the isometric scene: ground, objects with the characters among them, overlay.
#pragma once
#include <cstdint>
#include <vector>

struct Visible_Cell {
    int16_t screen_x = 0, screen_y = 0, cell_x = 0, cell_y = 0;
};

struct Scene_State {
    int16_t View_X = 0, View_Y = 0;
    int16_t Visible_Cols = 0, Visible_Rows = 0;
    std::vector<Visible_Cell> Visible_Cells;   // entry (c, r) at r * Visible_Cols + c
};
extern Scene_State Scene;
void Reset_Scene();

int16_t Tile_X(int16_t ox, int16_t x, int16_t y);
int16_t Tile_Y(int16_t oy, int16_t x, int16_t y);
void Draw_Scene(int16_t anchor_x, int16_t anchor_y, int16_t view_cols, int16_t view_rows);
void Draw_Characters_On_Cell(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y);
// Was the character drawn by the last Draw_Scene? index -1 is the own character, else the
// entry of Chars.Players. Its screen position is this frame's only when it was.
bool Drawn_In_Last_Scene(int32_t index);
