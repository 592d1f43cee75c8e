// scene.cpp -- the isometric scene around the own character: ground, objects interleaved with the
// characters and their chat lines, then the overlay; and the view it leaves for picking.
#include "map/scene.h"

#include <algorithm>
#include <limits>

#include "characters/animation.h"
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

// The cells one pass visits: the view box after it has been limited to the map.
struct Box {
    int32_t first_col = 0, first_row = 0, cols = 0, rows = 0;
    bool Contains(int32_t x, int32_t y) const {
        return x >= first_col && x < first_col + cols && y >= first_row && y < first_row + rows;
    }
};

// The players of the view box listed per cell, in table order, so the middle pass finds a
// cell's characters without scanning the whole table for each of the box's cells. Kept between
// frames so that its storage is reused.
struct Cell_Lists {
    std::vector<int32_t> start;     // per cell: index of its first entry in `players`; one extra
    std::vector<int32_t> players;   // indexes into Chars.Players, grouped by cell
    std::vector<uint8_t> drawn;     // per entry of Chars.Players: stands inside the box
    bool own_drawn = false;
};
Cell_Lists Lists;

int16_t Clamp16(int32_t v) {
    return int16_t(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min() + 1,
                                       std::numeric_limits<int16_t>::max() - 1));
}

// Cut to the map (and to the grids actually held, should they disagree with its size).
Box Limit_To_Map(Box box) {
    int32_t width = std::min<int32_t>({Map.Map_Width, Map.Ground_Grid.width, Map.Object_Grid.width,
                                       Map.Overlay_Grid.width});
    int32_t height = std::min<int32_t>({Map.Map_Height, Map.Ground_Grid.height, Map.Object_Grid.height,
                                        Map.Overlay_Grid.height});
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

// Clip-and-copy of a picture rectangle to the back buffer, black left out.
void Copy_Clipped(const Surface* image, Rect source, int16_t& x, int16_t& y) {
    Clip_Source_Rect(source, x, y);
    if (image) BltFast(Display.Back_Buffer, x, y, *image, source, BLTFAST_SRCCOLORKEY_WAIT);
}

void Draw_Piece(const Piece_Cell& piece, int16_t x, int16_t y) {
    Rect source{piece.source_x, piece.source_y, int32_t(piece.source_x) + piece.width,
                int32_t(piece.source_y) + piece.height};
    Copy_Clipped(Map_Surface(piece.image_id), source, x, y);
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
            Copy_Clipped(Map_Surface(g.image_id), source, dx, dy);
            Scene.Visible_Cells[size_t(y - box.first_row) * size_t(box.cols) + size_t(x - box.first_col)] =
                Visible_Cell{dx, dy, int16_t(x), int16_t(y)};
        }
    }
}

// The walk sequence a record shows, or null when its look cannot be resolved (a sprite type
// outside the table, one without actions, a direction outside 0..8, no sequences at all).
const Sequence* Walk_Sequence(const Player_Record& r) {
    static const std::u16string WALK = u"walk";
    const auto& types = Chars.Characters.Sprite_Types;
    if (r.sprite_type < 0 || size_t(r.sprite_type) >= types.size()) return nullptr;
    const Sprite_Type& type = types[size_t(r.sprite_type)];
    if (type.actions.empty() || r.direction < 0 || r.direction > 8) return nullptr;
    int16_t a = Find_Action(WALK, type);
    if (a < 0 || size_t(a) >= type.actions.size()) a = 0;
    int16_t s = Find_Sequence(type.actions[size_t(a)].sequence_ids[size_t(r.direction)]);
    if (s < 0 || size_t(s) >= Animations.Sequences.size()) return nullptr;
    const Sequence& seq = Animations.Sequences[size_t(s)];
    return seq.frames.empty() ? nullptr : &seq;
}

// The frame whose size places a chat label: the record's frame of the sequence whose id is its
// direction number. A frame number that sequence does not have falls back to its first frame.
const Frame* Label_Frame(const Player_Record& r) {
    int16_t l = Find_Sequence(r.direction);
    if (l < 0 || size_t(l) >= Animations.Sequences.size()) return nullptr;
    const auto& frames = Animations.Sequences[size_t(l)].frames;
    if (frames.empty()) return nullptr;
    if (r.frame_index >= 0 && size_t(r.frame_index) < frames.size()) return &frames[size_t(r.frame_index)];
    return &frames[0];
}

void Draw_Record(Player_Record& r, int16_t display_frames, int16_t tile_x, int16_t tile_y) {
    const int16_t sx = int16_t(tile_x - r.pixel_offset_x);
    const int16_t sy = int16_t(tile_y - r.pixel_offset_y);
    if (const Sequence* s = Walk_Sequence(r)) Draw_Animation_Frame(*s, r, sx, sy);
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

void Draw_Cell_Characters(int32_t x, int32_t y, int16_t tile_x, int16_t tile_y, const Box& box) {
    Player_Record& own = Chars.Own_Player;
    if (own.cell_x == x && own.cell_y == y) Draw_Record(own, OWN_CHAT_FRAMES, tile_x, tile_y);
    const size_t cell = size_t(y - box.first_row) * size_t(box.cols) + size_t(x - box.first_col);
    for (int32_t i = Lists.start[cell]; i < Lists.start[cell + 1]; ++i)
        Draw_Record(Chars.Players[size_t(Lists.players[size_t(i)])], OTHER_CHAT_FRAMES, tile_x, tile_y);
}

// Groups the players standing inside the box by cell, keeping table order within a cell.
void List_Players_By_Cell(const Box& box) {
    const size_t cells = size_t(box.cols) * size_t(box.rows);
    Lists.start.assign(cells + 1, 0);
    const auto& players = Chars.Players;
    Lists.own_drawn = box.Contains(Chars.Own_Player.cell_x, Chars.Own_Player.cell_y);
    Lists.drawn.assign(players.size(), 0);
    for (size_t k = 0; k < players.size(); ++k) {
        const Player_Record& p = players[k];
        if (!box.Contains(p.cell_x, p.cell_y)) continue;
        Lists.drawn[k] = 1;
        ++Lists.start[size_t(p.cell_y - box.first_row) * size_t(box.cols) + size_t(p.cell_x - box.first_col) + 1];
    }
    for (size_t c = 0; c < cells; ++c) Lists.start[c + 1] += Lists.start[c];
    Lists.players.resize(size_t(Lists.start[cells]));
    // Each cell's start advances as the cell is filled; a shift by one cell restores the starts.
    for (size_t k = 0; k < players.size(); ++k) {
        const Player_Record& p = players[k];
        if (!box.Contains(p.cell_x, p.cell_y)) continue;
        size_t c = size_t(p.cell_y - box.first_row) * size_t(box.cols) + size_t(p.cell_x - box.first_col);
        Lists.players[size_t(Lists.start[c]++)] = int32_t(k);
    }
    for (size_t c = cells; c > 0; --c) Lists.start[c] = Lists.start[c - 1];
    Lists.start[0] = 0;
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
            Draw_Cell_Characters(x, y, tile_x, tile_y, box);
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

}  // namespace

int16_t Tile_X(int16_t ox, int16_t x, int16_t y) { return int16_t(int32_t(ox) - 20 * int32_t(y) + 20 * int32_t(x)); }

int16_t Tile_Y(int16_t oy, int16_t x, int16_t y) { return int16_t(10 * int32_t(y) + oy + 10 * int32_t(x) - 20); }

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
    if (index < 0) return Lists.own_drawn;
    return size_t(index) < Lists.drawn.size() && Lists.drawn[size_t(index)] != 0;
}

void Draw_Characters_On_Cell(int16_t x, int16_t y, int16_t tile_x, int16_t tile_y) {
    Player_Record& own = Chars.Own_Player;
    if (own.cell_x == x && own.cell_y == y) Draw_Record(own, OWN_CHAT_FRAMES, tile_x, tile_y);
    for (size_t k = 0; k < Chars.Players.size(); ++k) {
        Player_Record& p = Chars.Players[k];
        if (p.cell_x == x && p.cell_y == y) Draw_Record(p, OTHER_CHAT_FRAMES, tile_x, tile_y);
    }
}
