// hearing.cpp -- who hears whom: the cells each client would show the others on, and what it is
// told so that it never shows a player in its view on a wrong cell.
#include <algorithm>
#include <charconv>

#include "game_parts.h"

void Update_View(Game& game, const Connection& c) {
    if (c.slot < 0) return;
    Slot_View& v = game.views[size_t(c.slot)];
    const int32_t radius = game.options.view_radius;
    v.active = true;
    v.id = c.id;
    v.cell_x = c.cell_x;
    v.cell_y = c.cell_y;
    v.near_cells = radius <= 0 ? Cell_Box{-32768, -32768, 32767, 32767} : Box_Around(c.cell_x, c.cell_y, radius);
    v.walk = Cell_Box{};
    // The client finds its path within its view box at the start, so while it walks its view
    // passes over nothing farther than that box's half from the start's box.
    if (c.walking && radius > 0) v.walk = Box_Around(c.from_x, c.from_y, radius + CLIENT_VIEW_HALF);
    Grid_Place(game.grid, c.slot, c.cell_x, c.cell_y);
}

std::string& Number_Frame(Game& game, std::u16string_view command, int16_t id, int16_t x, int16_t y) {
    std::string& f = game.frame;
    f.clear();
    for (const char16_t letter : command) f += char(letter);   // command words are ASCII
    f += ' ';
    char digits[8];
    const int16_t values[3] = {id, x, y};
    for (int i = 0; i < 3; ++i) {
        if (i > 0) f += FIELD_SEPARATOR_BYTE;
        f.append(digits, std::to_chars(digits, digits + sizeof digits, values[i]).ptr);
    }
    f += WIRE_TERMINATOR;
    return f;
}

std::string& Place_Frame(Game& game, int16_t id, int16_t x, int16_t y) {
    return Number_Frame(game, CMD_SETPLXY, id, x, y);
}

namespace {

void Tell_Cell(Game& game, Connection& o, const Slot_View& mover, int32_t mover_slot) {
    Queue(game, o, Place_Frame(game, mover.id, mover.cell_x, mover.cell_y));
    Set_Belief(game.beliefs[size_t(o.slot)], mover_slot, Pack_Cell(mover.cell_x, mover.cell_y));
}

}   // namespace

// Those it shows inside its view box whose cell is another, and those standing there that it
// shows elsewhere. Every client shows a player it was never told of on (0, 0). Once in a while
// the cells it was told out of its view are forgotten, and it is told those players stand on
// (0, 0) instead, which it cannot see either: so what is kept grows with the players around it,
// not with everyone. When everyone hears everyone, no client is ever shown a player on a wrong
// cell after it came in.
void Refresh_View(Game& game, Connection& o) {
    if (Everyone_Hears(game)) return;
    const Slot_View& seer = game.views[size_t(o.slot)];
    auto tell_if_wrong = [&](int32_t m) {
        const Slot_View& v = game.views[size_t(m)];
        if (!v.active || m == o.slot) return;
        const uint32_t truth = Pack_Cell(v.cell_x, v.cell_y);
        const uint32_t believed = Belief_Of(game.beliefs[size_t(o.slot)], m);
        if (believed != truth && (Hears(seer, believed) || Hears(seer, truth))) Tell_Cell(game, o, v, m);
    };
    // (0, 0) in view: any player may be shown on a wrong cell.
    if (Hears(seer, ORIGIN_CELL)) {
        for (const Connection* p : game.players) tell_if_wrong(p->slot);
        return;
    }
    Belief_Map& known = game.beliefs[size_t(o.slot)];
    const bool prune = known.count >= std::max(known.prune_at, game.options.beliefs_kept);
    std::vector<int32_t>& stale = game.stale;
    std::vector<int32_t>& forget = game.forget;
    stale.clear();
    forget.clear();
    // By slot it knows a good share of everyone, and one look at every slot costs less than the
    // grid: that look also finds those standing in its view that it shows elsewhere.
    const bool by_slot = !known.cells.empty();
    auto look_at = [&](int32_t m, uint32_t believed) {
        const Slot_View& v = game.views[size_t(m)];
        const uint32_t truth = Pack_Cell(v.cell_x, v.cell_y);
        if (Hears(seer, believed) || (by_slot && Hears(seer, truth))) {
            if (believed != truth) stale.push_back(m);
        } else if (prune && believed != ORIGIN_CELL && !Hears(seer, truth)) {
            forget.push_back(m);
        }
    };
    if (by_slot) {
        for (int32_t m = 0; m < int32_t(game.views.size()); ++m)
            if (game.views[size_t(m)].active && m != o.slot) look_at(m, Belief_Of(known, m));
    } else {
        For_Each_Belief(known, look_at);
    }
    for (const int32_t m : stale) tell_if_wrong(m);
    for (const int32_t m : forget) {
        Erase_Belief(known, m);
        Queue(game, o, Place_Frame(game, game.views[size_t(m)].id, 0, 0));
    }
    if (prune) {
        known.prune_at = 2 * known.count;
        Compact_Beliefs(known);
    }
    if (by_slot) return;
    Cell_Box box = seer.near_cells;
    if (seer.walk.x0 <= seer.walk.x1)
        box = Cell_Box{std::min(box.x0, seer.walk.x0), std::min(box.y0, seer.walk.y0), std::max(box.x1, seer.walk.x1),
                       std::max(box.y1, seer.walk.y1)};
    For_Slots_Near(game.grid, box, tell_if_wrong);
}
