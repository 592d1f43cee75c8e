// metrics.h -- the operator's view of a running server: a snapshot of the game that the game
// thread publishes about once a second, and what the side port (http.h) makes of it: the
// Prometheus text, the status JSON. Also the plain log line a service manager keeps.
#pragma once
#include <asio.hpp>

#include <array>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "game.h"
#include "platform/console.h"

// What does not change while the server runs.
struct Status_Info {
    std::string name;      // --name, or the host name
    std::string version;   // the game's version, UTF-8
    bool register_open = false;
    int32_t width = 0, height = 0;
    std::vector<std::string> walkable;   // a row per y: '.' walkable, '#' blocked
};

struct Status_Player {
    int16_t id = 0;
    std::string name;   // UTF-8
    int16_t cell_x = 0, cell_y = 0;
};

inline constexpr size_t STAGE_COUNT = 6;   // the values of Stage

struct Status_Snapshot {
    std::shared_ptr<const Status_Info> info;
    double uptime_seconds = 0;
    Game_Counts counts;
    std::array<uint64_t, STAGE_COUNT> by_stage{};   // connections, by Stage
    uint64_t checks_waiting = 0;                    // password checks queued or running
    std::vector<Status_Player> players;             // in the game, in order of arrival
};

// The latest snapshot. The game thread holds the mutex only to swap the pointer in; a reader
// only to copy it out.
struct Status_Board {
    std::mutex mutex;
    std::shared_ptr<const Status_Snapshot> latest;
};

Status_Info Make_Status_Info(const Game& game, const std::string& name);
// Called on the game thread.
Status_Snapshot Take_Snapshot(const Game& game, const std::shared_ptr<const Status_Info>& info, double uptime_seconds);
void Publish(Status_Board& board, std::shared_ptr<const Status_Snapshot> snapshot);
std::shared_ptr<const Status_Snapshot> Latest(Status_Board& board);

// Publishes a snapshot of `game` now and then every second, on the io_context's (the game's)
// thread, until Stop().
class Status_Publisher {
public:
    Status_Publisher(asio::io_context& io, const Game& game, Status_Board& board,
                     std::shared_ptr<const Status_Info> info);
    void Stop();

private:
    void Publish_Now();
    const Game& game_;
    Status_Board& board_;
    std::shared_ptr<const Status_Info> info_;
    asio::steady_timer timer_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The Prometheus text format (version 0.0.4), every name prefixed "isoserver_".
std::string Prometheus_Text(const Status_Snapshot& snapshot, const Process_Usage& usage);
std::string Status_Json(const Status_Snapshot& snapshot);

// A log line as one line of plain text: control characters (colour codes, line breaks) escaped.
std::string Plain_Line(const std::string& line);
