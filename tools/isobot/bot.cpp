// bot.cpp -- the well-behaved bot: its login, its walks and chat lines, and what it counts.
#include "tools/isobot/bot.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "map/map_file.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace {

// A bot walks as the game client does, a step at least every 201 ms: a little slower, so that
// it is never ahead of where the server reckons it can be.
constexpr auto BOT_STEP = std::chrono::milliseconds(250);

const std::string SETPLXY_PREFIX = Prefix(CMD_SETPLXY), VEROK_PREFIX = Prefix(CMD_VEROK),
                  IDOK_PREFIX = Prefix(CMD_IDOK), PLSTART_PREFIX = Prefix(CMD_PLSTART), ERR_PREFIX = Prefix(CMD_ERR);

// The numbers after `prefix` in `message`, separated by "\\", if it starts with it. Parsed in
// place: the bots read every message the server sends and decode only their own.
bool Field_After(std::string_view message, std::string_view prefix, int16_t* out, size_t count) {
    if (message.substr(0, prefix.size()) != prefix) return false;
    size_t at = prefix.size();
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) {
            if (at >= message.size() || message[at] != '\\') return false;
            ++at;
        }
        const bool negative = at < message.size() && message[at] == '-';
        if (negative) ++at;
        int32_t value = 0;
        size_t digits = 0;
        for (; at < message.size() && message[at] >= '0' && message[at] <= '9' && digits < 6; ++at, ++digits)
            value = value * 10 + (message[at] - '0');
        if (digits == 0 || digits > 5 || value > 32767 + int32_t(negative)) return false;
        out[i] = int16_t(negative ? -value : value);
    }
    return at == message.size() || message[at] == '\\';
}

}   // namespace

std::string Prefix(const char16_t* command) { return To_Cp950(command) + " "; }
const std::string MOVE_PREFIX = Prefix(CMD_MOVE), SAY_PREFIX = Prefix(CMD_SAY);

std::optional<World> Load_World(const std::string& map_file) {
    const std::optional<std::string> bytes = Read_Whole_File(map_file);
    if (!bytes) {
        std::fprintf(stderr, "isobot: cannot read the map file '%s'\n", map_file.c_str());
        return std::nullopt;
    }
    World world;
    try {
        const Map_Model map = Parse_Map(*bytes, map_file);
        world.walk = Make_Walk_Grid(map);
        world.cells = Largest_Region_Cells(Find_Walk_Regions(map));
    } catch (const Data_Error& error) {
        std::fprintf(stderr, "isobot: damaged map file: %s\n", error.what());
        return std::nullopt;
    }
    if (world.cells.empty()) {
        std::fprintf(stderr, "isobot: the map has no free cell\n");
        return std::nullopt;
    }
    return world;
}

Bot::Bot(asio::io_context& io, int number, const Options& options, const World& world, Search_Space& search,
         Totals& totals)
    : link_(io, *options.tls, options.plain), move_timer_(io), say_timer_(io), got_timer_(io), number_(number),
      options_(options), world_(world), search_(search), totals_(totals), random_(uint32_t(number) * 2654435761u + 1) {}

void Bot::Start(const asio::ip::tcp::endpoint& server) {
    auto self = shared_from_this();
    link_.Connect(server, [self](const asio::error_code& error) {
        if (error) return self->Fail("connect: " + error.message());
        self->Send(CMD_VER, To_Cp950(Escape_Text(GAME_VERSION)));
        self->Read();
    });
}

// Ends the run: echoes still awaited after `grace` count as lost.
void Bot::Stop(Clock::time_point now, std::chrono::milliseconds grace) {
    if (!stopped_) {
        for (const Pending& p : pending_)
            if (now - p.sent > grace) ++totals_.missing;
        for (const Clock::time_point& t : said_)
            if (now - t > grace) ++totals_.missing;
    }
    Close();
}

void Bot::Close() {
    stopped_ = true;
    asio::error_code ignored;
    move_timer_.cancel();
    say_timer_.cancel();
    got_timer_.cancel();
    link_.Close();
}

void Bot::Fail(const std::string& why) {
    if (stopped_) return;
    totals_.Problem("bot " + std::to_string(number_) + ": " + why);
    ++totals_.lost;
    Close();
}

void Bot::Send(const char16_t* command, const std::string& data) {
    if (stopped_) return;
    out_ += Frame_Bytes(command, data);
    ++totals_.sent;
    Write();
}

void Bot::Write() {
    if (!writing_.empty() || out_.empty() || stopped_) return;
    writing_.swap(out_);
    auto self = shared_from_this();
    link_.Write(asio::buffer(writing_), [self](const asio::error_code& error, size_t) {
        self->writing_.clear();
        if (error) return self->Fail("write: " + error.message());
        self->Write();
    });
}

void Bot::Read() {
    auto self = shared_from_this();
    link_.Read_Some(asio::buffer(buffer_), [self](const asio::error_code& error, size_t n) {
        if (self->stopped_) return;
        self->in_.bytes.append(self->buffer_.data(), n);
        self->Handle_Input();
        if (error)
            return self->Fail(error == asio::error::eof || error == asio::ssl::error::stream_truncated
                                  ? "the server closed the connection"
                                  : "read: " + error.message());
        self->Read();
    });
}

void Bot::Handle_Input() {
    std::string message;
    size_t size = 0;
    while (!stopped_) {
        const Cut_Result cut = Cut_Message(in_, MAX_MESSAGE, message, size);
        if (cut == Cut_Result::None) break;
        ++totals_.received;
        if (cut == Cut_Result::Oversized) continue;
        Handle(message);
    }
}

// Only what concerns this bot is decoded; the rest is counted.
void Bot::Handle(const std::string& message) {
    int16_t f[3];
    if (Field_After(message, MOVE_PREFIX, f, 3)) {
        if (f[0] != id_) return;
        // Moves always come back, in order: one that does not is lost.
        while (!pending_.empty()) {
            const Pending p = pending_.front();
            pending_.pop_front();
            if (p.x == f[1] && p.y == f[2]) {
                if (p.sent >= counting_from_)
                    totals_.round_trips_ms.push_back(
                        std::chrono::duration<double, std::milli>(Clock::now() - p.sent).count());
                break;
            }
            ++totals_.missing;
            totals_.Problem("bot " + std::to_string(number_) + ": a move's echo never came");
        }
        // The echo of the last click starts the walk, from the cell the bot stopped on.
        if (pending_.empty()) Walk_To(f[1], f[2]);
    } else if (Field_After(message, SAY_PREFIX, f, 1)) {
        if (f[0] == id_ && !said_.empty()) said_.pop_front();
    } else if (Field_After(message, SETPLXY_PREFIX, f, 3)) {
        if (f[0] != id_) return;
        Stand(f[1], f[2]);
        if (!walking_) {
            walking_ = true;
            Schedule_Move();
            Schedule_Say();
        }
    } else if (message.rfind(VEROK_PREFIX, 0) == 0) {
        Send(CMD_ID, To_Cp950(Escape_Text(From_Utf8(options_.prefix + std::to_string(number_)))));
    } else if (message.rfind(IDOK_PREFIX, 0) == 0) {
        Send(CMD_PASS, To_Cp950(Escape_Text(From_Utf8(options_.password))));
    } else if (Field_After(message, PLSTART_PREFIX, f, 1)) {
        id_ = f[0];
        ++totals_.logged_in;
        Send(CMD_READY, "");
    } else if (message.rfind(ERR_PREFIX, 0) == 0) {
        ++totals_.errors;
        ++totals_.refused;
        Fail("refused: " + To_Utf8(From_Cp950(message)));
    }
}

std::chrono::milliseconds Bot::Jitter(int mean_ms) {
    std::uniform_int_distribution<int> d(mean_ms / 2, mean_ms + mean_ms / 2);
    return std::chrono::milliseconds(std::max(1, d(random_)));
}

// Where the bot stands now: along its walk, a step every BOT_STEP from its start.
std::pair<int16_t, int16_t> Bot::Cell_Now() const {
    if (walk_.empty()) return {stand_x_, stand_y_};
    const size_t steps = size_t((Clock::now() - walk_start_) / BOT_STEP);
    return walk_[std::min(steps, walk_.size() - 1)];
}

void Bot::Stand(int16_t x, int16_t y) {
    stand_x_ = x;
    stand_y_ = y;
    walk_.clear();
    got_timer_.cancel();
}

// The path the client would walk to the target, from where the bot stands; "/got" at its end.
void Bot::Walk_To(int16_t x, int16_t y) {
    const auto [from_x, from_y] = Cell_Now();
    Stand(from_x, from_y);
    if (Search_From_View(world_.walk, from_x, from_y, x, y, search_.numbers, search_.scratch, search_.steps) !=
        Path_Result::Found) {
        totals_.Problem("bot " + std::to_string(number_) + ": no path for an echoed move");
        return;
    }
    walk_.assign(1, {from_x, from_y});
    for (const int16_t d : search_.steps)
        walk_.emplace_back(int16_t(walk_.back().first + CELL_STEPS[d].x),
                           int16_t(walk_.back().second + CELL_STEPS[d].y));
    walk_start_ = Clock::now();
    auto self = shared_from_this();
    got_timer_.expires_after(BOT_STEP * int(walk_.size() - 1));
    got_timer_.async_wait([self](const asio::error_code& error) {
        if (error || self->stopped_ || self->walk_.empty()) return;
        const auto [gx, gy] = self->walk_.back();
        self->Send(CMD_GOT, To_Cp950(Join_Numbers({gx, gy})));
    });
}

void Bot::Schedule_Move() {
    auto self = shared_from_this();
    move_timer_.expires_after(Jitter(options_.move_ms));
    move_timer_.async_wait([self](const asio::error_code& error) {
        if (error || self->stopped_) return;
        // A click stops the bot where it is until the echo comes, so the server, which
        // reckons the walk from the echo, never finds it farther along than it can be.
        const auto [from_x, from_y] = self->Cell_Now();
        self->Stand(from_x, from_y);
        if (const auto target = self->Target()) {
            const auto [x, y] = *target;
            if (!self->options_.far) self->pending_.push_back({x, y, Clock::now()});
            if (self->pending_.size() > 1000) self->pending_.pop_front();
            self->Send(CMD_MOVE, To_Cp950(Join_Numbers({from_x, from_y, x, y})));
        }
        self->Schedule_Move();
    });
}

// A cell the player could click and walk to: within its view box (19 cells each way) and
// reached by the game's search from where it stands; anywhere in the largest region with
// --far, which the server refuses unless it is near. None when no try found one.
std::optional<std::pair<int16_t, int16_t>> Bot::Target() {
    const Cells& cells = world_.cells;
    std::uniform_int_distribution<size_t> pick(0, cells.size() - 1);
    if (options_.far) return cells[pick(random_)];
    for (int tries = 0; tries < 200; ++tries) {
        const auto cell = cells[pick(random_)];
        if (std::abs(cell.first - stand_x_) > VIEW_HALF || std::abs(cell.second - stand_y_) > VIEW_HALF) continue;
        if (Search_From_View(world_.walk, stand_x_, stand_y_, cell.first, cell.second, search_.numbers, search_.scratch,
                             search_.steps) == Path_Result::Found)
            return cell;
    }
    return std::nullopt;
}

void Bot::Schedule_Say() {
    auto self = shared_from_this();
    say_timer_.expires_after(Jitter(options_.say_ms));
    say_timer_.async_wait([self](const asio::error_code& error) {
        if (error || self->stopped_) return;
        const std::u16string line = u"你好 a/b\\c #" + From_Utf8(std::to_string(++self->said_count_));
        self->said_.push_back(Clock::now());
        if (self->said_.size() > 1000) self->said_.pop_front();
        self->Send(CMD_SAY, To_Cp950(Escape_Text(line)));
        self->Schedule_Say();
    });
}
