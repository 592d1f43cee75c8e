// console.h -- what a server process needs of its host: the open-file limit raised, broken pipes
// ignored, and the operator's standard input read line by line on an Asio loop's thread. The
// POSIX variant (console_posix.cpp) waits on the descriptor in the loop; Windows cannot wait on a
// console that way, so console_windows.cpp reads on a thread of its own and posts each line.
#pragma once
#include <asio.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Raises the open-file limit to the most allowed and makes a write to a closed socket fail
// rather than end the process (POSIX); Windows needs neither. For the server and the bots; gives
// the open-file limit now in force, 0 when there is none or it is unknown.
uint64_t Prepare_Server_Process();

// True when standard input is a terminal (a console on Windows), where a password is typed.
bool Input_Is_Terminal();
// Turns the echo of typed characters on standard input's terminal off or on again.
void Set_Input_Echo(bool on);

// What the process costs its host, for the server's metrics; safe to call from any thread.
struct Process_Usage {
    uint64_t resident_bytes = 0;   // memory in RAM now
    double cpu_seconds = 0;        // user and system time since the start
};
Process_Usage Read_Process_Usage();

// Standard input, a line at a time, delivered on the thread that runs the io_context.
class Console_Lines {
public:
    explicit Console_Lines(asio::io_context& io);
    ~Console_Lines();
    Console_Lines(const Console_Lines&) = delete;
    Console_Lines& operator=(const Console_Lines&) = delete;
    // on_line gets each line without its end (lines over 4096 bytes are skipped); on_end runs once
    // when the input ends or fails. False when standard input cannot be read this way.
    bool Start(std::function<void(const std::string&)> on_line, std::function<void()> on_end);
    // No more calls after this.
    void Stop();

    struct State;

private:
    std::shared_ptr<State> state_;
};
