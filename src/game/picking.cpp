// picking.cpp -- the map cell under the mouse, and the walk a click asks for.
#include "game/picking.h"

#include <algorithm>

#include "characters/path.h"
#include "display/display.h"
#include "game/chat.h"
#include "net/net.h"
#include "scene/scene.h"
#include "ui/input.h"

Picking_State Picking;

void Reset_Picking() { Picking = Picking_State{}; }

bool Point_In_Tile(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y) {
    // Exact integers: the four edges of the diamond, points on an edge outside.
    const int32_t u = int32_t(x) - tile_x;
    const int32_t v = int32_t(y) - tile_y;
    return u - 2 * v < 20 && u - 2 * v > -20 && u + 2 * v > 20 && u + 2 * v < 60;
}

bool Pick_Cell(int16_t x, int16_t y) {
    const int32_t cols = std::max<int32_t>(0, Scene.Visible_Cols);
    const int32_t rows = std::max<int32_t>(0, Scene.Visible_Rows);
    if (size_t(cols) * size_t(rows) > Scene.Visible_Cells.size()) return false;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < cols; ++c) {
            const Visible_Cell& cell = Scene.Visible_Cells[size_t(r) * size_t(cols) + size_t(c)];
            if (Point_In_Tile(x, y, cell.screen_x, cell.screen_y)) {
                Picking.Picked_X = cell.cell_x;
                Picking.Picked_Y = cell.cell_y;
                return true;
            }
        }
    }
    return false;
}

void Check_Click() {
    if (!Input.Clicked) return;
    for (size_t j = 0; j < Picking.Chat_Box.size(); ++j) {
        const Rect& box = Picking.Chat_Box[j];
        if (Point_In_Rect(Input.Mouse_X, Input.Mouse_Y, int16_t(box.left), int16_t(box.top), int16_t(box.right),
                          int16_t(box.bottom)) &&
            j == 0)
            Chat.Chat_Active = 1;
    }
    Player_Record& own = Chars.Own_Player;
    if (Net.Offline_Mode) Find_Path_In_View(own, Picking.Picked_X, Picking.Picked_Y);
    Send_Move(own.cell_x, own.cell_y, Picking.Picked_X, Picking.Picked_Y);
}

void Find_Path_In_View(Player_Record& record, int16_t target_x, int16_t target_y) {
    int16_t box_x = Scene.View_X, box_y = Scene.View_Y, box_w = VIEW_CELLS, box_h = VIEW_CELLS;
    Find_Path(record, record.cell_x, record.cell_y, target_x, target_y, box_x, box_y, box_w, box_h);
}
