// counters.h -- what the game thread counts for the operator's metrics (metrics.h): messages by
// command, clients cut off by reason, and time histograms. Plain numbers, written by the game
// thread only; the side port reads a copy of them.
#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <string_view>

// The commands counted by name; anything else counts as "other", the last.
inline constexpr std::array<std::string_view, 14> COUNTED_COMMANDS = {
    "/ver",   "/verok",   "/id",    "/idok", "/pass", "/plstart", "/ready",
    "/setpl", "/setplxy", "/delpl", "/move", "/got",  "/say",     "/err"};
inline constexpr size_t COMMAND_KINDS = COUNTED_COMMANDS.size() + 1;

// The index in COUNTED_COMMANDS of the message's command ("/move 1\2\3/e/" or "/move"), or
// COUNTED_COMMANDS.size() for any other.
inline size_t Command_Index(std::string_view message) {
    size_t end = 1;
    while (end < message.size() && end < 12 && message[end] >= 'a' && message[end] <= 'z') ++end;
    if (message.empty() || message[0] != '/') return COUNTED_COMMANDS.size();
    const std::string_view name = message.substr(0, end);
    for (size_t i = 0; i < COUNTED_COMMANDS.size(); ++i)
        if (COUNTED_COMMANDS[i] == name) return i;
    return COUNTED_COMMANDS.size();
}

enum Cut_Off_Reason : uint8_t { CUT_FLOOD, CUT_NOT_READING, CUT_LOGIN_TIMEOUT, CUT_KICKED, CUT_OFF_REASONS };
inline constexpr std::array<std::string_view, CUT_OFF_REASONS> CUT_OFF_NAMES = {"flood", "not_reading", "login_timeout",
                                                                                "kicked"};

// A Prometheus histogram of durations: counts per upper bound (cumulated when written out).
inline constexpr std::array<double, 14> HISTOGRAM_BOUNDS = {0.00005, 0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005,
                                                            0.01,    0.025,  0.05,    0.1,    0.25,  0.5,    1.0};
struct Histogram {
    std::array<uint64_t, HISTOGRAM_BOUNDS.size() + 1> counts{};   // the last: above every bound
    double sum = 0;                                               // seconds
    uint64_t total = 0;
};

inline void Record_Seconds(Histogram& h, double seconds) {
    size_t at = 0;
    while (at < HISTOGRAM_BOUNDS.size() && seconds > HISTOGRAM_BOUNDS[at]) ++at;
    ++h.counts[at];
    h.sum += seconds;
    ++h.total;
}

inline void Record_Since(Histogram& h, std::chrono::steady_clock::time_point start) {
    Record_Seconds(h, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

// One turn of the game thread, timed from construction to destruction. The network layer puts
// one at the top of each handler that runs game code.
class Turn_Timer {
public:
    explicit Turn_Timer(Histogram& into) : into_(into) {}
    ~Turn_Timer() { Record_Since(into_, start_); }
    Turn_Timer(const Turn_Timer&) = delete;
    Turn_Timer& operator=(const Turn_Timer&) = delete;

private:
    Histogram& into_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};
