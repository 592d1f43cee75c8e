// game_parts.h -- what the parts of the game's rules share: output (output.cpp), joining and
// leaving (login.cpp), who hears whom (hearing.cpp), moves and chat (moves.cpp), the console
// (console.cpp) and the connections' turn (game.cpp). Not for the network layer: it uses game.h.
#pragma once
#include <string>

#include "game.h"

// ---- output and backpressure (output.cpp)

// Queues a message for the client; one that holds more than max_output unread is cut off.
inline void Queue(Game& game, Connection& c, std::string_view bytes) {
    if (c.life == Life::Gone || c.life == Life::Cut_Off) return;
    ++game.counts.messages_out;
    ++game.counts.out_by_command[Command_Index(bytes)];
    game.counts.bytes_out += bytes.size();
    c.out.append(bytes);
    if (c.out.size() > game.options.max_output) {
        // One client that does not read must not hold the others' memory. Closed once the
        // message being handled is done, so no loop over the players changes under its feet.
        c.out.clear();
        c.life = Life::Cut_Off;
        game.not_reading.push_back(&c);
        return;
    }
    if (c.out.size() >= (size_t(64) << 10)) Mark_Urgent(game, c);   // large enough to go now
    Mark_Dirty(game, c);
}

// Sends the refusal (none when `text` is empty), takes the client out of the game, and closes
// the connection once the refusal is written (or after a grace time).
void Refuse(Game& game, Connection& c, const std::u16string& text, const std::string& why);
// Closes the connections cut off meanwhile (closing one may cut off others).
void Settle(Game& game);
// Close_Connection without settling.
void Close_Now(Game& game, Connection& c, const std::string& why);

std::string Number(int64_t value);

// ---- joining and leaving (login.cpp)

void On_Version(Game& game, Connection& c, const std::u16string& data);
void On_Id(Game& game, Connection& c, const std::u16string& data);
void On_Pass(Game& game, Connection& c, const std::u16string& data);
void On_Ready(Game& game, Connection& c);
// Takes the client out of the game (a player's cell saved, the others told); back to Stage::Fresh.
void Leave_Game(Game& game, Connection& c);
// "Banned", with the operator's reason (UTF-8) when there is one.
std::u16string Ban_Text(const std::string& reason);
// Forgets failed attempts a minute old and the records that no longer hold anything.
void Prune_Attempts(Game& game, int64_t now_ms);

// ---- who hears whom (hearing.cpp)

// The client draws the cells within this many columns and rows of its own (its view box).
constexpr int32_t CLIENT_VIEW_HALF = VIEW_HALF;

inline Cell_Box Box_Around(int32_t x, int32_t y, int32_t radius) {
    return {x - radius, y - radius, x + radius, y + radius};
}

inline bool Everyone_Hears(const Game& game) { return game.options.view_radius <= 0; }

inline bool Hears(const Slot_View& v, uint32_t cell) {
    const int32_t x = Cell_X(cell), y = Cell_Y(cell);
    return (int(v.near_cells.Contains(x, y)) | int(v.walk.Contains(x, y))) != 0;   // no branch: see Contains
}

// How far from the cell it holds a client's hearing reaches: its view radius, or, while it walks,
// the radius and the view box's half around the walk's start, which its view box held: at the
// map's edge that box reaches a whole box's width from the start.
inline int32_t Hearing_Reach(const Game& game) { return game.options.view_radius + CLIENT_VIEW_HALF + VIEW_CELLS; }

// The slots of every player who may hear of a cell of the box, each once or more: the buckets
// around it as far as a hearing reaches.
template <class F>
void For_Possible_Hearers(const Game& game, Cell_Box box, F&& f) {
    const int32_t reach = Hearing_Reach(game);
    For_Slots_Near(game.grid, Cell_Box{box.x0 - reach, box.y0 - reach, box.x1 + reach, box.y1 + reach}, f);
}

// The cells a client would show a player on, now or before its walk ends; and its bucket.
void Update_View(Game& game, const Connection& c);
// "command id\x\y/e/" in the game's frame buffer, which keeps its memory from one to the next.
std::string& Number_Frame(Game& game, std::u16string_view command, int16_t id, int16_t x, int16_t y);
std::string& Place_Frame(Game& game, int16_t id, int16_t x, int16_t y);
// Tells the client the cell of every player it would now show on a wrong cell.
void Refresh_View(Game& game, Connection& o);

// ---- moves and chat (moves.cpp)

bool Free_Cell(const Game& game, int32_t x, int32_t y);
uint16_t& Occupancy(Game& game, int32_t x, int32_t y);
// Moves the player's cell (its occupancy and its unsaved position with it).
void Set_Cell(Game& game, Connection& c, int16_t x, int16_t y);
void On_Move(Game& game, Connection& c, const std::u16string& data);
void On_Got(Game& game, Connection& c, const std::u16string& data);
void On_Say(Game& game, Connection& c, const std::string& raw_message);
// A cell the client may report standing on: the one the server holds, or one of its walks'.
bool On_Its_Walk(const Connection& c, int16_t x, int16_t y);
// "(x, y)" for the log and the console.
std::string Cell_Text(const Connection& c);
