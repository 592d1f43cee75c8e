// metrics.cpp -- the published snapshot and its Prometheus and JSON texts.
#include "metrics.h"

#include <charconv>
#include <cstdio>

#include "platform/encoding.h"

namespace {

const char* const STAGE_NAMES[STAGE_COUNT] = {"fresh", "version_ok", "id_given", "checking", "started", "ready"};

// The shortest text that reads back as the same number.
std::string Number_Text(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// "# HELP" and "# TYPE" lines of one metric family.
void Family(std::string& out, const char* name, const char* type, const char* help) {
    out.append("# HELP isoserver_").append(name).append(" ").append(help).append("\n");
    out.append("# TYPE isoserver_").append(name).append(" ").append(type).append("\n");
}

void Sample(std::string& out, const std::string& name, const std::string& labels, double value) {
    out.append("isoserver_").append(name);
    if (!labels.empty()) out.append("{").append(labels).append("}");
    out.append(" ").append(Number_Text(value)).append("\n");
}

void One(std::string& out, const char* name, const char* type, const char* help, double value) {
    Family(out, name, type, help);
    Sample(out, name, "", value);
}

void Histogram_Text(std::string& out, const char* name, const char* help, const Histogram& h) {
    Family(out, name, "histogram", help);
    uint64_t below = 0;
    for (size_t i = 0; i < HISTOGRAM_BOUNDS.size(); ++i) {
        below += h.counts[i];
        Sample(out, std::string(name) + "_bucket", "le=\"" + Number_Text(HISTOGRAM_BOUNDS[i]) + "\"", double(below));
    }
    Sample(out, std::string(name) + "_bucket", "le=\"+Inf\"", double(h.total));
    Sample(out, std::string(name) + "_sum", "", h.sum);
    Sample(out, std::string(name) + "_count", "", double(h.total));
}

void By_Command(std::string& out, const char* name, const char* help,
                const std::array<uint64_t, COMMAND_KINDS>& counts) {
    Family(out, name, "counter", help);
    for (size_t i = 0; i < COMMAND_KINDS; ++i) {
        const std::string command = i < COUNTED_COMMANDS.size() ? std::string(COUNTED_COMMANDS[i].substr(1)) : "other";
        Sample(out, name, "command=\"" + command + "\"", double(counts[i]));
    }
}

// A JSON string, quoted; the text is UTF-8 already.
void Json_String(std::string& out, const std::string& text) {
    out += '"';
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += ch;
        } else if (u < 0x20 || ch == '<') {   // '<': no "</script>" can close a page it is put in
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(u));
            out += escape;
        } else {
            out += ch;
        }
    }
    out += '"';
}

}   // namespace

Status_Info Make_Status_Info(const Game& game, const std::string& name) {
    Status_Info info;
    info.name = To_Utf8(From_Utf8(name));   // valid UTF-8 for the JSON, whatever the command line held
    info.version = To_Utf8(GAME_VERSION);
    info.register_open = game.options.register_open;
    const Map_Model& map = *game.map;
    info.width = map.Map_Width;
    info.height = map.Map_Height;
    for (int32_t y = 0; y < map.Map_Height; ++y) {
        std::string row(size_t(std::max<int16_t>(map.Map_Width, 0)), '#');
        for (int32_t x = 0; x < map.Map_Width; ++x)
            if (map.Ground_Grid(x, y).blocked == 0) row[size_t(x)] = '.';
        info.walkable.push_back(std::move(row));
    }
    return info;
}

Status_Snapshot Take_Snapshot(const Game& game, const std::shared_ptr<const Status_Info>& info, double uptime_seconds) {
    Status_Snapshot s;
    s.info = info;
    s.uptime_seconds = uptime_seconds;
    s.counts = game.counts;
    for (const auto& [serial, c] : game.connections)
        if (c->life != Life::Gone && size_t(c->stage) < STAGE_COUNT) ++s.by_stage[size_t(c->stage)];
    s.checks_waiting = game.checks.size() + game.checks_running;
    s.players.reserve(game.players.size());
    for (const Connection* p : game.players) s.players.push_back({p->id, p->name_utf8, p->cell_x, p->cell_y});
    return s;
}

void Publish(Status_Board& board, std::shared_ptr<const Status_Snapshot> snapshot) {
    std::lock_guard<std::mutex> lock(board.mutex);
    board.latest.swap(snapshot);
    // The old snapshot is freed here, after the lock, when no reader holds it.
}

std::shared_ptr<const Status_Snapshot> Latest(Status_Board& board) {
    std::lock_guard<std::mutex> lock(board.mutex);
    return board.latest;
}

Status_Publisher::Status_Publisher(asio::io_context& io, const Game& game, Status_Board& board,
                                   std::shared_ptr<const Status_Info> info)
    : game_(game), board_(board), info_(std::move(info)), timer_(io) {
    Publish_Now();
}

void Status_Publisher::Stop() { timer_.cancel(); }

void Status_Publisher::Publish_Now() {
    const double uptime = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    Publish(board_, std::make_shared<const Status_Snapshot>(Take_Snapshot(game_, info_, uptime)));
    timer_.expires_after(std::chrono::seconds(1));
    timer_.async_wait([this](const asio::error_code& e) {
        if (!e) Publish_Now();
    });
}

std::string Prometheus_Text(const Status_Snapshot& s, const Process_Usage& usage) {
    const Game_Counts& n = s.counts;
    std::string out;
    out.reserve(8192);
    One(out, "players_online", "gauge", "Players in the game.", double(s.players.size()));
    Family(out, "connections", "gauge", "Open connections, by login stage.");
    for (size_t i = 0; i < STAGE_COUNT; ++i)
        Sample(out, "connections", std::string("stage=\"") + STAGE_NAMES[i] + "\"", double(s.by_stage[i]));
    By_Command(out, "messages_received_total", "Messages received from clients, by command.", n.in_by_command);
    By_Command(out, "messages_sent_total", "Messages queued for clients, by command.", n.out_by_command);
    One(out, "received_bytes_total", "counter", "Bytes received from clients.", double(n.bytes_in));
    One(out, "sent_bytes_total", "counter", "Bytes queued for clients.", double(n.bytes_out));
    One(out, "messages_dropped_total", "counter", "Messages dropped by the per-client rate limit.", double(n.dropped));
    Family(out, "clients_cut_off_total", "counter", "Clients disconnected by the server, by reason.");
    for (size_t i = 0; i < CUT_OFF_REASONS; ++i)
        Sample(out, "clients_cut_off_total", "reason=\"" + std::string(CUT_OFF_NAMES[i]) + "\"", double(n.cut_off[i]));
    Family(out, "logins_total", "counter", "Logins that ended, by outcome.");
    const std::pair<const char*, uint64_t> logins[] = {{"ok", n.logins},
                                                       {"wrong_password", n.failures},
                                                       {"banned", n.logins_banned},
                                                       {"locked", n.logins_locked},
                                                       {"busy", n.logins_busy}};
    for (const auto& [outcome, count] : logins)
        Sample(out, "logins_total", std::string("outcome=\"") + outcome + "\"", double(count));
    One(out, "password_checks_waiting", "gauge", "Password checks queued or running.", double(s.checks_waiting));
    One(out, "moves_refused_total", "counter", "Moves the server refused.", double(n.moves_refused));
    Histogram_Text(out, "turn_seconds", "Time the game thread takes for one turn of its event loop.", n.turn_seconds);
    Histogram_Text(out, "database_commit_seconds", "Time one commit of the players' cells takes.", n.commit_seconds);
    One(out, "resident_memory_bytes", "gauge", "Resident memory of the process.", double(usage.resident_bytes));
    One(out, "cpu_seconds_total", "counter", "User and system CPU time of the process.", usage.cpu_seconds);
    One(out, "uptime_seconds", "gauge", "Time since the server started.", s.uptime_seconds);
    return out;
}

std::string Status_Json(const Status_Snapshot& s) {
    static const Status_Info none;
    const Status_Info& info = s.info ? *s.info : none;
    std::string out = "{\"name\":";
    Json_String(out, info.name);
    out += ",\"version\":";
    Json_String(out, info.version);
    out += ",\"uptime_seconds\":" + std::to_string(int64_t(s.uptime_seconds));
    out += std::string(",\"registration_open\":") + (info.register_open ? "true" : "false");
    out += ",\"map\":{\"width\":" + std::to_string(info.width) + ",\"height\":" + std::to_string(info.height);
    out += ",\"walkable\":[";
    for (size_t y = 0; y < info.walkable.size(); ++y) {
        if (y > 0) out += ',';
        Json_String(out, info.walkable[y]);
    }
    out += "]},\"players_online\":" + std::to_string(s.players.size()) + ",\"players\":[";
    for (size_t i = 0; i < s.players.size(); ++i) {
        const Status_Player& p = s.players[i];
        out += i > 0 ? ",{\"id\":" : "{\"id\":";
        out += std::to_string(p.id) + ",\"name\":";
        Json_String(out, p.name);
        out += ",\"x\":" + std::to_string(p.cell_x) + ",\"y\":" + std::to_string(p.cell_y) + "}";
    }
    out += "]}";
    return out;
}

std::string Plain_Line(const std::string& line) {
    std::string out;
    out.reserve(line.size());
    for (const char ch : line) {
        const auto u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(u));
            out += escape;
        } else {
            out += ch;
        }
    }
    return out;
}
