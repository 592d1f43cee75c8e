// figures.h -- what the bots count and measure, the server's process watched from outside, and
// the report printed at the end.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/isobot/options.h"

using Clock = std::chrono::steady_clock;

// One event loop's counts; the loops' totals are added up at the end.
struct Totals {
    uint64_t received = 0, sent = 0, errors = 0, logged_in = 0, refused = 0, lost = 0, missing = 0;
    uint64_t chaos_connects = 0, chaos_closed = 0, chaos_bytes = 0;
    std::vector<double> round_trips_ms;
    std::vector<std::string> first_problems;
    void Problem(const std::string& what) {
        if (first_problems.size() < 5) first_problems.push_back(what);
    }
};
void Add_Totals(Totals& sum, const Totals& more);

// The server's resident memory (kB) and open descriptors, -1 where unknown.
struct Server_Samples {
    int64_t rss_first = -1, rss_end = -1, fd_before = -1, fd_load = -1, fd_after = -1;
};

// Samples the server named by --watch on a thread of its own, so the bots' loops never wait for
// /proc: descriptors before the bots connect, memory after --watch-after and at the end.
class Server_Watch {
public:
    explicit Server_Watch(const Options& options);
    ~Server_Watch();
    Server_Watch(const Server_Watch&) = delete;
    Server_Watch& operator=(const Server_Watch&) = delete;
    // Ends the sampling once the bots have left, and waits for the server to close their
    // connections (5 s at most) for the last count of descriptors.
    Server_Samples Finish();

private:
    const Options& options_;
    Server_Samples samples_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
};

// Prints the figures; the exit status: 0 only when every well-behaved bot logged in and none
// saw an error, lost its connection or missed an echo.
int Report(const Options& options, Totals& totals, double elapsed, const Server_Samples& server);
