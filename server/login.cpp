// login.cpp -- joining the game: the handshake, the password checks and their limits, the start
// cell, an account logged in twice, and leaving the game.
#include <sodium.h>

#include <algorithm>
#include <ctime>

#include "game_parts.h"
#include "platform/encoding.h"
#include "platform/error_codes.h"
#include "text.h"

namespace {

const char16_t* const TEXT_WRONG_LOGIN = u"帳號或密碼錯誤";
const char16_t* const TEXT_BANNED = u"帳號已被停權";
const char16_t* const TEXT_TOO_MANY = u"嘗試次數過多，請稍後再試";
const char16_t* const TEXT_BUSY = u"伺服器忙碌，請稍後再試";
const char16_t* const TEXT_ELSEWHERE = u"帳號已在別處登入";
const char16_t* const TEXT_BAD_NAME = u"帳號不合規定";
const char16_t* const TEXT_FULL = u"遊戲已滿";

int64_t Unix_Now() { return int64_t(std::time(nullptr)); }

// ---- attempts

bool Locked(const Attempts* a, int64_t now) { return a && a->locked_until > now; }

Attempts& Expire(Attempts& a, int64_t now) {
    while (!a.failures.empty() && a.failures.front() <= now - 60000) a.failures.pop_front();
    return a;
}

void Record_Failure(Game& game, Attempts& a, int64_t now) {
    a.failures.push_back(now);
    Expire(a, now);
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

bool Turn(Game& game, Connection& c, Stage wanted, const char* command) {
    if (c.stage == wanted) return true;
    Log(game, &c, std::string("dropped ") + command + " out of turn");
    return false;
}

std::optional<Account> Account_Of(Game& game, const Connection& c) {
    return game.accounts ? Find_Account(*game.accounts, c.name_utf8) : std::optional<Account>();
}

// ---- the start cell

// A cell a player can be started or restored on: free, in the largest walkable region (no one
// is put where they could never walk out), and nobody's.
bool Open_Cell(Game& game, int32_t x, int32_t y) { return game.regions.In_Largest(x, y) && Occupancy(game, x, y) == 0; }

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

// ---- the login

void Start_Player(Game& game, Connection& c, const Account& account) {
    if (game.by_id.size() >= 32767) return Refuse(game, c, TEXT_FULL, "refused: no identifier left");
    // The same account with an identifier elsewhere (a lost connection, another machine): this
    // login wins. Listed first: refusing takes them out of by_id.
    std::vector<Connection*> elsewhere;
    for (auto& [id, other] : game.by_id)
        if (other != &c && other->account == account.id) elsewhere.push_back(other);
    for (Connection* other : elsewhere) Refuse(game, *other, TEXT_ELSEWHERE, "logged in again from " + c.peer);
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

}   // namespace

std::u16string Ban_Text(const std::string& reason) {
    const std::u16string why = Field_Safe(From_Utf8(reason));
    return why.empty() ? std::u16string(TEXT_BANNED) : TEXT_BANNED + (u"：" + why);
}

void Prune_Attempts(Game& game, int64_t now_ms) {
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
    const std::optional<Account> account = Account_Of(game, c);
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
    if (!c || c->life != Life::Open || c->stage != Stage::Checking) return;
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
    const std::optional<Account> account = Account_Of(game, *c);
    if (!account) return Login_Failed(game, *c, "the account was deleted meanwhile");
    if (account->banned) {
        ++game.counts.logins_banned;
        return Refuse(game, *c, Ban_Text(account->ban_reason), "login refused for " + Quote_Text(c->name) + ": banned");
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

void On_Ready(Game& game, Connection& c) {
    if (!Turn(game, c, Stage::Started, "/ready")) return;
    const auto [x, y] = Start_Cell(game, Account_Of(game, c));
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
