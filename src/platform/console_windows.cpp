// console_windows.cpp -- the operator's input read on a thread of its own (a console or pipe
// handle cannot be waited on by the Asio loop) and posted to the loop a line at a time.
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>

#include <iostream>
#include <mutex>
#include <thread>

#include "platform/console.h"

uint64_t Prepare_Server_Process() { return 0; }

Process_Usage Read_Process_Usage() {
    Process_Usage usage;
    FILETIME created, ended, kernel, user;
    if (GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) {
        auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        usage.cpu_seconds = double(ticks(kernel) + ticks(user)) / 1e7;   // 100 ns units
    }
    PROCESS_MEMORY_COUNTERS counters{};
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        usage.resident_bytes = uint64_t(counters.WorkingSetSize);
    return usage;
}

bool Input_Is_Terminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

void Set_Input_Echo(bool on) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input, &mode)) return;
    SetConsoleMode(input, on ? (mode | ENABLE_ECHO_INPUT) : (mode & ~DWORD(ENABLE_ECHO_INPUT)));
}

struct Console_Lines::State {
    std::mutex lock;
    asio::io_context* io = nullptr;   // null once stopped: nothing more is posted
    std::function<void(const std::string&)> on_line;
    std::function<void()> on_end;
};

Console_Lines::Console_Lines(asio::io_context& io) : state_(std::make_shared<State>()) { state_->io = &io; }

Console_Lines::~Console_Lines() { Stop(); }

bool Console_Lines::Start(std::function<void(const std::string&)> on_line, std::function<void()> on_end) {
    state_->on_line = std::move(on_line);
    state_->on_end = std::move(on_end);
    // The thread may outlive the loop, blocked in a read: it holds the state, never the object.
    std::thread([state = state_] {
        auto deliver = [&state](bool end, std::string line) {
            std::lock_guard guard(state->lock);
            if (!state->io) return false;
            asio::post(*state->io, [state, end, line = std::move(line)] {
                // Copies: the call may stop the reading, which lets go of the callbacks.
                const auto end_call = state->on_end;
                const auto line_call = state->on_line;
                if (end && end_call) end_call();
                if (!end && line_call) line_call(line);
            });
            return true;
        };
        for (std::string line; std::getline(std::cin, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > 4096) continue;   // as long lines are skipped elsewhere
            if (!deliver(false, std::move(line))) return;
        }
        deliver(true, "");
    }).detach();
    return true;
}

void Console_Lines::Stop() {
    std::lock_guard guard(state_->lock);
    state_->io = nullptr;
    state_->on_line = nullptr;
    state_->on_end = nullptr;
}
