// game.h -- the game server's rules without sockets: connections as records fed with received
// bytes, their replies queued in their `out`, logins checked against the account database,
// limits on what one client may cost, and what each client hears of the others (area of
// interest). The network layer (net.h), the tests and the fuzz harness drive it the same way.
// Its parts share game_parts.h.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "accounts.h"
#include "counters.h"
#include "interest.h"
#include "map/map_file.h"
#include "map/path_search.h"
#include "wire/wire.h"

struct Game_Options {
    bool register_open = false;            // an unknown name with a password makes an account
    size_t max_clients = 4000;             // connections at once; more are closed at once
    size_t max_message = 4096;             // bytes of one message; longer ones are dropped
    size_t max_output = size_t(1) << 20;   // bytes queued for a client that does not read
    size_t max_name_chars = 32;            // characters of a name
    size_t max_password_bytes = 256;       // longer passwords are refused without hashing
    double messages_per_second = 20;       // per client, the rate that is handled
    double message_burst = 60;             // messages handled at once after a quiet time
    int32_t flood_seconds = 5;             // dropped messages worth this many seconds: cut off
    double connects_per_minute = 60;       // new connections per address; 0: no limit
    int32_t failures_per_minute = 5;       // failed logins per address and per account
    int32_t lockout_seconds = 300;         // then refused without a check for this long
    int32_t login_seconds = 60;            // from connecting to "/ready", or cut off
    int32_t view_radius = 20;              // cells around a player that it hears; 0: all
    int32_t chat_radius = 0;               // cells around a speaker that hear its chat; 0: all
    size_t beliefs_kept = 128;             // cells a client was told, kept before far ones are forgotten
    size_t max_checks = 1024;              // password checks waiting at once; more: busy
    size_t log_per_second = 200;           // log lines; the rest are counted
    uint32_t seed = 0;                     // 0: random start cells
    Hash_Cost hash;                        // for accounts made by open registration
};

// How far a connection's login has come; back to Fresh once it leaves the game.
enum class Stage : uint8_t { Fresh, Version_Ok, Id_Given, Checking, Started, Ready };

// A connection's life, apart from its login.
enum class Life : uint8_t {
    Open,
    Cut_Off,   // did not read: its output dropped, closed once the message being handled is done
    Closing,   // sends what is queued, then closes
    Gone,      // to be closed now; nothing more is queued
};

// A player in the game as the others' hearing sees it, kept apart from its connection so that
// the loop of a move over every player reads one small array.
struct Slot_View {
    bool active = false;
    int16_t id = 0;
    int16_t cell_x = 0, cell_y = 0;
    Cell_Box near_cells;   // the cells its client would show a player on now
    Cell_Box walk;         // and, while it walks, on the way (empty when it stands)
};

// A cell of a walk, and the earliest time on the game's clock at which its client can stand there.
struct Walk_Cell {
    int16_t x = 0, y = 0;
    int64_t ready_ms = 0;
};

struct Connection {
    uint64_t serial = 0;
    std::string address;   // the peer's address, for the per-address limits
    std::string peer;      // address:port, for the log
    int64_t opened_ms = 0;
    Message_Stream in;
    std::string out;   // bytes for the network layer to send
    Life life = Life::Open;
    int64_t closing_ms = 0;   // cut off when the client does not read its last bytes
    // The rounds of Game::dirty and Game::urgent that list it (a list taken starts a new round).
    uint64_t dirty_round = 0, urgent_round = 0;
    Stage stage = Stage::Fresh;
    std::u16string name;
    std::string name_utf8;
    int64_t account = 0;
    int16_t id = 0;
    int16_t cell_x = 0, cell_y = 0;   // where others see it: its last walk's target
    bool walking = false;             // between a "/move" and the "/got" of its target
    int16_t from_x = 0, from_y = 0;   // the cell it stood on at its last accepted "/move"
    // Where its client may stand: the cells of its last accepted walk, the from-cell first, and
    // those of the walk before that it may still be finishing when the echo reaches it.
    std::vector<Walk_Cell> path, tail;
    int64_t walk_ms = 0;   // when the last walk was accepted
    int64_t refusal_logged_ms = INT64_MIN / 2;
    uint32_t refusals_unlogged = 0;
    int32_t slot = -1;   // index in Game::by_slot and Game::views while in the game
    double tokens = 0;   // messages it may send now
    int64_t tokens_ms = 0;
    int64_t flood_window_ms = 0;
    uint32_t dropped_in_window = 0;
};

// A password check, run away from the game thread (Run_Check) and handed back (Check_Done).
struct Login_Check {
    uint64_t serial = 0;
    std::string password;    // cleared once checked
    std::string pass_hash;   // the account's, or the decoy
    bool known = false;      // an account has the name
    bool create = false;     // open registration: make the hash of a new account
    Hash_Cost cost;
    bool matches = false;   // result
    std::string new_hash;   // result for `create`
};

struct Attempts {
    std::deque<int64_t> failures;   // times of the failures in the last minute
    int64_t locked_until = 0;
    double connect_tokens = -1;   // -1: full
    int64_t connect_ms = 0;
};

struct Game_Counts {
    uint64_t messages_in = 0, messages_out = 0, dropped = 0, logins = 0, failures = 0;
    // For the operator's metrics (metrics.h).
    uint64_t bytes_in = 0, bytes_out = 0, moves_refused = 0;
    uint64_t logins_banned = 0, logins_locked = 0, logins_busy = 0;
    std::array<uint64_t, COMMAND_KINDS> in_by_command{}, out_by_command{};
    std::array<uint64_t, CUT_OFF_REASONS> cut_off{};
    Histogram turn_seconds, commit_seconds;
};

struct Game {
    Game_Options options;
    const Map_Model* map = nullptr;
    Account_Store* accounts = nullptr;
    std::function<void(const std::string&)> log;   // one line, without "\n"; default: standard error
    int64_t now_ms = 0;

    std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections;
    std::unordered_map<int16_t, Connection*> by_id;   // got "/plstart"
    std::vector<Connection*> players;                 // in the game, in order of "/ready"
    std::vector<Connection*> by_slot;
    std::vector<int32_t> free_slots;
    std::vector<Slot_View> views;      // by slot
    std::vector<Belief_Map> beliefs;   // by slot: where its client was told the others stand
    Player_Grid grid;                  // the slots by where they stand
    std::vector<uint64_t> dirty;       // connections with output or a close to carry out
    std::vector<uint64_t> urgent;      // of those, the ones to write at the end of this turn
    uint64_t dirty_round = 1, urgent_round = 1;
    std::vector<Connection*> not_reading;   // Life::Cut_Off, closed once the current message is handled
    std::vector<Login_Check> checks;        // waiting to be run
    size_t checks_running = 0;
    std::unordered_map<int64_t, Position_Save> unsaved;    // cells not yet in the database
    std::vector<uint16_t> occupancy;                       // players whose cell it is, per cell
    std::vector<std::pair<int16_t, int16_t>> free_cells;   // where players start: the largest region
    Walk_Grid walk;                                        // the map's free cells, for the searches
    Walk_Regions regions;                                  // who can walk where
    Path_Numbers path_numbers;                             // the searches' work space
    Path_Scratch path_scratch;
    std::vector<int16_t> path_steps;
    std::vector<int32_t> hearers;         // of the move being handled
    std::vector<int32_t> stale, forget;   // Refresh_View's work space
    std::unordered_map<std::string, Attempts> by_address;
    std::unordered_map<std::string, Attempts> by_account;
    std::mt19937 random;
    int16_t next_id = 1;
    uint64_t next_serial = 1;
    int64_t last_prune_ms = 0;
    Game_Counts counts;
    int64_t log_window_ms = -1000;
    size_t log_lines = 0, log_suppressed = 0;
    std::string frame;   // the message being sent to many, built once
};

void Init_Game(Game& game, const Game_Options& options, const Map_Model& map, Account_Store* accounts);

// A new connection; nullptr (logged) when the limits refuse it: the caller closes the socket.
Connection* Open_Connection(Game& game, const std::string& address, const std::string& peer, int64_t now_ms);
// Bytes received on a connection: cut into messages and handled.
void Receive(Game& game, Connection& c, std::string_view bytes, int64_t now_ms);
// Takes the client out of the game and marks it Gone; `why` is logged unless empty.
void Close_Connection(Game& game, Connection& c, const std::string& why);
// Frees a Gone connection's record (the network layer has closed its socket).
void Forget_Connection(Game& game, uint64_t serial);
Connection* Find_Connection(Game& game, uint64_t serial);

// Timeouts and the forgetting of old attempts; call a few times a second.
void Tick(Game& game, int64_t now_ms);

// Password checks: the network layer runs them on another thread and hands each back.
std::vector<Login_Check> Take_Checks(Game& game);
void Run_Check(Login_Check& check);
void Check_Done(Game& game, Login_Check& check, int64_t now_ms);
// Runs every waiting check here and now (tests, the fuzz harness).
void Run_Checks_Now(Game& game);

// Writes the cells changed since the last call in one transaction. Call before sending what
// was queued, so that a client never hears of a cell that a crash could lose.
void Commit_Positions(Game& game);
// Orderly end: every player's cell saved, every connection Gone (without a message).
void Shutdown_Game(Game& game);

// An operator's command line; its answer (lines ending in "\n") in `reply`. False for "quit".
bool Operator_Command(Game& game, const std::string& line, std::string& reply);

// Lists the connection for the next write of everything queued (a few times a second at least),
// or, urgent, for the end of this turn: replies to a client's own messages and closes are
// urgent, what it hears of others is not. Inline: every message queued for anyone passes here.
inline void Mark_Dirty(Game& game, Connection& c) {
    if (c.dirty_round != game.dirty_round) {
        c.dirty_round = game.dirty_round;
        game.dirty.push_back(c.serial);
    }
}
inline void Mark_Urgent(Game& game, Connection& c) {
    Mark_Dirty(game, c);
    if (c.urgent_round != game.urgent_round) {
        c.urgent_round = game.urgent_round;
        game.urgent.push_back(c.serial);
    }
}
// The network layer takes the serials listed to write: all of them (the dirty ones, which empties
// the urgent list too), or the urgent ones; each is listed again when more is queued for it.
// With `slices` above 1, only the dirty ones whose serial is `slice` modulo `slices`, and the
// urgent list stays.
std::vector<uint64_t> Take_Writes(Game& game, bool all, uint64_t slices = 1, uint64_t slice = 0);

// A line in the log, rate-limited; `c` names the client.
void Log(Game& game, const Connection* c, const std::string& what);
