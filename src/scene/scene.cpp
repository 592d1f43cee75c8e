// scene.cpp -- the isometric scene around the own character: ground, objects interleaved with the
// characters and their chat lines, then the overlay; and the view it leaves for picking.
#include "scene/scene.h"

#include <algorithm>
#include <limits>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/player.h"
#include "display/display.h"
#include "map/map.h"

namespace {

constexpr int16_t OWN_CHAT_FRAMES = 200;
constexpr int16_t OTHER_CHAT_FRAMES = 400;

// One axis of the view box around the own cell at `own`: it ends at own + half - 1 and is cut at 0.
void View_Span(int32_t own, int32_t half, int32_t size, int32_t& first, int32_t& count) {
    first = own <= half ? 0 : own + half - size;
    count = own <= half ? half + own : size;
}

using Box = View_Box;

int16_t Clamp16(int32_t v) {
    return int16_t(
        std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min() + 1, std::numeric_limits<int16_t>::max() - 1));
}

// Cut to the map (and to the grids actually held, should they disagree with its size).
Box Limit_To_Map(Box box) {
    int32_t width =
        std::min<int32_t>({Map.Map_Width, Map.Ground_Grid.width, Map.Object_Grid.width, Map.Overlay_Grid.width});
    int32_t height =
        std::min<int32_t>({Map.Map_Height, Map.Ground_Grid.height, Map.Object_Grid.height, Map.Overlay_Grid.height});
    if (box.first_col + box.cols > width) box.cols = width - box.first_col;
    if (box.first_row + box.rows > height) box.rows = height - box.first_row;
    if (box.cols < 0 || box.rows < 0 || box.first_col < 0 || box.first_row < 0) box.cols = box.rows = 0;
    return box;
}

const Surface* Map_Surface(int16_t image_id) {
    int16_t index = Find_Map_Image(image_id);
    if (index < 0 || size_t(index) >= Map.Map_Images.size()) return nullptr;
    return &Map.Map_Images[size_t(index)].surface;
}

// Clip-and-copy of a rectangle of the map picture with the id to the back buffer, black left out.
// Most cells of the view box lie off the screen: those only get the position the clip gives, (x,
// y) moved onto the screen's near edges, and neither their picture nor a copy is looked for.
void Copy_Clipped(int16_t image_id, Rect source, int16_t& x, int16_t& y) {
    const int64_t w = int64_t(source.right) - source.left, h = int64_t(source.bottom) - source.top;
    if (w <= 0 || h <= 0 || x >= SCREEN_WIDTH || y >= SCREEN_HEIGHT || x + w <= 0 || y + h <= 0) {
        x = std::max<int16_t>(x, 0);
        y = std::max<int16_t>(y, 0);
        return;
    }
    Clip_Source_Rect(source, x, y);
    if (const Surface* image = Map_Surface(image_id))
        BltFast(Display.Back_Buffer, x, y, *image, source, BLTFAST_SRCCOLORKEY_WAIT);
}

void Draw_Piece(const Piece_Cell& piece, int16_t x, int16_t y) {
    Rect source{piece.source_x, piece.source_y, int32_t(piece.source_x) + piece.width,
                int32_t(piece.source_y) + piece.height};
    Copy_Clipped(piece.image_id, source, x, y);
}

void Draw_Ground(int16_t gx, int16_t gy, Box box) {
    box = Limit_To_Map(box);
    Scene.Visible_Cols = int16_t(box.cols);
    Scene.Visible_Rows = int16_t(box.rows);
    Scene.Visible_Cells.resize(size_t(box.cols) * size_t(box.rows));   // keeps its capacity
    for (int32_t y = box.first_row; y < box.first_row + box.rows; ++y) {
        for (int32_t x = box.first_col; x < box.first_col + box.cols; ++x) {
            const Ground_Cell& g = Map.Ground_Grid(x, y);
            int16_t dx = int16_t(Tile_X(gx, int16_t(x), int16_t(y)) - 20);
            int16_t dy = int16_t(Tile_Y(gy, int16_t(x), int16_t(y)) + 20);
            Rect source{g.source_x, g.source_y, int32_t(g.source_x) + 40, int32_t(g.source_y) + 20};
            Copy_Clipped(g.image_id, source, dx, dy);
            Scene.Visible_Cells[size_t(y - box.first_row) * size_t(box.cols) + size_t(x - box.first_col)] =
                Visible_Cell{dx, dy, int16_t(x), int16_t(y)};
        }
    }
}

void Draw_Record(Player_Record& r, int16_t display_frames, int16_t tile_x, int16_t tile_y) {
    const int16_t sx = int16_t(tile_x - r.pixel_offset_x);
    const int16_t sy = int16_t(tile_y - r.pixel_offset_y);
    if (const Sequence* s = Find_Look_Sequence(r)) Draw_Animation_Frame(*s, r, sx, sy);
    r.screen_x = sx;
    r.screen_y = sy;

    if (r.chat_frames >= display_frames) {
        r.chat_frames = 0;
        r.chat_text.clear();
        return;
    }
    if (!r.chat_text.empty()) {
        if (const Frame* f = Label_Frame(r)) {
            const int32_t w = Round_Half_Even(Text_Width(r.chat_text));
            // 32-bit sums held inside 16 bits: a text wider than the screen only starts far left.
            const int32_t lx = int32_t(sx) - w / 2 + f->width / 2;
            const int32_t ly = int32_t(sy) - f->height;
            Draw_Outlined_Text(Clamp16(lx), Clamp16(ly), r.chat_text, Rgb(255, 255, 255), Rgb(255, 0, 0));
        }
    }
    ++r.chat_frames;
}

// Groups the players standing inside the box by cell, keeping table order within a cell.
void List_Players_By_Cell(const Box& box) {
    const size_t cells = size_t(box.cols) * size_t(box.rows);
    Scene.listed = box;
    Scene.cell_start.assign(cells + 1, 0);
    const auto& players = Chars.Players;
    Scene.own_drawn = box.Contains(Chars.Own_Player.cell_x, Chars.Own_Player.cell_y);
    Scene.drawn.assign(players.size(), 0);
    for (size_t k = 0; k < players.size(); ++k) {
        const Player_Record& p = players[k];
        if (!box.Contains(p.cell_x, p.cell_y)) continue;
        Scene.drawn[k] = 1;
        ++Scene.cell_start[size_t(p.cell_y - box.first_row) * size_t(box.cols) + size_t(p.cell_x - box.first_col) + 1];
    }
    for (size_t c = 0; c < cells; ++c) Scene.cell_start[c + 1] += Scene.cell_start[c];
    Scene.cell_players.resize(size_t(Scene.cell_start[cells]));
    // Each cell's start advances as the cell is filled; a shift by one cell restores the starts.
    for (size_t k = 0; k < players.size(); ++k) {
        const Player_Record& p = players[k];
        if (!box.Contains(p.cell_x, p.cell_y)) continue;
        size_t c = size_t(p.cell_y - box.first_row) * size_t(box.cols) + size_t(p.cell_x - box.first_col);
        Scene.cell_players[size_t(Scene.cell_start[c]++)] = int32_t(k);
    }
    for (size_t c = cells; c > 0; --c) Scene.cell_start[c] = Scene.cell_start[c - 1];
    Scene.cell_start[0] = 0;
}

void Draw_Objects_And_Characters(int16_t gx, int16_t gy, Box box) {
    box = Limit_To_Map(box);
    List_Players_By_Cell(box);
    for (int32_t y = box.first_row; y < box.first_row + box.rows; ++y) {
        for (int32_t x = box.first_col; x < box.first_col + box.cols; ++x) {
            const int16_t tile_x = int16_t(Tile_X(gx, int16_t(x), int16_t(y)) - 20);
            const int16_t tile_y = Tile_Y(gy, int16_t(x), int16_t(y));
            const Piece_Cell& o = Map.Object_Grid(x, y);
            if (o.present != 0)
                Draw_Piece(o, int16_t(tile_x + o.offset_x), int16_t(int16_t(tile_y + 20) + o.offset_y - 20));
            Draw_Characters_On_Cell(int16_t(x), int16_t(y), tile_x, tile_y);
        }
    }
}

void Draw_Overlay(int16_t gx, int16_t gy, Box box) {
    box = Limit_To_Map(box);
    for (int32_t y = box.first_row; y < box.first_row + box.rows; ++y) {
        for (int32_t x = box.first_col; x < box.first_col + box.cols; ++x) {
            const Piece_Cell& v = Map.Overlay_Grid(x, y);
            if (v.present == 0) continue;
            const int16_t tile_x = int16_t(Tile_X(gx, int16_t(x), int16_t(y)) - 20);
            const int16_t tile_y = Tile_Y(gy, int16_t(x), int16_t(y));
            Draw_Piece(v, int16_t(tile_x + v.offset_x), int16_t(int16_t(tile_y + 20) + v.offset_y - 20));
        }
    }
}

}   // namespace

Scene_State Scene;

void Reset_Scene() { Scene = Scene_State{}; }

int16_t Tile_X(int16_t ox, int16_t x, int16_t y) { return int16_t(ox + Tile_Left(x, y)); }

int16_t Tile_Y(int16_t oy, int16_t x, int16_t y) { return int16_t(oy + Tile_Top(x, y) - 20); }

void Draw_Scene(int16_t anchor_x, int16_t anchor_y, int16_t view_cols, int16_t view_rows) {
    const Player_Record& own = Chars.Own_Player;
    const int32_t p = own.cell_x, q = own.cell_y;
    const int32_t hw = view_cols / 2, hh = view_rows / 2;

    Box box;
    View_Span(p, hw, view_cols, box.first_col, box.cols);
    View_Span(q, hh, view_rows, box.first_row, box.rows);

    const int16_t gx = int16_t(Tile_X(anchor_x, int16_t(hw - p), int16_t(hh - q)) + own.pixel_offset_x);
    const int16_t gy = int16_t(int16_t(Tile_Y(anchor_y, int16_t(hw - p), int16_t(hh - q)) + own.pixel_offset_y) -
                               10 * int32_t(view_rows) + 20);

    Draw_Ground(gx, gy, box);
    Draw_Objects_And_Characters(gx, int16_t(gy + 20), box);
    Draw_Overlay(gx, int16_t(gy + 20), box);
    Scene.View_X = int16_t(box.first_col);
    Scene.View_Y = int16_t(box.first_row);
}

bool Drawn_In_Last_Scene(int32_t index) {
    if (index < 0) return Scene.own_drawn;
    return size_t(index) < Scene.drawn.size() && Scene.drawn[size_t(index)] != 0;
}

void Draw_Characters_On_Cell(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y) {
    Player_Record& own = Chars.Own_Player;
    if (own.cell_x == x && own.cell_y == y) Draw_Record(own, OWN_CHAT_FRAMES, tile_x, tile_y);
    const View_Box& box = Scene.listed;
    if (!box.Contains(x, y)) return;
    const size_t cell = size_t(y - box.first_row) * size_t(box.cols) + size_t(x - box.first_col);
    for (int32_t i = Scene.cell_start[cell]; i < Scene.cell_start[cell + 1]; ++i)
        Draw_Record(Chars.Players[size_t(Scene.cell_players[size_t(i)])], OTHER_CHAT_FRAMES, tile_x, tile_y);
}

bool In_View_Box(int32_t x, int32_t y) {
    return Scene.View_X <= x && x <= Scene.View_X + VIEW_CELLS && Scene.View_Y <= y && y <= Scene.View_Y + VIEW_CELLS;
}
