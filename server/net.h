// net.h -- the game server on sockets: accepts connections, feeds their bytes to the game
// (game.h), writes what the game queued once per turn of the event loop, and checks passwords
// on a thread of their own so that the game never waits for a hash.
#pragma once
#include <asio.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "game.h"

struct Net_Options {
    std::string bind = "127.0.0.1";
    uint16_t port = 7000;    // 0: any free port (printed when listening)
    bool stats = false;      // a traffic line every 10 s
    int32_t flush_ms = 10;   // what clients hear of others is written at least this often
};

class Net_Server {
public:
    Net_Server(asio::io_context& io, const Net_Options& options, Game& game);
    ~Net_Server();
    Net_Server(const Net_Server&) = delete;
    Net_Server& operator=(const Net_Server&) = delete;
    // Binds and starts accepting; false (with the reason logged) when it cannot.
    bool Start();
    uint16_t Port() const { return port_; }
    // Runs an operator's line and carries out what it queued; false for "quit".
    bool Command(const std::string& line, std::string& reply);
    // Saves every position, closes every connection without a word; io.run() then returns.
    void Stop();

private:
    struct Session {
        explicit Session(asio::io_context& io) : socket(io) {}
        asio::ip::tcp::socket socket;
        uint64_t serial = 0;
        std::array<char, 8192> read_buffer{};
        std::string writing;
        bool closed = false;
    };
    using Session_Ptr = std::shared_ptr<Session>;

    void Accept();
    void Read(const Session_Ptr& s);
    void After_Game();   // hands out password checks, writes urgent output at the end of the turn
    void Flush(bool all);
    void Flush_Tick();
    void Write(const Session_Ptr& s);
    void Close(const Session_Ptr& s, const std::string& why);
    void Tick();
    void Hash_Worker();
    int64_t Now() const;

    asio::io_context& io_;
    Net_Options options_;
    Game& game_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_timer_, tick_timer_, flush_timer_;
    uint16_t port_ = 0;
    bool stopped_ = false;
    bool flush_posted_ = false;
    std::unordered_map<uint64_t, Session_Ptr> sessions_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int64_t last_stats_ms_ = 0;
    Game_Counts last_counts_;

    // Password checks: handed to the worker, their results posted back to the game's thread.
    std::mutex hash_mutex_;
    std::condition_variable hash_wake_;
    std::deque<Login_Check> hash_queue_;
    bool hash_stop_ = false;
    std::thread hash_thread_;
};
