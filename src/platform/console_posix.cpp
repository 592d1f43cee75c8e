// console_posix.cpp -- the operator's input waited on in the Asio loop.
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "platform/console.h"

uint64_t Prepare_Server_Process() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::signal(SIGPIPE, SIG_IGN);
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 0;
    return uint64_t(limit.rlim_cur);
}

bool Input_Is_Terminal() { return isatty(STDIN_FILENO) != 0; }

Process_Usage Read_Process_Usage() {
    Process_Usage usage;
    rusage self{};
    if (getrusage(RUSAGE_SELF, &self) == 0)
        usage.cpu_seconds = double(self.ru_utime.tv_sec + self.ru_stime.tv_sec) +
                            double(self.ru_utime.tv_usec + self.ru_stime.tv_usec) / 1e6;
    // Linux: the second field of statm is the resident size in pages.
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        unsigned long long pages = 0, resident = 0;
        if (std::fscanf(statm, "%llu %llu", &pages, &resident) == 2)
            usage.resident_bytes = uint64_t(resident) * uint64_t(sysconf(_SC_PAGESIZE));
        std::fclose(statm);
    }
    return usage;
}

void Set_Input_Echo(bool on) {
    termios mode{};
    if (tcgetattr(STDIN_FILENO, &mode) != 0) return;
    mode.c_lflag = on ? (mode.c_lflag | tcflag_t(ECHO)) : (mode.c_lflag & ~tcflag_t(ECHO));
    tcsetattr(STDIN_FILENO, TCSANOW, &mode);
}

struct Console_Lines::State {
    asio::posix::stream_descriptor input;
    asio::streambuf buffer{4096};
    std::function<void(const std::string&)> on_line;
    std::function<void()> on_end;
    explicit State(asio::io_context& io) : input(io) {}

    void Read(const std::shared_ptr<State>& self) {
        asio::async_read_until(input, buffer, '\n', [self](const asio::error_code& error, size_t n) {
            if (error == asio::error::not_found) {   // a line longer than the buffer: skipped
                self->buffer.consume(self->buffer.size());
                self->Read(self);
                return;
            }
            if (error) {
                // A copy: the call may stop the reading, which lets go of the callbacks.
                const auto end_call = self->on_end;
                if (error != asio::error::operation_aborted && end_call) end_call();
                return;
            }
            std::string line(asio::buffers_begin(self->buffer.data()),
                             asio::buffers_begin(self->buffer.data()) + std::ptrdiff_t(n) - 1);
            self->buffer.consume(n);
            const auto line_call = self->on_line;
            if (line_call) line_call(line);
            if (self->input.is_open()) self->Read(self);
        });
    }
};

Console_Lines::Console_Lines(asio::io_context& io) : state_(std::make_shared<State>(io)) {}

Console_Lines::~Console_Lines() { Stop(); }

bool Console_Lines::Start(std::function<void(const std::string&)> on_line, std::function<void()> on_end) {
    state_->on_line = std::move(on_line);
    state_->on_end = std::move(on_end);
    // A descriptor epoll cannot watch (a file, /dev/null) cannot be read this way.
    asio::error_code ec;
    state_->input.assign(::dup(STDIN_FILENO), ec);
    if (ec) return false;
    state_->Read(state_);
    return true;
}

void Console_Lines::Stop() {
    state_->on_line = nullptr;
    state_->on_end = nullptr;
    asio::error_code ignored;
    state_->input.close(ignored);
}
