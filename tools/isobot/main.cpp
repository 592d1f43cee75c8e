// main.cpp -- isobot: protocol bots that log in to a server on this machine, walk to random free
// cells and chat for a bounded time, then report message rates, "/move" round trips and anything
// a well-behaved bot should never see (an error, a lost echo, a disconnect). With --chaos, bots
// beside them send what a broken or hostile client would, and reconnect at once.
#include <asio.hpp>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "map/map_file.h"
#include "map/path_search.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/tls_common.h"
#include "tools/isobot/link.h"
#include "wire/wire.h"

namespace {

using Clock = std::chrono::steady_clock;
using Cells = std::vector<std::pair<int16_t, int16_t>>;

// The map as the bots walk it: the free cells for the path search, and the cells of the largest
// walkable region, where the server starts every player and where all targets lie.
struct World {
    Walk_Grid walk;
    Cells cells;
};

// The path search's work space, one for each event loop.
struct Search_Space {
    Path_Numbers numbers;
    Path_Scratch scratch;
    std::vector<int16_t> steps;
};

// A bot walks as the game client does, a step at least every 201 ms: a little slower, so that
// it is never ahead of where the server reckons it can be.
constexpr auto BOT_STEP = std::chrono::milliseconds(250);

// The bytes of a command word and the space after it, as the messages begin.
std::string Prefix(const char16_t* command) { return To_Cp950(command) + " "; }
const std::string MOVE_PREFIX = Prefix(CMD_MOVE), SAY_PREFIX = Prefix(CMD_SAY), SETPLXY_PREFIX = Prefix(CMD_SETPLXY),
                  VEROK_PREFIX = Prefix(CMD_VEROK), IDOK_PREFIX = Prefix(CMD_IDOK),
                  PLSTART_PREFIX = Prefix(CMD_PLSTART), ERR_PREFIX = Prefix(CMD_ERR);

struct Options {
    std::string host = "127.0.0.1";
    uint16_t port = 7000;
    int bots = 10;
    int chaos = 0;
    int threads = 1;
    double seconds = 10;
    std::string map_file = "data/testmap.map";
    int move_ms = 1000;   // mean time between two walks of one bot
    int say_ms = 5000;    // mean time between two chat lines of one bot
    std::string prefix = "bot";
    std::string password = "pw";
    bool far = false;          // walks to any free cell, not only to those in view
    double warmup = 0;         // seconds before round trips count (logins and first views settle)
    int watch = 0;             // the server's process id: its memory and descriptors are sampled
    double watch_after = 60;   // seconds: the first memory sample (at most a third of the run)
    bool plain = false;        // the bare protocol, for a server started with --plain
    asio::ssl::context* tls = nullptr;
};

struct Totals {
    uint64_t received = 0, sent = 0, errors = 0, logged_in = 0, refused = 0, lost = 0, missing = 0;
    uint64_t chaos_connects = 0, chaos_closed = 0, chaos_bytes = 0;
    std::vector<double> round_trips_ms;
    std::vector<std::string> first_problems;
    void Problem(const std::string& what) {
        if (first_problems.size() < 5) first_problems.push_back(what);
    }
};

struct Pending {
    int16_t x = 0, y = 0;
    Clock::time_point sent;
};

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

class Bot : public std::enable_shared_from_this<Bot> {
public:
    Bot(asio::io_context& io, int number, const Options& options, const World& world, Search_Space& search,
        Totals& totals)
        : link_(io, *options.tls, options.plain), move_timer_(io), say_timer_(io), got_timer_(io), number_(number),
          options_(options), world_(world), search_(search), totals_(totals),
          random_(uint32_t(number) * 2654435761u + 1) {}

    void Start(const asio::ip::tcp::endpoint& server) {
        auto self = shared_from_this();
        link_.Connect(server, [self](const asio::error_code& error) {
            if (error) return self->Fail("connect: " + error.message());
            self->Send(CMD_VER, To_Cp950(Escape_Text(GAME_VERSION)));
            self->Read();
        });
    }

    // Ends the run: echoes still awaited after `grace` count as lost.
    void Stop(Clock::time_point now, std::chrono::milliseconds grace) {
        if (!stopped_) {
            for (const Pending& p : pending_)
                if (now - p.sent > grace) ++totals_.missing;
            for (const Clock::time_point& t : said_)
                if (now - t > grace) ++totals_.missing;
        }
        Close();
    }

private:
    void Close() {
        stopped_ = true;
        asio::error_code ignored;
        move_timer_.cancel();
        say_timer_.cancel();
        got_timer_.cancel();
        link_.Close();
    }

    void Fail(const std::string& why) {
        if (stopped_) return;
        totals_.Problem("bot " + std::to_string(number_) + ": " + why);
        ++totals_.lost;
        Close();
    }

    void Send(const char16_t* command, const std::string& data) {
        if (stopped_) return;
        out_ += Frame_Bytes(command, data);
        ++totals_.sent;
        Write();
    }

    void Write() {
        if (!writing_.empty() || out_.empty() || stopped_) return;
        writing_.swap(out_);
        auto self = shared_from_this();
        link_.Write(asio::buffer(writing_), [self](const asio::error_code& error, size_t) {
            self->writing_.clear();
            if (error) return self->Fail("write: " + error.message());
            self->Write();
        });
    }

    void Read() {
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

    void Handle_Input() {
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
    void Handle(const std::string& message) {
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

    std::chrono::milliseconds Jitter(int mean_ms) {
        std::uniform_int_distribution<int> d(mean_ms / 2, mean_ms + mean_ms / 2);
        return std::chrono::milliseconds(std::max(1, d(random_)));
    }

    // Where the bot stands now: along its walk, a step every BOT_STEP from its start.
    std::pair<int16_t, int16_t> Cell_Now() const {
        if (walk_.empty()) return {stand_x_, stand_y_};
        const size_t steps = size_t((Clock::now() - walk_start_) / BOT_STEP);
        return walk_[std::min(steps, walk_.size() - 1)];
    }

    void Stand(int16_t x, int16_t y) {
        stand_x_ = x;
        stand_y_ = y;
        walk_.clear();
        got_timer_.cancel();
    }

    // The path the client would walk to the target, from where the bot stands; "/got" at its end.
    void Walk_To(int16_t x, int16_t y) {
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

    void Schedule_Move() {
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
    std::optional<std::pair<int16_t, int16_t>> Target() {
        const Cells& cells = world_.cells;
        std::uniform_int_distribution<size_t> pick(0, cells.size() - 1);
        if (options_.far) return cells[pick(random_)];
        for (int tries = 0; tries < 200; ++tries) {
            const auto cell = cells[pick(random_)];
            if (std::abs(cell.first - stand_x_) > VIEW_HALF || std::abs(cell.second - stand_y_) > VIEW_HALF) continue;
            if (Search_From_View(world_.walk, stand_x_, stand_y_, cell.first, cell.second, search_.numbers,
                                 search_.scratch, search_.steps) == Path_Result::Found)
                return cell;
        }
        return std::nullopt;
    }

    void Schedule_Say() {
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

    Bot_Link link_;
    asio::steady_timer move_timer_, say_timer_, got_timer_;
    int number_;
    const Options& options_;
    const World& world_;
    Search_Space& search_;
    Totals& totals_;
    std::mt19937 random_;
    std::array<char, 16384> buffer_{};
    static constexpr size_t MAX_MESSAGE = size_t(64) << 10;
    Message_Stream in_;
    std::string out_, writing_;
    bool stopped_ = false, walking_ = false;
    int16_t id_ = -1, stand_x_ = 0, stand_y_ = 0;     // where it stands, or its walk's start
    std::vector<std::pair<int16_t, int16_t>> walk_;   // the cells of its walk, the start first
    Clock::time_point walk_start_;
    int said_count_ = 0;
    std::deque<Pending> pending_;
    std::deque<Clock::time_point> said_;
    Clock::time_point counting_from_ =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options_.warmup));
};

// A client gone wrong: each of its connections does one kind of harm, then it connects again.
class Chaos_Bot : public std::enable_shared_from_this<Chaos_Bot> {
public:
    enum Kind { Malformed, Half_Open, Oversized, Random_Bytes, Cut_Off, Slow_Reader, Flood, KINDS };

    Chaos_Bot(asio::io_context& io, int number, const Options& options, const asio::ip::tcp::endpoint& server,
              Totals& totals)
        : io_(io), timer_(io), number_(number), options_(options), server_(server), totals_(totals),
          random_(uint32_t(number) * 40503u + 7) {}

    void Start() {
        if (stopped_) return;
        kind_ = Kind((number_ + rounds_++) % KINDS);
        steps_ = 0;
        if (link_) link_->Close();
        // A fresh connection each time; the last one lives on in its handlers until they end.
        link_ = std::make_shared<Bot_Link>(io_, *options_.tls, options_.plain);
        auto self = shared_from_this();
        link_->Connect(server_, [self, link = link_](const asio::error_code& error) {
            if (self->stopped_ || link != self->link_) return;
            ++self->totals_.chaos_connects;
            if (error) return self->Again(std::chrono::milliseconds(50));
            self->Read();
            self->Act();
        });
    }

    void Stop() {
        stopped_ = true;
        timer_.cancel();
        if (link_) link_->Close();
    }

private:
    // Connects again after a pause (at once when 0).
    void Again(std::chrono::milliseconds pause) {
        if (stopped_) return;
        if (link_) link_->Close();
        auto self = shared_from_this();
        timer_.expires_after(pause);
        timer_.async_wait([self](const asio::error_code& e) {
            if (!e) self->Start();
        });
    }

    std::string Login() {
        const std::string name = To_Cp950(Escape_Text(From_Utf8("chaos" + std::to_string(number_))));
        return Frame_Bytes(CMD_VER, To_Cp950(Escape_Text(GAME_VERSION))) + Frame_Bytes(CMD_ID, name) +
               Frame_Bytes(CMD_PASS, To_Cp950(Escape_Text(From_Utf8(options_.password)))) + Frame_Bytes(CMD_READY, "");
    }

    std::string Random_Text(size_t n) {
        static const char pieces[] = "/e\\#$ 0123456789-abz\r\n\x01\xA4\x40\xFF";
        std::uniform_int_distribution<size_t> pick(0, sizeof pieces - 2);
        std::string out;
        for (size_t i = 0; i < n; ++i) out += pieces[pick(random_)];
        return out;
    }

    void Send(std::string bytes, const std::function<void()>& then) {
        totals_.chaos_bytes += bytes.size();
        auto self = shared_from_this();
        auto data = std::make_shared<std::string>(std::move(bytes));
        link_->Write(asio::buffer(*data), [self, data, then, link = link_](const asio::error_code& error, size_t) {
            if (self->stopped_ || link != self->link_) return;
            if (error) return self->Again(std::chrono::milliseconds(0));
            then();
        });
    }

    void Later(int ms, const std::function<void()>& then) {
        auto self = shared_from_this();
        timer_.expires_after(std::chrono::milliseconds(ms));
        timer_.async_wait([self, then](const asio::error_code& e) {
            if (!e && !self->stopped_) then();
        });
    }

    void Act() {
        auto self = shared_from_this();
        std::uniform_int_distribution<int> coin(0, 9);
        switch (kind_) {
            case Malformed: {
                // Known commands with broken fields, out of turn, without a space, in odd case.
                static const std::string junk[] = {Frame_Bytes(CMD_MOVE, "1\\2"),
                                                   Frame_Bytes(CMD_MOVE, "x\\y\\z\\w"),
                                                   Frame_Bytes(CMD_MOVE, "99999\\0\\0\\0"),
                                                   Frame_Bytes(CMD_GOT, ""),
                                                   Frame_Bytes(u"/READY", ""),
                                                   Frame_Bytes(CMD_PASS, ""),
                                                   Frame_Bytes(CMD_ID, ""),
                                                   Frame_Bytes(CMD_ID, "ab/#e"),
                                                   Frame_Bytes(CMD_ID, "/#e"),
                                                   Frame_Bytes(CMD_VER, "9.9"),
                                                   To_Cp950(CMD_SAY) + std::string(WIRE_TERMINATOR),   // no space
                                                   Frame_Bytes(CMD_SETPL, "1\\x"),
                                                   std::string(WIRE_TERMINATOR) + std::string(WIRE_TERMINATOR),
                                                   Frame_Bytes(CMD_VER, "0.1 beta") + Frame_Bytes(CMD_ID, "a/$b"),
                                                   Frame_Bytes(CMD_MOVE, "-1\\-1\\-1\\-1")};
                std::string burst = coin(random_) < 5 ? Login() : "";
                for (int i = 0; i < 8; ++i) burst += junk[size_t(coin(random_) + i) % (sizeof junk / sizeof junk[0])];
                return Send(burst, [self] { self->Later(200, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            }
            case Half_Open:
                // Half a message, held open until the server gives up or the round ends.
                return Send(Frame_Bytes(CMD_VER, "0.1 beta").substr(0, 11),
                            [self] { self->Later(3000, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            case Oversized: {
                // A message over the limit whose terminator is split across two writes, then a whole one.
                std::string big = SAY_PREFIX + std::string(9000, 'x') + "/e";
                return Send(big, [self] {
                    self->Later(20, [self] {
                        self->Send("/" + Frame_Bytes(CMD_VER, "0.1 beta"),
                                   [self] { self->Later(300, [self] { self->Again(std::chrono::milliseconds(0)); }); });
                    });
                });
            }
            case Random_Bytes:
                if (++steps_ > 20) return Again(std::chrono::milliseconds(0));
                return Send(Random_Text(200), [self] { self->Later(50, [self] { self->Act(); }); });
            case Cut_Off:
                // Logs in, starts a message and disconnects in its middle; connects again at once.
                return Send(Login() + MOVE_PREFIX + "1\\1\\", [self] { self->Again(std::chrono::milliseconds(0)); });
            case Slow_Reader:
                // Logs in properly and then reads a little now and then (see Read).
                slow_ = true;
                return Send(Login(),
                            [self] { self->Later(5000, [self] { self->Again(std::chrono::milliseconds(0)); }); });
            case Flood: {
                std::string burst = Login();
                for (int i = 0; i < 200; ++i) burst += Frame_Bytes(CMD_SAY, "flood");
                if (++steps_ > 10) return Again(std::chrono::milliseconds(0));
                return Send(burst, [self] { self->Later(10, [self] { self->Act(); }); });
            }
            case KINDS: break;
        }
    }

    void Read() {
        auto self = shared_from_this();
        const size_t want = slow_ ? 256 : buffer_.size();
        link_->Read_Some(asio::buffer(buffer_.data(), want),
                         [self, link = link_](const asio::error_code& error, size_t) {
                             if (self->stopped_ || link != self->link_) return;
                             if (error) {
                                 ++self->totals_.chaos_closed;
                                 return;   // the action under way connects again
                             }
                             if (self->slow_) {
                                 auto timer = std::make_shared<asio::steady_timer>(self->io_);
                                 timer->expires_after(std::chrono::milliseconds(100));
                                 timer->async_wait([self, timer, link](const asio::error_code& e) {
                                     if (!e && !self->stopped_ && link == self->link_) self->Read();
                                 });
                                 return;
                             }
                             self->Read();
                         });
    }

    asio::io_context& io_;
    std::shared_ptr<Bot_Link> link_;
    asio::steady_timer timer_;
    int number_;
    const Options& options_;
    asio::ip::tcp::endpoint server_;
    Totals& totals_;
    std::mt19937 random_;
    std::array<char, 16384> buffer_{};
    Kind kind_ = Malformed;
    int rounds_ = 0, steps_ = 0;
    bool slow_ = false, stopped_ = false;
};

// The resident memory (kB) and open descriptors of a process on this machine; -1 when unknown.
int64_t Rss_Kb(int pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");   // its size reads as 0
    for (std::string line; std::getline(file, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atoll(line.c_str() + 6);
    return -1;
}

int64_t Descriptors(int pid) {
    std::error_code ec;
    int64_t n = 0;
    for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec), end; !ec && it != end;
         it.increment(ec))
        ++n;
    return ec ? -1 : n;
}

void Print_Help() {
    std::puts(
        "isobot -- load, chaos and soak bots for isoserver (this machine only)\n"
        "\n"
        "usage: isobot [options]\n"
        "\n"
        "  --host ADDR      the server: a loopback address (127.x.x.x, ::1) or localhost (default 127.0.0.1)\n"
        "  --port N         the server's port (default 7000)\n"
        "  --bots N         well-behaved bots, 0..20000 (default 10)\n"
        "  --chaos N        bots beside them that send malformed, truncated, oversized and random\n"
        "                   messages, hold half messages open, disconnect mid-message, read slowly,\n"
        "                   flood, and connect again at once (default 0)\n"
        "  --threads N      event-loop threads, 1..16 (default 1)\n"
        "  --plain          the bare protocol, for a server started with --plain (default: TLS)\n"
        "  --seconds S      how long to run, 0.1..86400 (default 10)\n"
        "  --map FILE       the server's map, for free target cells (default data/testmap.map)\n"
        "  --move-ms N      mean milliseconds between two clicks of one bot (default 1000), each on a\n"
        "                   cell in the bot's view (19 cells each way) that the game's path search\n"
        "                   reaches; the bot walks the path as the client does, a step per 250 ms\n"
        "  --far            click any free cell of the map instead; the server refuses those out of\n"
        "                   reach, so these moves are not awaited (a load of refused moves)\n"
        "  --warmup S       round trips of moves sent in the first S seconds are not counted (the\n"
        "                   logins, and each newcomer's table of everyone, settle first; default 0)\n"
        "  --say-ms N       mean milliseconds between two chat lines of one bot (default 5000)\n"
        "  --prefix TEXT    bot names are TEXT + number (default bot)\n"
        "  --password TEXT  the bots' password (default pw); run the server with --register open\n"
        "  --watch PID      the server's process: prints its resident memory after --watch-after\n"
        "                   seconds (default 60, at most a third of the run) and at the end, and its\n"
        "                   open descriptors before the bots connect and after they have left\n"
        "\n"
        "Prints messages per second (received and sent by the well-behaved bots), the round trip of\n"
        "\"/move\" to its echo (p50, p99, max), and what they should never see: errors, echoes of their\n"
        "moves and chat lines that never came, disconnects. Exit status 0 only when every\n"
        "well-behaved bot logged in and saw none of those.");
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    const size_t k = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size())));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

}   // namespace

static int Run(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](double low, double high, double& out) {
            if (!value) return false;
            char* end = nullptr;
            out = std::strtod(value, &end);
            ++i;
            return *value && !*end && out >= low && out <= high;
        };
        double n = 0;
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            Print_Help();
            return 0;
        } else if (arg == "--host" && value) {
            options.host = argv[++i];
        } else if (arg == "--port") {
            ok = number(1, 65535, n);
            options.port = uint16_t(n);
        } else if (arg == "--bots") {
            ok = number(0, 20000, n);
            options.bots = int(n);
        } else if (arg == "--chaos") {
            ok = number(0, 20000, n);
            options.chaos = int(n);
        } else if (arg == "--threads") {
            ok = number(1, 16, n);
            options.threads = int(n);
        } else if (arg == "--seconds") {
            ok = number(0.1, 86400, n);
            options.seconds = n;
        } else if (arg == "--map" && value) {
            options.map_file = argv[++i];
        } else if (arg == "--move-ms") {
            ok = number(2, 3600000, n);
            options.move_ms = int(n);
        } else if (arg == "--say-ms") {
            ok = number(2, 3600000, n);
            options.say_ms = int(n);
        } else if (arg == "--prefix" && value) {
            options.prefix = argv[++i];
        } else if (arg == "--password" && value) {
            options.password = argv[++i];
        } else if (arg == "--warmup") {
            ok = number(0, 86400, n);
            options.warmup = n;
        } else if (arg == "--plain") {
            options.plain = true;
        } else if (arg == "--far") {
            options.far = true;
        } else if (arg == "--watch") {
            ok = number(1, 4194304, n);
            options.watch = int(n);
        } else if (arg == "--watch-after") {
            ok = number(0.1, 86400, n);
            options.watch_after = n;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "isobot: bad option '%s' (see --help)\n", arg.c_str());
            return 2;
        }
    }

    // Loopback only: the bots are a load tool for one's own server, never for anyone else's.
    asio::error_code ec;
    const asio::ip::address address =
        options.host == "localhost" ? asio::ip::make_address("127.0.0.1") : asio::ip::make_address(options.host, ec);
    if (ec || !address.is_loopback()) {
        std::fprintf(stderr, "isobot: refusing '%s': only a loopback address (127.0.0.1, ::1, localhost)\n",
                     options.host.c_str());
        return 2;
    }

    const std::optional<std::string> bytes = Read_Whole_File(options.map_file);
    if (!bytes) {
        std::fprintf(stderr, "isobot: cannot read the map file '%s'\n", options.map_file.c_str());
        return 1;
    }
    World world;
    try {
        const Map_Model map = Parse_Map(*bytes, options.map_file);
        world.walk = Make_Walk_Grid(map);
        const Walk_Regions regions = Find_Walk_Regions(map);
        for (int32_t y = 0; y < regions.height; ++y)
            for (int32_t x = 0; x < regions.width; ++x)
                if (regions.In_Largest(x, y)) world.cells.emplace_back(int16_t(x), int16_t(y));
    } catch (const Data_Error& error) {
        std::fprintf(stderr, "isobot: damaged map file: %s\n", error.what());
        return 1;
    }
    if (world.cells.empty()) {
        std::fprintf(stderr, "isobot: the map has no free cell\n");
        return 1;
    }

    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(options.bots + options.chaos) + 16)
        std::fprintf(stderr, "isobot: warning: %llu descriptors allowed for %d bots\n",
                     (unsigned long long)limit.rlim_cur, options.bots + options.chaos);
    std::signal(SIGPIPE, SIG_IGN);
    const std::unique_ptr<asio::ssl::context> tls = Make_Bot_Tls();
    options.tls = tls.get();

    const int64_t fd_before = options.watch ? Descriptors(options.watch) : -1;
    int64_t rss_first = -1, rss_end = -1, fd_load = -1;
    std::thread watcher;
    std::mutex watch_mutex;
    std::condition_variable watch_wake;
    bool watch_done = false;
    if (options.watch) {
        // Samples on its own thread, so the bots' loops never wait for /proc.
        watcher = std::thread([&] {
            const double first = std::min(options.watch_after, options.seconds / 3);
            std::unique_lock<std::mutex> lock(watch_mutex);
            if (!watch_wake.wait_for(lock, std::chrono::duration<double>(first), [&] { return watch_done; })) {
                rss_first = Rss_Kb(options.watch);
                fd_load = Descriptors(options.watch);
            }
            watch_wake.wait_for(lock, std::chrono::duration<double>(options.seconds - first - 0.2),
                                [&] { return watch_done; });
            rss_end = Rss_Kb(options.watch);
        });
    }

    // Each thread runs its share of the bots on an event loop of its own.
    struct Lane {
        asio::io_context io;
        Totals totals;
        Search_Space search;
        std::vector<std::shared_ptr<Bot>> bots;
        std::vector<std::shared_ptr<Chaos_Bot>> chaos;
    };
    std::vector<std::unique_ptr<Lane>> lanes;
    lanes.reserve(size_t(options.threads));
    for (int t = 0; t < options.threads; ++t) lanes.push_back(std::make_unique<Lane>());
    const asio::ip::tcp::endpoint server(address, options.port);
    for (int b = 0; b < options.bots; ++b) {
        Lane& lane = *lanes[size_t(b % options.threads)];
        lane.bots.push_back(std::make_shared<Bot>(lane.io, b + 1, options, world, lane.search, lane.totals));
        lane.bots.back()->Start(server);
    }
    for (int b = 0; b < options.chaos; ++b) {
        Lane& lane = *lanes[size_t(b % options.threads)];
        lane.chaos.push_back(std::make_shared<Chaos_Bot>(lane.io, b + 1, options, server, lane.totals));
        lane.chaos.back()->Start();
    }
    const auto start = Clock::now();
    const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    std::vector<std::thread> threads;
    for (auto& lane_ptr : lanes) {
        Lane* lane = lane_ptr.get();
        threads.emplace_back([lane, length, &options] {
            asio::steady_timer end(lane->io);
            end.expires_after(length);
            end.async_wait([lane, &options](const asio::error_code&) {
                // Echoes may be in flight at the end; only those overdue by far count as lost.
                const auto grace = std::chrono::milliseconds(std::max(2000, options.move_ms * 2));
                const auto now = Clock::now();
                for (auto& bot : lane->bots) bot->Stop(now, grace);
                for (auto& bot : lane->chaos) bot->Stop();
            });
            lane->io.run();
        });
    }
    for (std::thread& t : threads) t.join();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    int64_t fd_after = -1;
    if (watcher.joinable()) {
        {
            std::lock_guard<std::mutex> lock(watch_mutex);
            watch_done = true;
        }
        watch_wake.notify_all();
        watcher.join();
        // The server closes the bots' connections as it notices them gone.
        for (int i = 0; i < 100; ++i) {
            fd_after = Descriptors(options.watch);
            if (fd_after <= fd_before) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    Totals totals;
    for (auto& lane : lanes) {
        const Totals& t = lane->totals;
        totals.received += t.received;
        totals.sent += t.sent;
        totals.errors += t.errors;
        totals.logged_in += t.logged_in;
        totals.refused += t.refused;
        totals.lost += t.lost;
        totals.missing += t.missing;
        totals.chaos_connects += t.chaos_connects;
        totals.chaos_closed += t.chaos_closed;
        totals.chaos_bytes += t.chaos_bytes;
        totals.round_trips_ms.insert(totals.round_trips_ms.end(), t.round_trips_ms.begin(), t.round_trips_ms.end());
        for (const std::string& p : t.first_problems) totals.Problem(p);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::vector<double>& rtt = totals.round_trips_ms;
    std::printf("isobot: %d bots, %.1f s, %llu logged in, %llu refused, %llu lost, %llu errors, %llu echoes missing\n",
                options.bots, elapsed, (unsigned long long)totals.logged_in, (unsigned long long)totals.refused,
                (unsigned long long)totals.lost, (unsigned long long)totals.errors, (unsigned long long)totals.missing);
    std::printf("  messages received %llu (%.0f/s), sent %llu (%.0f/s)\n", (unsigned long long)totals.received,
                double(totals.received) / elapsed, (unsigned long long)totals.sent, double(totals.sent) / elapsed);
    const double p50 = Percentile(rtt, 50), p99 = Percentile(rtt, 99);
    const double max = rtt.empty() ? 0 : *std::max_element(rtt.begin(), rtt.end());
    std::printf("  move round trip: %zu samples, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", rtt.size(), p50, p99, max);
    std::printf("  isobot CPU: %.1f s on %d threads\n", cpu, options.threads);
    if (options.chaos > 0)
        std::printf("  chaos: %d bots, %llu connections, %llu closed by the server, %llu bytes sent\n", options.chaos,
                    (unsigned long long)totals.chaos_connects, (unsigned long long)totals.chaos_closed,
                    (unsigned long long)totals.chaos_bytes);
    if (options.watch)
        std::printf(
            "  server: rss_first_kb=%lld rss_end_kb=%lld growth=%.1f%% fd_before=%lld fd_load=%lld "
            "fd_after=%lld\n",
            (long long)rss_first, (long long)rss_end,
            rss_first > 0 ? 100.0 * double(rss_end - rss_first) / double(rss_first) : 0.0, (long long)fd_before,
            (long long)fd_load, (long long)fd_after);
    for (const std::string& p : totals.first_problems) std::printf("  problem: %s\n", p.c_str());
    const bool clean =
        totals.logged_in == uint64_t(options.bots) && totals.lost == 0 && totals.errors == 0 && totals.missing == 0;
    return clean ? 0 : 1;
}

int main(int argc, char** argv) {
    // Anything unforeseen ends the program with its reason, not with an abort.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", "isobot", e.what());
        return 1;
    }
}
