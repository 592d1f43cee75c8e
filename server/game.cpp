// game.cpp -- the game server's rules: handshake and login, start cells, moves and what each
// client hears of them, chat, leaving, limits, and the operator's console.
#include "game.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/encoding.h"
#include "platform/error_codes.h"
#include "text.h"

namespace {

// The client draws the cells within this many columns and rows of its own (its view box).
constexpr int32_t CLIENT_VIEW_HALF = VIEW_HALF;
// A client's step lands at least this long after it starts, and it starts walking only once it
// has the echo of its "/move", which leaves after the server accepted it: on the server's own
// clock, a walk accepted at t is k cells along no earlier than t + k steps. Network delays only
// make a from-cell arrive later. The slack lets a client be one step ahead of that (a short
// pause of the server's clock, a step that landed early), so a one-step walk is never waited for.
constexpr int64_t STEP_MS = 201;
constexpr int64_t WALK_SLACK_MS = 250;
constexpr int64_t REFUSAL_LOG_MS = 5000;   // a refused move is logged at most this often per client
constexpr int64_t CLOSE_GRACE_MS = 2000;

const char16_t* const TEXT_WRONG_LOGIN = u"帳號或密碼錯誤";
const char16_t* const TEXT_BANNED = u"帳號已被停權";
const char16_t* const TEXT_TOO_MANY = u"嘗試次數過多，請稍後再試";
const char16_t* const TEXT_BUSY = u"伺服器忙碌，請稍後再試";
const char16_t* const TEXT_ELSEWHERE = u"帳號已在別處登入";
const char16_t* const TEXT_BAD_NAME = u"帳號不合規定";
const char16_t* const TEXT_FULL = u"遊戲已滿";

std::string Number(int64_t value) { return std::to_string(value); }

int64_t Unix_Now() { return int64_t(std::time(nullptr)); }

std::string Refusal(const std::u16string& text) {
    return Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(text));
}

// ---- output ----

void Queue(Game& game, Connection& c, std::string_view bytes) {
    if (c.gone || c.doomed) return;
    ++game.counts.messages_out;
    ++game.counts.out_by_command[Command_Index(bytes)];
    game.counts.bytes_out += bytes.size();
    c.out.append(bytes);
    if (c.out.size() > game.options.max_output) {
        // One client that does not read must not hold the others' memory. Closed once the
        // message being handled is done, so no loop over the players changes under its feet.
        c.out.clear();
        c.doomed = true;
        game.doomed.push_back(&c);
        return;
    }
    if (c.out.size() >= (size_t(64) << 10)) Mark_Urgent(game, c);   // large enough to go now
    Mark_Dirty(game, c);
}

// Sends the refusal (none when `text` is empty), takes the client out of the game, and closes
// the connection once the refusal is written (or after a grace time).
void Leave_Game(Game& game, Connection& c);
void Refuse(Game& game, Connection& c, const std::u16string& text, const std::string& why) {
    Log(game, &c, why);
    if (c.gone || c.closing) return;
    if (!text.empty()) Queue(game, c, Refusal(text));
    Leave_Game(game, c);
    c.closing = true;
    c.closing_ms = game.now_ms;
    Mark_Urgent(game, c);
}

void Settle(Game& game) {
    while (!game.doomed.empty()) {
        std::vector<Connection*> doomed;
        doomed.swap(game.doomed);
        for (Connection* c : doomed) {
            c->doomed = false;
            ++game.counts.cut_off[CUT_NOT_READING];
            Close_Connection(game, *c,
                             "does not read: more than " + Number(int64_t(game.options.max_output)) + " bytes queued");
        }
    }
}

// ---- the map and places ----

bool Free_Cell(const Game& game, int32_t x, int32_t y) {
    const Map_Model& map = *game.map;
    return x >= 0 && y >= 0 && x < map.Map_Width && y < map.Map_Height && map.Ground_Grid(x, y).blocked == 0;
}

uint16_t& Occupancy(Game& game, int32_t x, int32_t y) {
    return game.occupancy[size_t(y) * size_t(game.map->Map_Width) + size_t(x)];
}

// A cell a player can be started or restored on: free, in the largest walkable region (no one
// is put where they could never walk out), and nobody's.
bool Open_Cell(Game& game, int32_t x, int32_t y) { return game.regions.In_Largest(x, y) && Occupancy(game, x, y) == 0; }

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

// The kept cell when it is open, else the open cell nearest to it; a random one for a new player.
std::pair<int16_t, int16_t> Start_Cell(Game& game, const std::optional<Account>& account) {
    if (account && account->has_cell) {
        const int32_t x = account->cell_x, y = account->cell_y;
        if (Open_Cell(game, x, y)) return {int16_t(x), int16_t(y)};
        const int32_t farthest = 2 * std::max<int32_t>(game.map->Map_Width, game.map->Map_Height);
        for (int32_t r = 1; r <= farthest; ++r) {   // ring by ring, the nearest first
            for (int32_t d = -r; d <= r; ++d) {
                if (Open_Cell(game, x + d, y - r)) return {int16_t(x + d), int16_t(y - r)};
                if (Open_Cell(game, x + d, y + r)) return {int16_t(x + d), int16_t(y + r)};
                if (d == -r || d == r) continue;
                if (Open_Cell(game, x - r, y + d)) return {int16_t(x - r), int16_t(y + d)};
                if (Open_Cell(game, x + r, y + d)) return {int16_t(x + r), int16_t(y + d)};
            }
        }
    }
    std::uniform_int_distribution<size_t> pick(0, game.free_cells.size() - 1);
    std::pair<int16_t, int16_t> cell = game.free_cells[pick(game.random)];
    for (int tries = 0; tries < 64 && !Open_Cell(game, cell.first, cell.second); ++tries)
        cell = game.free_cells[pick(game.random)];
    return cell;
}

// ---- what each client hears ----

Cell_Box Box_Around(int32_t x, int32_t y, int32_t radius) { return {x - radius, y - radius, x + radius, y + radius}; }

bool Everyone_Hears(const Game& game) { return game.options.view_radius <= 0; }

// The cells a client would show a player on, now or before its walk ends; and its bucket.
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

bool Hears(const Slot_View& v, uint32_t cell) {
    const int32_t x = Cell_X(cell), y = Cell_Y(cell);
    return v.near_cells.Contains(x, y) || v.walk.Contains(x, y);
}

// How far from the cell it holds a client's hearing reaches: its view radius, or, while it walks,
// the radius and the view box's half around the walk's start, which its view box held: at the
// map's edge that box reaches a whole box's width from the start.
int32_t Hearing_Reach(const Game& game) { return game.options.view_radius + CLIENT_VIEW_HALF + VIEW_CELLS; }

// The slots of every player who may hear of a cell of the box, each once or more: the buckets
// around it as far as a hearing reaches.
template <class F>
void For_Possible_Hearers(const Game& game, Cell_Box box, F&& f) {
    const int32_t reach = Hearing_Reach(game);
    For_Slots_Near(game.grid, Cell_Box{box.x0 - reach, box.y0 - reach, box.x1 + reach, box.y1 + reach}, f);
}

// "command id\x\y/e/" in the game's frame buffer, which keeps its memory from one to the next.
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

void Tell_Cell(Game& game, Connection& o, const Slot_View& mover, int32_t mover_slot) {
    Queue(game, o, Place_Frame(game, mover.id, mover.cell_x, mover.cell_y));
    Set_Belief(game.beliefs[size_t(o.slot)], mover_slot, Pack_Cell(mover.cell_x, mover.cell_y));
}

// Tells the client the cell of every player it would now show on a wrong cell: those it shows
// inside its view box whose cell is another, and those standing there that it shows elsewhere.
// Every client shows a player it was never told of on (0, 0). Once in a while the cells it was
// told out of its view are forgotten, and it is told those players stand on (0, 0) instead, which
// it cannot see either: so what is kept grows with the players around it, not with everyone.
// When everyone hears everyone, no client is ever shown a player on a wrong cell after it came in.
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
    std::vector<int32_t> stale, forget;
    For_Each_Belief(known, [&](int32_t m, uint32_t believed) {
        const Slot_View& v = game.views[size_t(m)];
        if (Hears(seer, believed)) {
            if (believed != Pack_Cell(v.cell_x, v.cell_y)) stale.push_back(m);
        } else if (prune && !Hears(seer, Pack_Cell(v.cell_x, v.cell_y))) {
            forget.push_back(m);
        }
    });
    for (const int32_t m : stale) tell_if_wrong(m);
    for (const int32_t m : forget) {
        Erase_Belief(known, m);
        Queue(game, o, Place_Frame(game, game.views[size_t(m)].id, 0, 0));
    }
    if (prune) known.prune_at = 2 * known.count;
    Cell_Box box = seer.near_cells;
    if (seer.walk.x0 <= seer.walk.x1)
        box = Cell_Box{std::min(box.x0, seer.walk.x0), std::min(box.y0, seer.walk.y0), std::max(box.x1, seer.walk.x1),
                       std::max(box.y1, seer.walk.y1)};
    For_Slots_Near(game.grid, box, tell_if_wrong);
}

// ---- leaving ----

void Leave_Game(Game& game, Connection& c) {
    const Stage stage = c.stage;
    if (stage == Stage::Started || stage == Stage::Ready) game.by_id.erase(c.id);
    if (stage != Stage::Ready) {
        c.stage = Stage::Fresh;
        return;
    }
    // Every other client's table is the players in order of arrival without itself.
    const auto at = std::find(game.players.begin(), game.players.end(), &c);
    const size_t index = size_t(at - game.players.begin());
    for (size_t j = 0; j < game.players.size(); ++j) {
        if (j == index) continue;
        Queue(game, *game.players[j], Frame_Bytes(CMD_DELPL, Number(int64_t(j < index ? index - 1 : index))));
    }
    if (at != game.players.end()) game.players.erase(at);
    if (Free_Cell(game, c.cell_x, c.cell_y)) {
        uint16_t& here = Occupancy(game, c.cell_x, c.cell_y);
        if (here > 0) --here;
    }
    if (c.account != 0) game.unsaved[c.account] = Position_Save{c.account, c.cell_x, c.cell_y};
    // The slot will be someone else's: nobody was told anything of that player yet.
    for (const Connection* p : game.players) Erase_Belief(game.beliefs[size_t(p->slot)], c.slot);
    game.beliefs[size_t(c.slot)] = Belief_Map{};
    Grid_Remove(game.grid, c.slot);
    game.by_slot[size_t(c.slot)] = nullptr;
    game.views[size_t(c.slot)].active = false;
    game.free_slots.push_back(c.slot);
    c.slot = -1;
    c.stage = Stage::Fresh;
}

// ---- login attempts ----

bool Locked(const Attempts* a, int64_t now) { return a && a->locked_until > now; }

void Record_Failure(Game& game, Attempts& a, int64_t now) {
    a.failures.push_back(now);
    while (!a.failures.empty() && a.failures.front() <= now - 60000) a.failures.pop_front();
    if (int32_t(a.failures.size()) >= game.options.failures_per_minute) {
        a.locked_until = now + int64_t(game.options.lockout_seconds) * 1000;
        a.failures.clear();
    }
}

Attempts* Find_Attempts(std::unordered_map<std::string, Attempts>& map, const std::string& key) {
    auto hit = map.find(key);
    return hit == map.end() ? nullptr : &hit->second;
}

void Login_Failed(Game& game, Connection& c, const std::string& why) {
    ++game.counts.failures;
    Record_Failure(game, game.by_address[c.address], game.now_ms);
    Record_Failure(game, game.by_account[c.name_utf8], game.now_ms);
    Refuse(game, c, TEXT_WRONG_LOGIN, "login refused for " + Quote_Text(c.name) + ": " + why);
}

// ---- messages ----

std::string Cell_Text(const Connection& c) {
    std::string text = "(";
    text.append(Number(c.cell_x)).append(", ").append(Number(c.cell_y)).append(")");
    return text;
}

bool Turn(Game& game, Connection& c, Stage wanted, const char* command) {
    if (c.stage == wanted) return true;
    Log(game, &c, std::string("dropped ") + command + " out of turn");
    return false;
}

void On_Version(Game& game, Connection& c, const std::u16string& data) {
    if (!Turn(game, c, Stage::Fresh, "/ver")) return;
    if (Unescape_Text(data) != GAME_VERSION) {
        Queue(game, c,
              Frame_Bytes(CMD_ERR, Number(ERROR_VERSION) + FIELD_SEPARATOR_BYTE + To_Cp950(u"遊戲版本不相容")));
        Refuse(game, c, u"", "refused version " + Quote_Text(Unescape_Text(data)));
        return;
    }
    c.stage = Stage::Version_Ok;
    Queue(game, c, Frame_Bytes(CMD_VEROK, ""));
}

void On_Id(Game& game, Connection& c, const std::u16string& data) {
    if (c.stage != Stage::Version_Ok && c.stage != Stage::Id_Given) {
        Log(game, &c, "dropped /id out of turn");
        return;
    }
    std::u16string name = Unescape_Text(data);
    const std::string problem = Name_Problem(name, game.options.max_name_chars);
    if (!problem.empty())
        return Refuse(game, c, TEXT_BAD_NAME, "refused identifier " + Quote_Text(name) + ": " + problem);
    c.name = std::move(name);
    c.name_utf8 = To_Utf8(c.name);
    c.stage = Stage::Id_Given;
    // Whether the name has an account is told only after the password, with one message for both.
    Queue(game, c, Frame_Bytes(CMD_IDOK, ""));
}

void On_Pass(Game& game, Connection& c, const std::u16string& data) {
    if (!Turn(game, c, Stage::Id_Given, "/pass")) return;
    const int64_t now = game.now_ms;
    if (Locked(Find_Attempts(game.by_address, c.address), now) ||
        Locked(Find_Attempts(game.by_account, c.name_utf8), now)) {
        ++game.counts.logins_locked;
        return Refuse(game, c, TEXT_TOO_MANY, "login refused for " + Quote_Text(c.name) + ": too many failed attempts");
    }
    std::string password = To_Utf8(Unescape_Text(data));
    if (password.empty() || password.size() > game.options.max_password_bytes)
        return Login_Failed(game, c, password.empty() ? "empty password" : "password too long");
    if (game.checks.size() + game.checks_running >= game.options.max_checks) {
        ++game.counts.logins_busy;
        return Refuse(game, c, TEXT_BUSY, "login refused for " + Quote_Text(c.name) + ": too many logins at once");
    }
    const std::optional<Account> account =
        game.accounts ? Find_Account(*game.accounts, c.name_utf8) : std::optional<Account>();
    Login_Check check;
    check.serial = c.serial;
    check.password = std::move(password);
    check.known = account.has_value();
    check.create = !account && game.options.register_open;
    check.cost = game.options.hash;
    // An unknown name is checked against a decoy, so that it costs as long as a known one.
    check.pass_hash = account ? account->pass_hash : Decoy_Hash(game.options.hash);
    game.checks.push_back(std::move(check));
    c.stage = Stage::Checking;
}

void Start_Player(Game& game, Connection& c, const Account& account) {
    if (game.by_id.size() >= 32767) return Refuse(game, c, TEXT_FULL, "refused: no identifier left");
    // The same account in the game elsewhere (a lost connection, another machine): this login wins.
    for (Connection* other : game.players)
        if (other != &c && other->account == account.id) {
            Refuse(game, *other, TEXT_ELSEWHERE, "logged in again from " + c.peer);
            break;
        }
    for (auto& [id, other] : game.by_id)
        if (other != &c && other->account == account.id && other->stage == Stage::Started) {
            Refuse(game, *other, TEXT_ELSEWHERE, "logged in again from " + c.peer);
            break;
        }
    Settle(game);
    while (game.by_id.count(game.next_id))
        game.next_id = game.next_id == 32767 ? int16_t(1) : int16_t(game.next_id + 1);
    c.id = game.next_id;
    game.next_id = game.next_id == 32767 ? int16_t(1) : int16_t(game.next_id + 1);
    game.by_id[c.id] = &c;
    c.account = account.id;
    c.stage = Stage::Started;
    ++game.counts.logins;
    if (game.accounts) Record_Login(*game.accounts, account.id, Unix_Now());
    Log(game, &c, "logged in as player " + Number(c.id));
    Queue(game, c, Frame_Bytes(CMD_PLSTART, Number(c.id)));
}

void On_Ready(Game& game, Connection& c) {
    if (!Turn(game, c, Stage::Started, "/ready")) return;
    std::optional<Account> account =
        game.accounts ? Find_Account(*game.accounts, c.name_utf8) : std::optional<Account>();
    const auto [x, y] = Start_Cell(game, account);
    if (game.free_slots.empty()) {
        game.free_slots.push_back(int32_t(game.by_slot.size()));
        game.by_slot.push_back(nullptr);
        game.views.emplace_back();
        game.beliefs.emplace_back();
    }
    c.slot = game.free_slots.back();
    game.free_slots.pop_back();
    game.by_slot[size_t(c.slot)] = &c;
    c.walking = false;
    c.path.assign(1, Walk_Cell{x, y, game.now_ms});
    c.tail.clear();
    c.walk_ms = game.now_ms;
    Set_Cell(game, c, x, y);   // before it counts as in the game: no old cell to leave
    c.stage = Stage::Ready;
    Update_View(game, c);
    game.beliefs[size_t(c.slot)] = Belief_Map{};

    Queue(game, c, Place_Frame(game, c.id, c.cell_x, c.cell_y));
    const std::string newcomer = Frame_Bytes(CMD_SETPL, Number(c.id) + FIELD_SEPARATOR_BYTE + To_Cp950(c.name));
    const std::string placed = Place_Frame(game, c.id, c.cell_x, c.cell_y);
    const uint32_t here = Pack_Cell(c.cell_x, c.cell_y);
    for (Connection* o : game.players) {
        // A new entry in a client's table starts on cell (0, 0).
        Queue(game, c, Frame_Bytes(CMD_SETPL, Number(o->id) + FIELD_SEPARATOR_BYTE + To_Cp950(o->name)));
        Queue(game, *o, newcomer);
        const Slot_View& seer = game.views[size_t(o->slot)];
        if (here != ORIGIN_CELL && (Hears(seer, here) || Hears(seer, ORIGIN_CELL))) {
            Queue(game, *o, placed);
            if (!Everyone_Hears(game)) Set_Belief(game.beliefs[size_t(o->slot)], c.slot, here);
        }
    }
    if (Everyone_Hears(game))   // it hears everyone from now on; its table starts all on (0, 0)
        for (const Connection* o : game.players)
            if (Pack_Cell(o->cell_x, o->cell_y) != ORIGIN_CELL)
                Queue(game, c, Place_Frame(game, o->id, o->cell_x, o->cell_y));
    game.players.push_back(&c);
    Refresh_View(game, c);
    Log(game, &c, std::string("in the game at ").append(Cell_Text(c)));
}

// ---- moves ----

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
    auto tell = [&](int32_t o) {
        const Slot_View& seer = game.views[size_t(o)];
        if (!seer.active || o == c.slot || !(Hears(seer, leaves) || Hears(seer, target))) return;
        Queue(game, *game.by_slot[size_t(o)], game.frame);
        if (!Everyone_Hears(game)) Set_Belief(game.beliefs[size_t(o)], c.slot, target);
    };
    if (Everyone_Hears(game)) {
        for (const Connection* p : game.players) tell(p->slot);
    } else {
        For_Possible_Hearers(game,
                             Cell_Box{std::min(from_cell.x, f[2]), std::min(from_cell.y, f[3]),
                                      std::max(from_cell.x, f[2]), std::max(from_cell.y, f[3])},
                             tell);
    }
    Refresh_View(game, c);
}

// A cell the client may report standing on: the one the server holds, or one of its walks'.
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

void Handle(Game& game, Connection& c, const std::string& message) {
    std::u16string command, data;
    Split_Message(From_Cp950(message), command, data);
    if (command == CMD_MOVE) {
        On_Move(game, c, data);
    } else if (command == CMD_GOT) {
        On_Got(game, c, data);
    } else if (command == CMD_SAY) {
        On_Say(game, c, message);
    } else if (command == CMD_VER) {
        On_Version(game, c, data);
    } else if (command == CMD_ID) {
        On_Id(game, c, data);
    } else if (command == CMD_PASS) {
        On_Pass(game, c, data);
    } else if (command == CMD_READY) {
        On_Ready(game, c);
    } else {
        Log(game, &c, "dropped an unknown message " + Quote_Bytes(message));
    }
}

// The per-client message rate: a bucket of `message_burst` tokens refilled at
// `messages_per_second`. False: drop this message.
bool Take_Token(Game& game, Connection& c) {
    const Game_Options& o = game.options;
    if (o.messages_per_second <= 0) return true;
    const int64_t now = game.now_ms;
    c.tokens = std::min(o.message_burst, c.tokens + double(now - c.tokens_ms) * o.messages_per_second / 1000.0);
    c.tokens_ms = now;
    if (now - c.flood_window_ms >= 10000) {
        c.flood_window_ms = now;
        c.dropped_in_window = 0;
    }
    if (c.tokens >= 1) {
        c.tokens -= 1;
        return true;
    }
    ++game.counts.dropped;
    if (++c.dropped_in_window == 1) Log(game, &c, "sends too fast: messages dropped");
    if (double(c.dropped_in_window) > o.messages_per_second * o.flood_seconds) {
        ++game.counts.cut_off[CUT_FLOOD];
        Close_Connection(game, c,
                         "flooding: " + Number(c.dropped_in_window) + " messages dropped in 10 s; disconnected");
    }
    return false;
}

Attempts& Expire(Attempts& a, int64_t now) {
    while (!a.failures.empty() && a.failures.front() <= now - 60000) a.failures.pop_front();
    return a;
}

Connection* Find_Player_By(Game& game, const std::string& who) {
    const std::optional<int16_t> id = Field_Number(From_Utf8(who));
    if (id) {
        auto hit = game.by_id.find(*id);
        if (hit != game.by_id.end()) return hit->second;
    }
    for (auto& [n, c] : game.by_id)
        if (c->name_utf8 == who) return c;
    return nullptr;
}

}   // namespace

void Mark_Dirty(Game& game, Connection& c) {
    if (!c.dirty) {
        c.dirty = true;
        game.dirty.push_back(c.serial);
    }
}

void Mark_Urgent(Game& game, Connection& c) {
    Mark_Dirty(game, c);
    if (!c.urgent) {
        c.urgent = true;
        game.urgent.push_back(c.serial);
    }
}

void Log(Game& game, const Connection* c, const std::string& what) {
    if (what.empty()) return;
    const int64_t now = game.now_ms;
    if (now - game.log_window_ms >= 1000) {
        if (game.log_suppressed > 0 && game.log)
            game.log(Number(int64_t(game.log_suppressed)) + " more log lines suppressed");
        game.log_window_ms = now;
        game.log_lines = 0;
        game.log_suppressed = 0;
    }
    if (++game.log_lines > game.options.log_per_second) {
        ++game.log_suppressed;
        return;
    }
    if (!game.log) return;
    if (c)
        game.log("client " + Number(int64_t(c->serial)) + " (" + c->peer + (c->name.empty() ? "" : " ") +
                 (c->name.empty() ? "" : Quote_Text(c->name)) + "): " + what);
    else
        game.log(what);
}

void Init_Game(Game& game, const Game_Options& options, const Map_Model& map, Account_Store* accounts) {
    game = Game{};
    game.options = options;
    game.map = &map;
    game.accounts = accounts;
    game.log = [](const std::string& line) { std::fprintf(stderr, "isoserver: %s\n", line.c_str()); };
    game.random.seed(options.seed ? options.seed : std::random_device{}());
    game.occupancy.assign(size_t(std::max<int16_t>(map.Map_Width, 0)) * size_t(std::max<int16_t>(map.Map_Height, 0)),
                          0);
    game.walk = Make_Walk_Grid(map);
    game.regions = Find_Walk_Regions(map);
    Init_Player_Grid(game.grid, map.Map_Width, map.Map_Height);
    game.free_cells = Largest_Region_Cells(game.regions);
}

Connection* Open_Connection(Game& game, const std::string& address, const std::string& peer, int64_t now_ms) {
    game.now_ms = now_ms;
    if (game.connections.size() >= game.options.max_clients) {
        Log(game, nullptr, "refused " + peer + ": already " + Number(int64_t(game.connections.size())) + " clients");
        return nullptr;
    }
    if (game.options.connects_per_minute > 0) {
        Attempts& a = game.by_address[address];
        const double burst = game.options.connects_per_minute;
        if (a.connect_tokens < 0) a.connect_tokens = burst;
        a.connect_tokens = std::min(
            burst, a.connect_tokens + double(now_ms - a.connect_ms) * game.options.connects_per_minute / 60000.0);
        a.connect_ms = now_ms;
        if (a.connect_tokens < 1) {
            Log(game, nullptr, "refused " + peer + ": too many connections from " + address);
            return nullptr;
        }
        a.connect_tokens -= 1;
    }
    auto c = std::make_unique<Connection>();
    c->serial = game.next_serial++;
    c->address = address;
    c->peer = peer;
    c->opened_ms = now_ms;
    c->tokens = game.options.message_burst;
    c->tokens_ms = now_ms;
    c->flood_window_ms = now_ms;
    Connection* raw = c.get();
    game.connections.emplace(raw->serial, std::move(c));
    return raw;
}

namespace {

// A client reports its cell with "/got" in every frame while it has no path: before its first
// walk, after a click it found no path for, or at the end of a walk it could not finish. Such a
// report of a cell it may stand on changes nothing the others hear, so it costs none of the rate
// allowance, which would otherwise cut that player off as a flood.
bool Is_Standing_Report(const Connection& c, Cut_Result cut, const std::string& message) {
    if (cut != Cut_Result::Message || c.stage != Stage::Ready) return false;
    static const std::string got = To_Cp950(CMD_GOT) + " ";
    if (message.size() > 32 || message.compare(0, got.size(), got) != 0) return false;
    std::u16string command, data;
    Split_Message(From_Cp950(message), command, data);
    int16_t f[2];
    return command == CMD_GOT && Number_Fields(data, f, 2) && On_Its_Walk(c, f[0], f[1]);
}

}   // namespace

void Receive(Game& game, Connection& c, std::string_view bytes, int64_t now_ms) {
    game.now_ms = now_ms;
    game.counts.bytes_in += bytes.size();
    if (c.gone || c.closing) return;
    c.in.bytes.append(bytes);
    std::string message;
    size_t size = 0;
    while (!c.gone && !c.closing && !c.doomed) {
        const Cut_Result cut = Cut_Message(c.in, game.options.max_message, message, size);
        if (cut == Cut_Result::None) break;
        ++game.counts.messages_in;
        ++game.counts.in_by_command[Command_Index(message)];
        if (!Is_Standing_Report(c, cut, message) && !Take_Token(game, c)) continue;
        if (cut == Cut_Result::Oversized) {
            Log(game, &c,
                "dropped a message of " + Number(int64_t(size)) + " bytes (limit " +
                    Number(int64_t(game.options.max_message)) + ")");
            continue;
        }
        Handle(game, c, message);
        Settle(game);
    }
    Settle(game);
    if (!c.out.empty()) Mark_Urgent(game, c);   // its replies, and its own moves' echo, go now
}

void Close_Connection(Game& game, Connection& c, const std::string& why) {
    if (c.gone) return;
    Log(game, &c, why);
    Leave_Game(game, c);
    c.gone = true;
    c.closing = false;
    c.out.clear();
    Mark_Urgent(game, c);
}

void Forget_Connection(Game& game, uint64_t serial) {
    auto hit = game.connections.find(serial);
    if (hit == game.connections.end()) return;
    Close_Connection(game, *hit->second, "");
    game.doomed.erase(std::remove(game.doomed.begin(), game.doomed.end(), hit->second.get()), game.doomed.end());
    game.connections.erase(hit);
}

Connection* Find_Connection(Game& game, uint64_t serial) {
    auto hit = game.connections.find(serial);
    return hit == game.connections.end() ? nullptr : hit->second.get();
}

void Tick(Game& game, int64_t now_ms) {
    game.now_ms = now_ms;
    std::vector<Connection*> late;
    for (auto& [serial, c] : game.connections) {
        if (c->gone) continue;
        // A refusal its client never reads, or a login that never ends.
        const bool refusal_unread = c->closing && now_ms - c->closing_ms >= CLOSE_GRACE_MS;
        const bool login_overdue = !c->closing && c->stage != Stage::Ready && c->stage != Stage::Checking &&
                                   now_ms - c->opened_ms >= int64_t(game.options.login_seconds) * 1000;
        if (login_overdue) ++game.counts.cut_off[CUT_LOGIN_TIMEOUT];
        if (refusal_unread || login_overdue) late.push_back(c.get());
    }
    for (Connection* c : late)
        Close_Connection(game, *c,
                         c->closing ? "" : "did not log in within " + Number(game.options.login_seconds) + " s");
    if (now_ms - game.last_prune_ms >= 10000) {
        game.last_prune_ms = now_ms;
        for (auto* map : {&game.by_address, &game.by_account}) {
            for (auto it = map->begin(); it != map->end();) {
                Attempts& a = Expire(it->second, now_ms);
                const bool connect_full = a.connect_tokens < 0 || now_ms - a.connect_ms >= 60000;   // refilled by now
                if (a.failures.empty() && a.locked_until <= now_ms && connect_full)
                    it = map->erase(it);
                else
                    ++it;
            }
        }
    }
}

std::vector<Login_Check> Take_Checks(Game& game) {
    std::vector<Login_Check> out;
    out.swap(game.checks);
    game.checks_running += out.size();
    return out;
}

void Run_Check(Login_Check& check) {
    if (check.create)
        check.new_hash = Hash_Password(check.password, check.cost);
    else
        check.matches = Verify_Password(check.pass_hash, check.password);
    sodium_memzero(check.password.data(), check.password.size());
    check.password.clear();
}

void Check_Done(Game& game, Login_Check& check, int64_t now_ms) {
    game.now_ms = now_ms;
    if (game.checks_running > 0) --game.checks_running;
    Connection* c = Find_Connection(game, check.serial);
    if (!c || c->gone || c->closing || c->stage != Stage::Checking) return;
    if (check.create) {
        std::string error;
        if (check.new_hash.empty() || !game.accounts ||
            !Create_Account(*game.accounts, c->name_utf8, check.new_hash, Unix_Now(), error))
            return Login_Failed(game, *c, "the account could not be made: " + (error.empty() ? "no hash" : error));
        Log(game, c, "account made (open registration)");
    } else if (!check.known) {
        return Login_Failed(game, *c, "no such account");
    } else if (!check.matches) {
        return Login_Failed(game, *c, "wrong password");
    }
    const std::optional<Account> account =
        game.accounts ? Find_Account(*game.accounts, c->name_utf8) : std::optional<Account>();
    if (!account) return Login_Failed(game, *c, "the account was deleted meanwhile");
    if (account->banned) {
        ++game.counts.logins_banned;
        const std::u16string reason = Field_Safe(From_Utf8(account->ban_reason));
        return Refuse(game, *c, reason.empty() ? std::u16string(TEXT_BANNED) : TEXT_BANNED + (u"：" + reason),
                      "login refused for " + Quote_Text(c->name) + ": banned");
    }
    Start_Player(game, *c, *account);
    Settle(game);
    if (!c->out.empty()) Mark_Urgent(game, *c);
}

void Run_Checks_Now(Game& game) {
    while (!game.checks.empty()) {
        for (Login_Check& check : Take_Checks(game)) {
            Run_Check(check);
            Check_Done(game, check, game.now_ms);
        }
    }
}

void Commit_Positions(Game& game) {
    if (game.unsaved.empty() || !game.accounts) {
        game.unsaved.clear();
        return;
    }
    std::vector<Position_Save> cells;
    cells.reserve(game.unsaved.size());
    for (const auto& [account, cell] : game.unsaved) cells.push_back(cell);
    const auto started = std::chrono::steady_clock::now();
    const bool saved = Save_Positions(*game.accounts, cells);
    Record_Since(game.counts.commit_seconds, started);
    if (saved)
        game.unsaved.clear();
    else
        Log(game, nullptr, "could not save " + Number(int64_t(cells.size())) + " positions; trying again");
}

void Shutdown_Game(Game& game) {
    std::vector<Connection*> all;
    for (auto& [serial, c] : game.connections) all.push_back(c.get());
    for (Connection* c : all) Close_Connection(game, *c, "");
    Commit_Positions(game);
}

bool Operator_Command(Game& game, const std::string& line, std::string& reply) {
    std::string text = line;
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\n')) text.pop_back();
    const size_t space = text.find(' ');
    const std::string word = text.substr(0, space);
    std::string arg = space == std::string::npos ? "" : text.substr(space + 1);
    reply.clear();
    if (word.empty()) return true;
    if (word == "quit") return false;
    if (word == "help") {
        reply = "commands: list, kick ID|NAME, ban NAME REASON, unban NAME, say TEXT, quit\n";
    } else if (word == "list") {
        reply = Number(int64_t(game.connections.size())) + " connections, " + Number(int64_t(game.players.size())) +
                " players in the game\n";
        for (const Connection* p : game.players)
            reply +=
                "  " + Number(p->id) + " " + Quote_Text(p->name) + " at " + Cell_Text(*p) + " from " + p->peer + "\n";
    } else if (word == "kick") {
        Connection* target = Find_Player_By(game, arg);
        if (!target) {
            reply = "kick: no player " + Quote_Text(From_Utf8(arg)) + "\n";
        } else {
            ++game.counts.cut_off[CUT_KICKED];
            reply = "kicked " + Number(target->id) + " " + Quote_Text(target->name) + "\n";
            Queue(game, *target, Frame_Bytes(CMD_ERR, Number(ERROR_KICKED) + FIELD_SEPARATOR_BYTE));
            Refuse(game, *target, u"", "kicked by the operator");
        }
    } else if (word == "ban" || word == "unban") {
        const size_t gap = arg.find(' ');
        const std::string name = arg.substr(0, gap);
        const std::string reason = word == "ban" && gap != std::string::npos ? arg.substr(gap + 1) : "";
        if (name.empty() || !game.accounts) {
            reply = word + ": NAME" + (word == "ban" ? " REASON" : "") + "\n";
        } else if (!Set_Ban(*game.accounts, name, word == "ban", reason)) {
            reply = word + ": no account " + Quote_Text(From_Utf8(name)) + "\n";
        } else {
            reply = (word == "ban" ? "banned " : "unbanned ") + Quote_Text(From_Utf8(name)) + "\n";
            if (word == "ban")
                for (auto& [id, c] : game.by_id)
                    if (c->name_utf8 == name) {
                        const std::u16string why = Field_Safe(From_Utf8(reason));
                        Refuse(game, *c, why.empty() ? std::u16string(TEXT_BANNED) : TEXT_BANNED + (u"：" + why),
                               "banned by the operator");
                        break;
                    }
        }
    } else if (word == "say") {
        // An announcement: identifier 0 is nobody's, so every client shows it as the last chat line.
        game.frame =
            Frame_Bytes(CMD_SAY, "0" + std::string(1, FIELD_SEPARATOR_BYTE) + To_Cp950(Escape_Text(From_Utf8(arg))));
        for (Connection* o : game.players) Queue(game, *o, game.frame);
        reply = "said to " + Number(int64_t(game.players.size())) + " players\n";
    } else {
        reply = "unknown command " + Quote_Text(From_Utf8(word)) + " (try help)\n";
    }
    Settle(game);
    return true;
}
