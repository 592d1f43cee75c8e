// moves.cpp -- moves and chat: where a client may stand, the walks it is allowed, who is told of
// them, and who hears what it says.
#include <algorithm>

#include "game_parts.h"
#include "platform/encoding.h"
#include "text.h"

namespace {

// A client's step lands at least this long after it starts, and it starts walking only once it
// has the echo of its "/move", which leaves after the server accepted it: on the server's own
// clock, a walk accepted at t is k cells along no earlier than t + k steps. Network delays only
// make a from-cell arrive later. The slack lets a client be one step ahead of that (a short
// pause of the server's clock, a step that landed early), so a one-step walk is never waited for.
constexpr int64_t STEP_MS = 201;
constexpr int64_t WALK_SLACK_MS = 250;
constexpr int64_t REFUSAL_LOG_MS = 5000;   // a refused move is logged at most this often per client

// The cell of the client's walk it may stand on by now, as (walk, index); {nullptr, 0} when none.
std::pair<const std::vector<Walk_Cell>*, size_t> Find_On_Walk(const Game& game, const Connection& c, int16_t x,
                                                              int16_t y) {
    const int64_t by = game.now_ms + WALK_SLACK_MS;
    for (const std::vector<Walk_Cell>* walk : {&c.path, &c.tail})
        for (size_t i = 0; i < walk->size(); ++i) {
            const Walk_Cell& cell = (*walk)[i];
            if (cell.x == x && cell.y == y && cell.ready_ms <= by) return {walk, i};
        }
    return {nullptr, 0};
}

// The cells of the walk from (x, y) that the search gives for `steps`, the first ready at `ready`.
void Walk_Cells(int16_t x, int16_t y, int64_t ready, const std::vector<int16_t>& steps, std::vector<Walk_Cell>& out) {
    out.assign(1, Walk_Cell{x, y, ready});
    for (const int16_t d : steps) {
        x = int16_t(x + CELL_STEPS[d].x);
        y = int16_t(y + CELL_STEPS[d].y);
        out.push_back(Walk_Cell{x, y, ready += STEP_MS});
    }
}

// A client that hears the echo of a new walk while it steps finishes that step first and finds
// its path from the cell it lands on: the next cells of the walk it was on (the tail). Whether
// the from-cell lies on such a path is worked out only when it lies on no walk the server knows.
bool Find_On_Redirected_Walk(Game& game, const Connection& c, int16_t x, int16_t y, std::vector<Walk_Cell>& walk,
                             size_t& index) {
    if (c.path.empty()) return false;
    const Walk_Cell target = c.path.back();
    const int64_t by = game.now_ms + WALK_SLACK_MS;
    for (size_t t = 0; t < c.tail.size() && t < 3 && c.tail[t].ready_ms <= by; ++t) {
        const Walk_Cell& from = c.tail[t];
        if (Search_From_View(game.walk, from.x, from.y, target.x, target.y, game.path_numbers, game.path_scratch,
                             game.path_steps) != Path_Result::Found)
            continue;
        Walk_Cells(from.x, from.y, std::max(from.ready_ms, c.walk_ms), game.path_steps, walk);
        for (index = 0; index < walk.size(); ++index)
            if (walk[index].x == x && walk[index].y == y && walk[index].ready_ms <= by) return true;
    }
    return false;
}

void Refuse_Move(Game& game, Connection& c, const int16_t* f, const char* why) {
    ++game.counts.moves_refused;
    // A client that keeps clicking where it cannot go would otherwise fill the log.
    if (game.now_ms - c.refusal_logged_ms < REFUSAL_LOG_MS) {
        ++c.refusals_unlogged;
        return;
    }
    std::string line = "refused a move from (" + Number(f[0]) + ", " + Number(f[1]) + ") to (" + Number(f[2]) + ", " +
                       Number(f[3]) + "): " + why;
    if (c.refusals_unlogged > 0) line += " (and " + Number(c.refusals_unlogged) + " more since the last one logged)";
    Log(game, &c, line);
    c.refusal_logged_ms = game.now_ms;
    c.refusals_unlogged = 0;
}

}   // namespace

bool Free_Cell(const Game& game, int32_t x, int32_t y) {
    const Map_Model& map = *game.map;
    return x >= 0 && y >= 0 && x < map.Map_Width && y < map.Map_Height && map.Ground_Grid(x, y).blocked == 0;
}

uint16_t& Occupancy(Game& game, int32_t x, int32_t y) {
    return game.occupancy[size_t(y) * size_t(game.map->Map_Width) + size_t(x)];
}

void Set_Cell(Game& game, Connection& c, int16_t x, int16_t y) {
    if (c.stage == Stage::Ready && Free_Cell(game, c.cell_x, c.cell_y)) {
        uint16_t& old = Occupancy(game, c.cell_x, c.cell_y);
        if (old > 0) --old;
    }
    c.cell_x = x;
    c.cell_y = y;
    if (Free_Cell(game, x, y)) ++Occupancy(game, x, y);
    if (c.account != 0) game.unsaved[c.account] = Position_Save{c.account, x, y};
}

std::string Cell_Text(const Connection& c) {
    std::string text = "(";
    text.append(Number(c.cell_x)).append(", ").append(Number(c.cell_y)).append(")");
    return text;
}

// A walk is taken only from where the client can stand by now, to a cell that the client's own
// search reaches from there: otherwise it is not echoed, nobody hears of it, and the client,
// which walks only on the echo, stays where the server knows it is.
void On_Move(Game& game, Connection& c, const std::u16string& data) {
    int16_t f[4];
    if (!Number_Fields(data, f, 4)) return Log(game, &c, "dropped /move with a bad number: " + Quote_Text(data));
    if (c.stage != Stage::Ready) return Log(game, &c, "dropped /move out of turn");
    auto [on, index] = Find_On_Walk(game, c, f[0], f[1]);
    std::vector<Walk_Cell> redirected;
    if (!on && Find_On_Redirected_Walk(game, c, f[0], f[1], redirected, index)) on = &redirected;
    if (!on) return Refuse_Move(game, c, f, "it cannot stand there yet");
    switch (
        Search_From_View(game.walk, f[0], f[1], f[2], f[3], game.path_numbers, game.path_scratch, game.path_steps)) {
        case Path_Result::No_Target: return Refuse_Move(game, c, f, "the target is blocked or off the map");
        case Path_Result::Unreached: return Refuse_Move(game, c, f, "no path to it in its view");
        case Path_Result::Too_Long: return Refuse_Move(game, c, f, "the path is longer than 64 steps");
        case Path_Result::Found: break;
    }
    // The rest of the walk it is on stays possible until the echo reaches it.
    const Walk_Cell from = (*on)[index];
    std::vector<Walk_Cell> tail(on->begin() + std::ptrdiff_t(index) + 1, on->end());
    Walk_Cells(f[0], f[1], std::max(from.ready_ms, game.now_ms), game.path_steps, c.path);
    c.tail.swap(tail);
    c.walk_ms = game.now_ms;

    const uint32_t target = Pack_Cell(f[2], f[3]), leaves = Pack_Cell(c.cell_x, c.cell_y);
    const Cell_Step from_cell{c.cell_x, c.cell_y};
    c.from_x = f[0];
    c.from_y = f[1];
    c.walking = true;
    Set_Cell(game, c, f[2], f[3]);
    Update_View(game, c);
    Number_Frame(game, CMD_MOVE, c.id, f[2], f[3]);
    Queue(game, c, game.frame);
    // Everyone whose view holds the cell it leaves or the cell it walks to, and only they. Who
    // shows it on the cell it leaves was told that cell: a client shows no player in its view on
    // a wrong cell (Refresh_View), so no other belief needs looking at.
    if (Everyone_Hears(game)) {
        for (Connection* p : game.players)
            if (p != &c) Queue(game, *p, game.frame);
        return;
    }
    // Those who hear it first, then their memory asked for all at once, then written: their
    // connections and what they were told lie far apart, and one miss after another is slow.
    game.hearers.clear();
    For_Possible_Hearers(game,
                         Cell_Box{std::min(from_cell.x, f[2]), std::min(from_cell.y, f[3]), std::max(from_cell.x, f[2]),
                                  std::max(from_cell.y, f[3])},
                         [&](int32_t o) {
                             const Slot_View& seer = game.views[size_t(o)];
                             if (!seer.active || o == c.slot || !(Hears(seer, leaves) || Hears(seer, target))) return;
                             game.hearers.push_back(o);
                             Prefetch_Belief(game.beliefs[size_t(o)], c.slot);
                             __builtin_prefetch(game.by_slot[size_t(o)]);
                         });
    for (const int32_t o : game.hearers) {
        const std::string& out = game.by_slot[size_t(o)]->out;
        __builtin_prefetch(out.data() + out.size(), 1);
    }
    for (const int32_t o : game.hearers) {
        Queue(game, *game.by_slot[size_t(o)], game.frame);
        Set_Belief(game.beliefs[size_t(o)], c.slot, target);
    }
    Refresh_View(game, c);
}

bool On_Its_Walk(const Connection& c, int16_t x, int16_t y) {
    if (x == c.cell_x && y == c.cell_y) return true;
    for (const std::vector<Walk_Cell>* walk : {&c.path, &c.tail})
        for (const Walk_Cell& cell : *walk)
            if (cell.x == x && cell.y == y) return true;
    return false;
}

void On_Got(Game& game, Connection& c, const std::u16string& data) {
    int16_t f[2];
    if (!Number_Fields(data, f, 2)) return Log(game, &c, "dropped /got with a bad number: " + Quote_Text(data));
    // Before its last move has reached the client, it reports an older cell.
    if (c.stage == Stage::Ready && f[0] == c.cell_x && f[1] == c.cell_y) {
        c.walking = false;
        Update_View(game, c);
    }
}

void On_Say(Game& game, Connection& c, const std::string& raw_message) {
    if (c.stage != Stage::Ready) return Log(game, &c, "dropped /say out of turn");
    // The chat text goes on byte for byte, still escaped, as the client sent it: it was cut at
    // the first terminator, so it holds none.
    const size_t space = raw_message.find(' ');
    const std::string_view text =
        space == std::string::npos ? std::string_view() : std::string_view(raw_message).substr(space + 1);
    game.frame = Frame_Bytes(CMD_SAY, Number(c.id) + FIELD_SEPARATOR_BYTE + std::string(text));
    const int32_t radius = game.options.chat_radius;
    if (radius <= 0) {
        for (Connection* o : game.players) Queue(game, *o, game.frame);
        return;
    }
    // Within the radius of the speaker's cell, the speaker too (its line shows over its head).
    For_Slots_Near(game.grid, Box_Around(c.cell_x, c.cell_y, radius), [&](int32_t o) {
        const Slot_View& v = game.views[size_t(o)];
        if (std::abs(v.cell_x - c.cell_x) <= radius && std::abs(v.cell_y - c.cell_y) <= radius)
            Queue(game, *game.by_slot[size_t(o)], game.frame);
    });
}
