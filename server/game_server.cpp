// game_server.cpp -- the reference game server: handshake, start cells, moves, chat, leaving,
// and the operator's kick, with every client's bad input dropped and logged.
#include "game_server.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "platform/encoding.h"
#include "platform/error_codes.h"
#include "wire/wire.h"

namespace {

constexpr size_t MAX_NAME_CHARS = 32;

std::string Ascii(const std::u16string& text) { return To_Utf8(text); }

std::string Number(int32_t value) { return std::to_string(value); }

// Printable form of received bytes for the log: the first 60 characters in UTF-8, control
// characters as \xNN.
std::string Quote(const std::string& bytes) {
    std::u16string text = From_Cp950(bytes.substr(0, 240));
    std::u16string shown;
    for (size_t i = 0; i < text.size() && i < 60; ++i) {
        char16_t c = text[i];
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
            shown += From_Utf8(hex);
        } else {
            shown += c;
        }
    }
    std::string out = To_Utf8(shown);
    if (text.size() > 60 || bytes.size() > 240) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

}   // namespace

Game_Server::Game_Server(asio::io_context& io, const Server_Options& options, const Map_Model& map)
    : io_(io), options_(options), map_(map), acceptor_(io), retry_timer_(io), stats_timer_(io),
      random_(options.seed ? options.seed : std::random_device{}()) {
    for (int32_t y = 0; y < map_.Map_Height; ++y)
        for (int32_t x = 0; x < map_.Map_Width; ++x)
            if (map_.Ground_Grid(x, y).blocked == 0) free_cells_.emplace_back(int16_t(x), int16_t(y));
}

bool Game_Server::Start() {
    asio::error_code ec;
    asio::ip::address address = asio::ip::make_address(options_.bind, ec);
    if (ec) {
        Log(nullptr, "bad bind address '" + options_.bind + "': " + ec.message());
        return false;
    }
    if (free_cells_.empty()) {
        Log(nullptr, "the map has no free cell to start players on");
        return false;
    }
    asio::ip::tcp::endpoint endpoint(address, options_.port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        Log(nullptr, "cannot listen on " + options_.bind + ":" + Number(options_.port) + ": " + ec.message());
        return false;
    }
    port_ = acceptor_.local_endpoint().port();
    Accept();
    if (options_.stats) Stats_Tick();
    return true;
}

void Game_Server::Stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_timer_.cancel();
    stats_timer_.cancel();
    for (auto& [serial, client] : clients_) {
        client->closed = true;
        client->close_timer.cancel();
        client->socket.close(ignored);
    }
    clients_.clear();
    by_id_.clear();
    players_.clear();
    dirty_.clear();
}

// ---- connections ----

void Game_Server::Accept() {
    auto client = std::make_shared<Client>(io_);
    acceptor_.async_accept(client->socket, [this, client](const asio::error_code& error) {
        if (stopped_) return;
        if (error) {
            // Out of descriptors, most likely: wait a little rather than spin.
            Log(nullptr, "accept failed: " + error.message());
            retry_timer_.expires_after(std::chrono::milliseconds(100));
            retry_timer_.async_wait([this](const asio::error_code& e) {
                if (!e && !stopped_) Accept();
            });
            return;
        }
        client->serial = next_serial_++;
        asio::error_code ec;
        auto remote = client->socket.remote_endpoint(ec);
        client->peer = ec ? "?" : remote.address().to_string() + ":" + Number(remote.port());
        if (clients_.size() >= options_.max_clients) {
            Log(client.get(), "refused: already " + Number(int32_t(clients_.size())) + " clients");
            client->socket.close(ec);
        } else {
            client->socket.set_option(asio::ip::tcp::no_delay(true), ec);
            clients_[client->serial] = client;
            Read(client);
        }
        Accept();
    });
}

void Game_Server::Read(const Client_Ptr& client) {
    client->socket.async_read_some(
        asio::buffer(client->read_buffer), [this, client](const asio::error_code& error, size_t n) {
            if (client->closed) return;
            if (n > 0 && !client->closing) {
                client->in.bytes.append(client->read_buffer.data(), n);
                Handle_Input(client);
                if (client->closed) return;
            }
            if (error) {
                bool left = error == asio::error::eof || error == asio::error::connection_reset;   // a quit
                Drop(client, left ? "" : "connection lost: " + error.message());
                return;
            }
            Read(client);
        });
}

void Game_Server::Handle_Input(const Client_Ptr& client) {
    std::string message;
    size_t size = 0;
    for (;;) {
        if (client->closed || client->closing) return;
        const Cut_Result cut = Cut_Message(client->in, options_.max_message, message, size);
        if (cut == Cut_Result::None) return;
        ++messages_in_;
        if (cut == Cut_Result::Oversized) {
            Log(client.get(), "dropped a message of " + Number(int32_t(std::min<size_t>(size, INT32_MAX))) +
                                  " bytes (limit " + Number(int32_t(options_.max_message)) + ")");
            continue;
        }
        Handle(client, message);
    }
}

void Game_Server::Queue(const Client_Ptr& client, const std::string& bytes) {
    if (client->closed || client->doomed) return;
    ++messages_out_;
    client->out += bytes;
    if (client->out.size() + client->writing.size() > options_.max_output) {
        // Never let one client that does not read hold the others' memory. Dropped from a fresh
        // handler, so no loop over the players is changed under its feet.
        client->out.clear();
        client->doomed = true;
        asio::post(io_, [this, client] {
            Drop(client, "does not read: more than " + Number(int32_t(options_.max_output)) + " bytes queued");
        });
        return;
    }
    // Sent at the end of this turn of the loop, so everything queued meanwhile goes in one write.
    if (!client->flush_pending) {
        client->flush_pending = true;
        dirty_.push_back(client);
    }
    if (!flush_posted_) {
        flush_posted_ = true;
        asio::post(io_, [this] { Flush(); });
    }
}

void Game_Server::Flush() {
    flush_posted_ = false;
    std::vector<Client_Ptr> dirty;
    dirty.swap(dirty_);
    for (const Client_Ptr& client : dirty) {
        client->flush_pending = false;
        Write(client);
    }
}

void Game_Server::Write(const Client_Ptr& client) {
    if (client->closed || !client->writing.empty()) return;
    if (client->out.empty()) {
        if (client->closing) Close_Now(client);
        return;
    }
    client->writing.swap(client->out);
    asio::async_write(client->socket, asio::buffer(client->writing),
                      [this, client](const asio::error_code& error, size_t) {
                          client->writing.clear();
                          if (client->closed) return;
                          if (error) {
                              bool left = error == asio::error::connection_reset || error == asio::error::broken_pipe;
                              Drop(client, left ? "" : "write failed: " + error.message());
                              return;
                          }
                          Write(client);
                      });
}

void Game_Server::Refuse(const Client_Ptr& client, const std::string& bytes, const std::string& why) {
    Log(client.get(), why);
    Queue(client, bytes);
    if (client->closed) return;
    Leave_Game(client);
    client->closing = true;
    // A client that never reads its refusal is cut off anyway.
    client->close_timer.expires_after(std::chrono::seconds(2));
    client->close_timer.async_wait([this, client](const asio::error_code& e) {
        if (!e) Close_Now(client);
    });
    Write(client);
}

void Game_Server::Drop(const Client_Ptr& client, const std::string& why) {
    if (client->closed) return;
    if (!why.empty()) Log(client.get(), why);
    Leave_Game(client);
    Close_Now(client);
}

void Game_Server::Close_Now(const Client_Ptr& client) {
    if (client->closed) return;
    Leave_Game(client);
    client->closed = true;
    asio::error_code ignored;
    client->close_timer.cancel();
    client->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    client->socket.close(ignored);
    clients_.erase(client->serial);
}

// Takes the player out of the game: every other client removes it at its own table position.
void Game_Server::Leave_Game(const Client_Ptr& client) {
    Stage stage = client->stage;
    client->stage = Stage::Fresh;
    client->table.clear();
    if (stage == Stage::Started || stage == Stage::Ready) by_id_.erase(client->id);
    if (stage != Stage::Ready) return;
    players_.erase(std::remove(players_.begin(), players_.end(), client), players_.end());
    for (const Client_Ptr& other : players_) {
        auto hit = std::find(other->table.begin(), other->table.end(), client->id);
        if (hit == other->table.end()) continue;
        int32_t position = int32_t(hit - other->table.begin());
        other->table.erase(hit);
        Queue(other, Frame_Bytes(CMD_DELPL, Number(position)));
    }
}

// ---- messages ----

void Game_Server::Handle(const Client_Ptr& c, const std::string& message) {
    std::u16string command, data;
    Split_Message(From_Cp950(message), command, data);
    if (command == CMD_VER) {
        On_Version(c, data);
    } else if (command == CMD_ID) {
        On_Id(c, data);
    } else if (command == CMD_PASS) {
        if (c->stage != Stage::Id_Given) return Log(c.get(), "dropped /pass out of turn");
        On_Pass(c);
    } else if (command == CMD_READY) {
        if (c->stage != Stage::Started) return Log(c.get(), "dropped /ready out of turn");
        On_Ready(c);
    } else if (command == CMD_MOVE || command == CMD_GOT || command == CMD_SAY) {
        // A client's game may send before its "/ready" has arrived: dropped quietly.
        if (c->stage != Stage::Ready) return;
        if (command == CMD_MOVE)
            On_Move(c, data);
        else if (command == CMD_GOT)
            On_Got(c, data);
        else
            On_Say(c, message);
    } else {
        Log(c.get(), "dropped unknown message '" + Quote(message) + "'");
    }
}

void Game_Server::On_Version(const Client_Ptr& c, const std::u16string& data) {
    if (c->stage != Stage::Fresh) return Log(c.get(), "dropped /ver out of turn");
    if (Unescape_Text(data) != GAME_VERSION) {
        return Refuse(c,
                      Frame_Bytes(CMD_ERR, Number(ERROR_VERSION) + FIELD_SEPARATOR_BYTE + To_Cp950(u"遊戲版本不相容")),
                      "refused version '" + Ascii(Unescape_Text(data)) + "'");
    }
    c->stage = Stage::Version_Ok;
    Queue(c, Frame_Bytes(CMD_VEROK, ""));
}

void Game_Server::On_Id(const Client_Ptr& c, const std::u16string& data) {
    if (c->stage != Stage::Version_Ok && c->stage != Stage::Id_Given) return Log(c.get(), "dropped /id out of turn");
    std::u16string name = Unescape_Text(data);
    // The name goes out unescaped in "/setpl": it must not break a field or a frame there.
    bool bad = name.empty() || name.size() > MAX_NAME_CHARS || name.find(u'\\') != std::u16string::npos ||
               name.find(TEXT_TERMINATOR) != std::u16string::npos ||
               std::any_of(name.begin(), name.end(), [](char16_t ch) { return ch < 0x20 || ch == 0x7F; });
    if (bad) {
        return Refuse(c, Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(u"帳號不合規定")),
                      "refused identifier '" + Ascii(name) + "'");
    }
    if (Name_In_Game(name, c.get())) {
        return Refuse(c, Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(u"帳號已在遊戲中")),
                      "refused identifier '" + Ascii(name) + "': already in the game");
    }
    c->name = name;
    c->stage = Stage::Id_Given;
    Queue(c, Frame_Bytes(CMD_IDOK, ""));
}

void Game_Server::On_Pass(const Client_Ptr& c) {
    // Checked again: another connection may have taken the name since "/idok".
    if (Name_In_Game(c->name, c.get())) {
        return Refuse(c, Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(u"帳號已在遊戲中")),
                      "refused identifier '" + Ascii(c->name) + "': already in the game");
    }
    if (by_id_.size() >= 32767) {
        return Refuse(c, Frame_Bytes(CMD_ERR, Number(ERROR_OTHER) + FIELD_SEPARATOR_BYTE + To_Cp950(u"遊戲已滿")),
                      "refused: no identifier left");
    }
    while (by_id_.count(next_id_)) next_id_ = next_id_ == 32767 ? int16_t(1) : int16_t(next_id_ + 1);
    c->id = next_id_;
    next_id_ = next_id_ == 32767 ? int16_t(1) : int16_t(next_id_ + 1);
    by_id_[c->id] = c;
    c->stage = Stage::Started;
    Queue(c, Frame_Bytes(CMD_PLSTART, Number(c->id)));
}

void Game_Server::On_Ready(const Client_Ptr& c) {
    Place(*c);
    std::string own = Frame_Bytes(CMD_SETPLXY, Number(c->id) + FIELD_SEPARATOR_BYTE + Number(c->cell_x) +
                                                   FIELD_SEPARATOR_BYTE + Number(c->cell_y));
    Queue(c, own);
    std::string newcomer = Frame_Bytes(CMD_SETPL, Number(c->id) + FIELD_SEPARATOR_BYTE + To_Cp950(c->name)) + own;
    for (const Client_Ptr& other : players_) {
        if (other->doomed) continue;   // on its way out: neither side hears of the other
        Queue(c, Frame_Bytes(CMD_SETPL, Number(other->id) + FIELD_SEPARATOR_BYTE + To_Cp950(other->name)) +
                     Frame_Bytes(CMD_SETPLXY, Number(other->id) + FIELD_SEPARATOR_BYTE + Number(other->cell_x) +
                                                  FIELD_SEPARATOR_BYTE + Number(other->cell_y)));
        c->table.push_back(other->id);
        Queue(other, newcomer);
        other->table.push_back(c->id);
        messages_out_ += 2;
    }
    c->stage = Stage::Ready;
    players_.push_back(c);
}

void Game_Server::On_Move(const Client_Ptr& c, const std::u16string& data) {
    std::optional<int16_t> f[4];
    for (int i = 0; i < 4; ++i) f[i] = Field_Number(Get_Field(data, FIELD_SEPARATOR, i));
    if (!f[0] || !f[1] || !f[2] || !f[3]) return Log(c.get(), "dropped /move with a bad number: '" + Ascii(data) + "'");
    if (!Free_Target(*f[2], *f[3])) return;   // a click on a wall: nothing to tell anyone
    c->placed_x = *f[2];
    c->placed_y = *f[3];
    std::string echo = Frame_Bytes(
        CMD_MOVE, Number(c->id) + FIELD_SEPARATOR_BYTE + Number(*f[2]) + FIELD_SEPARATOR_BYTE + Number(*f[3]));
    for (const Client_Ptr& other : players_) Queue(other, echo);
}

void Game_Server::On_Got(const Client_Ptr& c, const std::u16string& data) {
    std::optional<int16_t> x = Field_Number(Get_Field(data, FIELD_SEPARATOR, 0)),
                           y = Field_Number(Get_Field(data, FIELD_SEPARATOR, 1));
    if (!x || !y) return Log(c.get(), "dropped /got with a bad number: '" + Ascii(data) + "'");
    // Before its start cell or its last move has reached the client, it reports an older cell.
    if (*x != c->placed_x || *y != c->placed_y) return;
    c->cell_x = *x;
    c->cell_y = *y;
}

void Game_Server::On_Say(const Client_Ptr& c, const std::string& raw_message) {
    // The chat text goes on byte for byte, still escaped, as the client sent it.
    size_t space = raw_message.find(' ');
    std::string text = space == std::string::npos ? std::string() : raw_message.substr(space + 1);
    std::string line = Frame_Bytes(CMD_SAY, Number(c->id) + FIELD_SEPARATOR_BYTE + text);
    for (const Client_Ptr& other : players_) Queue(other, line);
}

bool Game_Server::Name_In_Game(const std::u16string& name, const Client* except) const {
    for (const auto& [id, client] : by_id_)
        if (client.get() != except && client->name == name) return true;
    return false;
}

bool Game_Server::Free_Target(int32_t x, int32_t y) const {
    return x >= 0 && y >= 0 && x < map_.Map_Width && y < map_.Map_Height && map_.Ground_Grid(x, y).blocked == 0;
}

void Game_Server::Place(Client& c) {
    std::set<std::pair<int16_t, int16_t>> taken;
    for (const Client_Ptr& other : players_) taken.emplace(other->cell_x, other->cell_y);
    std::uniform_int_distribution<size_t> pick(0, free_cells_.size() - 1);
    std::pair<int16_t, int16_t> cell = free_cells_[pick(random_)];
    for (int tries = 0; tries < 64 && taken.count(cell); ++tries) cell = free_cells_[pick(random_)];
    c.cell_x = c.placed_x = cell.first;
    c.cell_y = c.placed_y = cell.second;
}

// ---- the operator ----

bool Game_Server::Command(const std::string& line) {
    std::string word = line.substr(0, line.find(' '));
    std::string arg = line.size() > word.size() ? line.substr(word.size() + 1) : "";
    while (!arg.empty() && (arg.back() == '\r' || arg.back() == ' ')) arg.pop_back();
    while (!word.empty() && word.back() == '\r') word.pop_back();
    if (word.empty()) return true;
    if (word == "quit") return false;
    if (word == "help") {
        std::printf("commands: kick ID (a player's number or name), list, quit\n");
    } else if (word == "list") {
        std::printf("%zu connections, %zu players in the game\n", clients_.size(), players_.size());
        for (const Client_Ptr& p : players_)
            std::printf("  %d %s at (%d, %d)\n", p->id, Ascii(p->name).c_str(), p->cell_x, p->cell_y);
    } else if (word == "kick") {
        Client_Ptr target;
        std::optional<int16_t> id = Field_Number(From_Utf8(arg));
        if (id && by_id_.count(*id)) target = by_id_[*id];
        for (const auto& [n, client] : by_id_)
            if (!target && client->name == From_Utf8(arg)) target = client;
        if (!target) {
            std::printf("kick: no player '%s'\n", arg.c_str());
        } else {
            Refuse(target, Frame_Bytes(CMD_ERR, Number(ERROR_KICKED) + FIELD_SEPARATOR_BYTE), "kicked by the operator");
            std::printf("kicked %d %s\n", target->id, Ascii(target->name).c_str());
        }
    } else {
        std::printf("unknown command '%s' (try help)\n", word.c_str());
    }
    std::fflush(stdout);
    return true;
}

// ---- log and statistics ----

void Game_Server::Log(const Client* client, const std::string& what) {
    auto now = std::chrono::steady_clock::now();
    if (now - log_window_ >= std::chrono::seconds(1)) {
        if (log_suppressed_ > 0) std::fprintf(stderr, "isoserver: %zu more log lines suppressed\n", log_suppressed_);
        log_window_ = now;
        log_lines_ = 0;
        log_suppressed_ = 0;
    }
    if (++log_lines_ > options_.log_per_second) {
        ++log_suppressed_;
        return;
    }
    if (client)
        std::fprintf(stderr, "isoserver: client %llu (%s%s%s): %s\n", (unsigned long long)client->serial,
                     client->peer.c_str(), client->name.empty() ? "" : " ", Ascii(client->name).c_str(), what.c_str());
    else
        std::fprintf(stderr, "isoserver: %s\n", what.c_str());
}

void Game_Server::Stats_Tick() {
    static uint64_t last_in = 0, last_out = 0;
    stats_timer_.expires_after(std::chrono::seconds(10));
    stats_timer_.async_wait([this](const asio::error_code& e) {
        if (e || stopped_) return;
        std::printf("isoserver: %zu connections, %zu players, %.0f messages/s in, %.0f messages/s out\n",
                    clients_.size(), players_.size(), double(messages_in_ - last_in) / 10.0,
                    double(messages_out_ - last_out) / 10.0);
        std::fflush(stdout);
        last_in = messages_in_;
        last_out = messages_out_;
        Stats_Tick();
    });
}
