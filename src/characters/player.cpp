// player.cpp -- the table of other players, the direction tables, the blocked-cell test and stepping.
#include "characters/player.h"

#include "map/map.h"
#include "platform/platform.h"

int16_t Find_Player(int16_t id) {
    for (size_t i = 0; i < Chars.Players.size(); ++i)
        if (Chars.Players[i].id == id) return int16_t(i);
    return 0;
}

void Add_Player(int16_t id, const std::u16string& name) {
    if (Chars.Players.size() >= size_t(MAX_PLAYERS)) return;
    Player_Record record;
    record.id = id;
    record.name = name;
    Chars.Players.push_back(std::move(record));
}

void Remove_Player(int16_t position) {
    if (position < 0 || size_t(position) >= Chars.Players.size()) return;
    Chars.Players.erase(Chars.Players.begin() + position);
}

void Init_Direction_Steps() {
    Chars.Direction_Steps = {{{0, 0}, {0, -1}, {1, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}}};
}

void Init_Pixel_Steps() {
    Chars.Pixel_Steps = {{{0, 0}, {-6, 3}, {-13, 0}, {-6, -3}, {0, -6}, {6, -3}, {13, 0}, {6, 3}, {0, 6}}};
}

bool Is_Blocked(int16_t dx, int16_t dy, int16_t x, int16_t y) {
    int32_t cx = int32_t(x) + dx, cy = int32_t(y) + dy;
    if (cx < 0 || cy < 0 || cx > Map.Map_Width - 1 || cy > Map.Map_Height - 1) return true;
    if (cx >= Map.Ground_Grid.width || cy >= Map.Ground_Grid.height) return true;   // model not filled
    return Map.Ground_Grid(cx, cy).blocked != 0;
}

void Step_Player(Player_Record& record) {
    const int16_t d = record.step_direction;
    if (d < 0 || d > 8) {   // no such direction: no step
        record.step_direction = 0;
        return;
    }
    const int16_t x = record.cell_x, y = record.cell_y;
    const Step cell = Chars.Direction_Steps[size_t(d)];
    const Step pixel = Chars.Pixel_Steps[size_t(d)];
    if (Is_Blocked(cell.x, cell.y, x, y)) {
        record.step_direction = 0;
        return;
    }
    const int64_t step_time = record.step_time;
    if (Get_Tick_Count() >= step_time - 200) {
        record.pixel_offset_x = pixel.x;
        record.pixel_offset_y = pixel.y;
    }
    if (Get_Tick_Count() >= step_time - 100) {
        record.pixel_offset_x = int16_t(2 * pixel.x);
        record.pixel_offset_y = int16_t(2 * pixel.y);
    }
    if (Get_Tick_Count() >= step_time) {
        record.pixel_offset_x = 0;
        record.pixel_offset_y = 0;
        record.cell_x = int16_t(x + cell.x);
        record.cell_y = int16_t(y + cell.y);
        record.step_direction = 0;
    }
}
