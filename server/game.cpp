// game.cpp -- a connection's turn: opened under the limits, its bytes cut into messages under a
// rate and handed to the part of the rules each is for, its time limits, and the log.
#include <algorithm>
#include <cstdio>

#include "game_parts.h"
#include "platform/encoding.h"
#include "text.h"

namespace {

constexpr int64_t CLOSE_GRACE_MS = 2000;

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

std::string Number(int64_t value) { return std::to_string(value); }

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

void Receive(Game& game, Connection& c, std::string_view bytes, int64_t now_ms) {
    game.now_ms = now_ms;
    game.counts.bytes_in += bytes.size();
    if (c.life == Life::Gone || c.life == Life::Closing) return;
    c.in.bytes.append(bytes);
    std::string message;
    size_t size = 0;
    while (c.life == Life::Open) {
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
    if (!c.out.empty()) Mark_Urgent(game, c);   // its replies, and its own moves' echo, go now
}

Connection* Find_Connection(Game& game, uint64_t serial) {
    auto hit = game.connections.find(serial);
    return hit == game.connections.end() ? nullptr : hit->second.get();
}

void Tick(Game& game, int64_t now_ms) {
    game.now_ms = now_ms;
    std::vector<Connection*> late;
    for (auto& [serial, c] : game.connections) {
        if (c->life == Life::Gone) continue;
        // A refusal its client never reads, or a login that never ends.
        const bool refusal_unread = c->life == Life::Closing && now_ms - c->closing_ms >= CLOSE_GRACE_MS;
        const bool login_overdue = c->life != Life::Closing && c->stage != Stage::Ready &&
                                   c->stage != Stage::Checking &&
                                   now_ms - c->opened_ms >= int64_t(game.options.login_seconds) * 1000;
        if (login_overdue) ++game.counts.cut_off[CUT_LOGIN_TIMEOUT];
        if (refusal_unread || login_overdue) late.push_back(c.get());
    }
    for (Connection* c : late)
        Close_Connection(
            game, *c,
            c->life == Life::Closing ? "" : "did not log in within " + Number(game.options.login_seconds) + " s");
    if (now_ms - game.last_prune_ms >= 10000) {
        game.last_prune_ms = now_ms;
        Prune_Attempts(game, now_ms);
    }
}

void Shutdown_Game(Game& game) {
    std::vector<Connection*> all;
    for (auto& [serial, c] : game.connections) all.push_back(c.get());
    for (Connection* c : all) Close_Connection(game, *c, "");
    Commit_Positions(game);
}
