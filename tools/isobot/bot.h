// bot.h -- a well-behaved bot: logs in as a player, clicks free cells in its view and walks
// there as the client does, chats, and counts every echo it awaits and whatever should not come.
#pragma once
#include <asio.hpp>

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "map/path_search.h"
#include "tools/isobot/figures.h"
#include "tools/isobot/link.h"
#include "tools/isobot/options.h"
#include "wire/wire.h"

using Cells = std::vector<std::pair<int16_t, int16_t>>;

// The map as the bots walk it: the free cells for the path search, and the cells of the largest
// walkable region, where the server starts every player and where all targets lie.
struct World {
    Walk_Grid walk;
    Cells cells;
};
// The world of the map file; nothing, said on standard error, when it cannot be read, is damaged
// or has no free cell.
std::optional<World> Load_World(const std::string& map_file);

// The path search's work space, one for each event loop.
struct Search_Space {
    Path_Numbers numbers;
    Path_Scratch scratch;
    std::vector<int16_t> steps;
};

// The bytes of a command word and the space after it, as the messages begin.
std::string Prefix(const char16_t* command);
extern const std::string MOVE_PREFIX, SAY_PREFIX;

class Bot : public std::enable_shared_from_this<Bot> {
public:
    Bot(asio::io_context& io, int number, const Options& options, const World& world, Search_Space& search,
        Totals& totals);
    void Start(const asio::ip::tcp::endpoint& server);
    // Ends the run: echoes still awaited after `grace` count as lost.
    void Stop(Clock::time_point now, std::chrono::milliseconds grace);

private:
    struct Pending {
        int16_t x = 0, y = 0;
        Clock::time_point sent;
    };

    void Close();
    void Fail(const std::string& why);
    void Send(const char16_t* command, const std::string& data);
    void Write();
    void Read();
    void Handle_Input();
    void Handle(const std::string& message);
    std::chrono::milliseconds Jitter(int mean_ms);
    std::pair<int16_t, int16_t> Cell_Now() const;
    void Stand(int16_t x, int16_t y);
    void Walk_To(int16_t x, int16_t y);
    void Schedule_Move();
    std::optional<std::pair<int16_t, int16_t>> Target();
    void Schedule_Say();

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
