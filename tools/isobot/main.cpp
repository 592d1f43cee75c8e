// main.cpp -- isobot: protocol bots that log in to a server on this machine, walk to random free
// cells and chat for a bounded time, then report message rates and "/move" round trips.
#include <asio.hpp>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "map/map_file.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "wire/wire.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string host = "127.0.0.1";
    uint16_t port = 7000;
    int bots = 10;
    double seconds = 10;
    std::string map_file = "data/testmap.map";
    int move_ms = 1000;   // mean time between two walks of one bot
    int say_ms = 5000;    // mean time between two chat lines of one bot
    std::string prefix = "bot";
};

struct Totals {
    uint64_t received = 0, sent = 0, errors = 0, logged_in = 0, refused = 0, lost = 0;
    std::vector<double> round_trips_ms;
};

struct Pending_Move {
    int16_t x, y;
    Clock::time_point sent;
};

class Bot : public std::enable_shared_from_this<Bot> {
public:
    Bot(asio::io_context& io, int number, const Options& options, const std::vector<std::pair<int16_t, int16_t>>& cells,
        Totals& totals)
        : socket_(io), move_timer_(io), say_timer_(io), number_(number), options_(options), cells_(cells),
          totals_(totals), random_(uint32_t(number) * 2654435761u + 1) {}

    void Start(const asio::ip::tcp::endpoint& server) {
        auto self = shared_from_this();
        socket_.async_connect(server, [self](const asio::error_code& error) {
            if (error) {
                self->Fail("connect: " + error.message());
                return;
            }
            asio::error_code ignored;
            self->socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
            self->Send(CMD_VER, To_Cp950(Escape_Text(GAME_VERSION)));
            self->Read();
        });
    }

    void Stop() {
        stopped_ = true;
        asio::error_code ignored;
        move_timer_.cancel();
        say_timer_.cancel();
        socket_.close(ignored);
    }

private:
    void Fail(const std::string& why) {
        if (stopped_) return;
        if (totals_.lost < 5) std::fprintf(stderr, "isobot: bot %d: %s\n", number_, why.c_str());
        ++totals_.lost;
        Stop();
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
        asio::async_write(socket_, asio::buffer(writing_), [self](const asio::error_code& error, size_t) {
            self->writing_.clear();
            if (error) {
                self->Fail("write: " + error.message());
                return;
            }
            self->Write();
        });
    }

    void Read() {
        auto self = shared_from_this();
        socket_.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& error, size_t n) {
            if (self->stopped_) return;
            self->in_.bytes.append(self->buffer_.data(), n);
            self->Handle_Input();
            if (error) {
                self->Fail(error == asio::error::eof ? "the server closed the connection" : "read: " + error.message());
                return;
            }
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
            std::u16string command, data;
            Split_Message(From_Cp950(message), command, data);
            int16_t f[3];
            if (command == CMD_VEROK) {
                Send(CMD_ID, To_Cp950(Escape_Text(From_Utf8(options_.prefix + std::to_string(number_)))));
            } else if (command == CMD_IDOK) {
                Send(CMD_PASS, "x");
            } else if (command == CMD_PLSTART && Number_Fields(data, f, 1)) {
                id_ = f[0];
                ++totals_.logged_in;
                Send(CMD_READY, "");
            } else if (command == CMD_SETPLXY && Number_Fields(data, f, 3) && f[0] == id_) {
                cell_x_ = f[1];
                cell_y_ = f[2];
                if (!walking_) {
                    walking_ = true;
                    Schedule_Move();
                    Schedule_Say();
                }
            } else if (command == CMD_MOVE && Number_Fields(data, f, 3) && f[0] == id_) {
                // Moves to free cells always come back, in order; skip any the server dropped.
                while (!pending_.empty()) {
                    Pending_Move p = pending_.front();
                    pending_.pop_front();
                    if (p.x == f[1] && p.y == f[2]) {
                        totals_.round_trips_ms.push_back(
                            std::chrono::duration<double, std::milli>(Clock::now() - p.sent).count());
                        break;
                    }
                }
                cell_x_ = f[1];
                cell_y_ = f[2];
                Send(CMD_GOT, To_Cp950(Join_Numbers({cell_x_, cell_y_})));
            } else if (command == CMD_ERR) {
                ++totals_.refused;
                Fail("refused: " + To_Utf8(data));
            }
        }
    }

    std::chrono::milliseconds Jitter(int mean_ms) {
        std::uniform_int_distribution<int> d(mean_ms / 2, mean_ms + mean_ms / 2);
        return std::chrono::milliseconds(std::max(1, d(random_)));
    }

    void Schedule_Move() {
        auto self = shared_from_this();
        move_timer_.expires_after(Jitter(options_.move_ms));
        move_timer_.async_wait([self](const asio::error_code& error) {
            if (error || self->stopped_) return;
            std::uniform_int_distribution<size_t> pick(0, self->cells_.size() - 1);
            auto [x, y] = self->cells_[pick(self->random_)];
            self->pending_.push_back({x, y, Clock::now()});
            if (self->pending_.size() > 1000) self->pending_.pop_front();
            self->Send(CMD_MOVE, To_Cp950(Join_Numbers({self->cell_x_, self->cell_y_, x, y})));
            self->Schedule_Move();
        });
    }

    void Schedule_Say() {
        auto self = shared_from_this();
        say_timer_.expires_after(Jitter(options_.say_ms));
        say_timer_.async_wait([self](const asio::error_code& error) {
            if (error || self->stopped_) return;
            std::u16string line = u"你好 a/b\\c #" + From_Utf8(std::to_string(++self->said_));
            self->Send(CMD_SAY, To_Cp950(Escape_Text(line)));
            self->Schedule_Say();
        });
    }

    asio::ip::tcp::socket socket_;
    asio::steady_timer move_timer_, say_timer_;
    int number_;
    const Options& options_;
    const std::vector<std::pair<int16_t, int16_t>>& cells_;
    Totals& totals_;
    std::mt19937 random_;
    std::array<char, 16384> buffer_{};
    static constexpr size_t MAX_MESSAGE = size_t(64) << 10;
    Message_Stream in_;
    std::string out_, writing_;
    bool stopped_ = false, walking_ = false;
    int16_t id_ = -1, cell_x_ = 0, cell_y_ = 0;
    int said_ = 0;
    std::deque<Pending_Move> pending_;
};

void Print_Help() {
    std::puts(
        "isobot -- load and soak bots for isoserver (this machine only)\n"
        "\n"
        "usage: isobot [options]\n"
        "\n"
        "  --host ADDR      the server: a loopback address (127.x.x.x, ::1) or localhost (default 127.0.0.1)\n"
        "  --port N         the server's port (default 7000)\n"
        "  --bots N         bots to run at once, 1..20000 (default 10)\n"
        "  --seconds S      how long to run, 0.1..3600 (default 10)\n"
        "  --map FILE       the server's map, for free target cells (default data/testmap.map)\n"
        "  --move-ms N      mean milliseconds between two walks of one bot (default 1000)\n"
        "  --say-ms N       mean milliseconds between two chat lines of one bot (default 5000)\n"
        "  --prefix TEXT    bot names are TEXT + number (default bot)\n"
        "\n"
        "Prints messages per second (received and sent by all bots) and the round trip of \"/move\"\n"
        "to its echo (p50, p99, max).");
}

double Percentile(std::vector<double>& values, double p) {
    if (values.empty()) return 0;
    size_t k = std::min(values.size() - 1, size_t(p / 100.0 * double(values.size())));
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    return values[k];
}

}   // namespace

static int Run(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
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
            ok = number(1, 20000, n);
            options.bots = int(n);
        } else if (arg == "--seconds") {
            ok = number(0.1, 3600, n);
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
    asio::ip::address address =
        options.host == "localhost" ? asio::ip::make_address("127.0.0.1") : asio::ip::make_address(options.host, ec);
    if (ec || !address.is_loopback()) {
        std::fprintf(stderr, "isobot: refusing '%s': only a loopback address (127.0.0.1, ::1, localhost)\n",
                     options.host.c_str());
        return 2;
    }

    std::optional<std::string> bytes = Read_Whole_File(options.map_file);
    if (!bytes) {
        std::fprintf(stderr, "isobot: cannot read the map file '%s'\n", options.map_file.c_str());
        return 1;
    }
    std::vector<std::pair<int16_t, int16_t>> cells;
    try {
        Map_Model map = Parse_Map(*bytes, options.map_file);
        for (int32_t y = 0; y < map.Map_Height; ++y)
            for (int32_t x = 0; x < map.Map_Width; ++x)
                if (map.Ground_Grid(x, y).blocked == 0) cells.emplace_back(int16_t(x), int16_t(y));
    } catch (const Data_Error& error) {
        std::fprintf(stderr, "isobot: damaged map file: %s\n", error.what());
        return 1;
    }
    if (cells.empty()) {
        std::fprintf(stderr, "isobot: the map has no free cell\n");
        return 1;
    }

    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < rlim_t(options.bots) + 16)
        std::fprintf(stderr, "isobot: warning: %llu descriptors allowed for %d bots\n",
                     (unsigned long long)limit.rlim_cur, options.bots);
    std::signal(SIGPIPE, SIG_IGN);

    asio::io_context io;
    Totals totals;
    std::vector<std::shared_ptr<Bot>> bots;
    asio::ip::tcp::endpoint server(address, options.port);
    for (int b = 0; b < options.bots; ++b) {
        bots.push_back(std::make_shared<Bot>(io, b + 1, options, cells, totals));
        bots.back()->Start(server);
    }
    auto start = Clock::now();
    asio::steady_timer end(io);
    end.expires_after(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds)));
    end.async_wait([&](const asio::error_code&) {
        for (auto& bot : bots) bot->Stop();
    });
    io.run();
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();

    std::vector<double>& rtt = totals.round_trips_ms;
    std::printf("isobot: %d bots, %.1f s, %llu logged in, %llu refused, %llu lost\n", options.bots, elapsed,
                (unsigned long long)totals.logged_in, (unsigned long long)totals.refused,
                (unsigned long long)totals.lost);
    std::printf("  messages received %llu (%.0f/s), sent %llu (%.0f/s)\n", (unsigned long long)totals.received,
                double(totals.received) / elapsed, (unsigned long long)totals.sent, double(totals.sent) / elapsed);
    double p50 = Percentile(rtt, 50), p99 = Percentile(rtt, 99);
    double max = rtt.empty() ? 0 : *std::max_element(rtt.begin(), rtt.end());
    std::printf("  move round trip: %zu samples, p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", rtt.size(), p50, p99, max);
    return totals.logged_in == uint64_t(options.bots) ? 0 : 1;
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
