// net.h -- the game server on sockets: accepts connections, speaks TLS (or the bare protocol),
// feeds their bytes to the game (game.h), writes what the game queued once per turn of the game's
// event loop, and checks passwords on a thread of their own so that the game never waits for a
// hash. The game runs on one thread (the io_context handed in); sockets and encryption run on
// threads of their own, each connection on its strand.
#pragma once
#include <asio.hpp>
#include <asio/ssl.hpp>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "game.h"

struct Net_Options {
    std::string bind = "127.0.0.1";
    uint16_t port = 7000;     // 0: any free port (printed when listening)
    bool stats = false;       // a traffic line every 10 s
    int32_t flush_ms = 40;    // what clients hear of others is gathered this long (longer past 1000 players)
    bool plain = false;       // the bare protocol instead of TLS
    int32_t io_threads = 0;   // threads for sockets and TLS; 0: the cores less one, at least 1
};

class Net_Server {
public:
    // `tls` holds the served key (unused with options.plain); it must outlive the server.
    Net_Server(asio::io_context& io, const Net_Options& options, Game& game, asio::ssl::context& tls);
    ~Net_Server();
    Net_Server(const Net_Server&) = delete;
    Net_Server& operator=(const Net_Server&) = delete;
    // Binds and starts accepting; false (with the reason logged) when it cannot.
    bool Start();
    uint16_t Port() const { return port_; }
    int32_t Io_Threads() const { return int32_t(threads_.size()); }
    // Runs an operator's line and carries out what it queued; false for "quit".
    bool Command(const std::string& line, std::string& reply);
    // Saves every position, closes every connection without a word; io.run() then returns.
    void Stop();

private:
    struct Session {
        // `tls` null: the bare protocol, without the encryption's buffers (some 50 KB a client).
        Session(asio::ip::tcp::socket socket, asio::ssl::context* tls) {
            if (tls)
                stream.emplace(std::move(socket), *tls);
            else
                bare.emplace(std::move(socket));
        }
        asio::ip::tcp::socket& Socket() { return stream ? stream->next_layer() : *bare; }
        asio::any_io_executor Strand() { return Socket().get_executor(); }
        // Only on the connection's strand (the socket's executor). One of the two is set.
        std::optional<asio::ssl::stream<asio::ip::tcp::socket>> stream;
        std::optional<asio::ip::tcp::socket> bare;
        std::array<char, 8192> read_buffer{};
        bool shut = false;
        // Owned by the strand while `busy`, by the game thread otherwise.
        std::string writing;
        // Between the two sides, under the lock: a write under way and one wanted after it, and
        // bytes read that the game has not handled yet (reading pauses above READ_AHEAD).
        std::mutex lock;
        bool busy = false, write_again = false;
        size_t unhandled = 0;
        bool read_paused = false;
        // Only on the game thread.
        uint64_t serial = 0;
        bool ready = false;   // handshake done (or none): writes may go
        bool closed = false;
    };
    using Session_Ptr = std::shared_ptr<Session>;
    static constexpr size_t READ_AHEAD = size_t(256) << 10;
    static constexpr size_t WRITE_ROOM_KEPT = size_t(16) << 10;
    static constexpr uint64_t FLUSH_SLICES = 8;   // a flush period's turns, a slice of the clients each

    // On the network threads.
    void Accept();
    void Handshake(const Session_Ptr& s);
    void Read(const Session_Ptr& s);
    void Send_Writing(const Session_Ptr& s);
    static void Shut(const Session_Ptr& s);
    // On the game thread.
    void Opened(const Session_Ptr& s, const std::string& address, const std::string& peer);
    void Handshake_Done(const Session_Ptr& s, const std::string& failure);
    void Received(const Session_Ptr& s, const std::string& bytes, const asio::error_code& error);
    void Written(const Session_Ptr& s, const asio::error_code& error);
    void After_Game();   // hands out password checks, writes urgent output at the end of the turn
    void Flush(bool all);
    void Flush_Tick();
    void Write(const Session_Ptr& s);
    void Close(const Session_Ptr& s, const std::string& why);
    void Tick();
    void Hash_Worker();
    int64_t Now() const;

    asio::io_context& io_;   // the game's thread
    Net_Options options_;
    Game& game_;
    asio::ssl::context& tls_;
    asio::io_context net_io_;   // the network threads
    asio::executor_work_guard<asio::io_context::executor_type> net_work_;
    std::vector<std::thread> threads_;
    asio::ip::tcp::acceptor acceptor_;   // on a strand of its own
    asio::steady_timer retry_timer_;     // the acceptor's
    asio::steady_timer tick_timer_, flush_timer_;
    uint16_t port_ = 0;
    bool stopped_ = false;
    bool flush_posted_ = false;
    uint64_t flush_slice_ = 0;
    std::unordered_map<uint64_t, Session_Ptr> sessions_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    int64_t last_stats_ms_ = 0, last_trim_ms_ = 0;
    Game_Counts last_counts_;

    // Password checks: handed to the worker, their results posted back to the game's thread.
    std::mutex hash_mutex_;
    std::condition_variable hash_wake_;
    std::deque<Login_Check> hash_queue_;
    bool hash_stop_ = false;
    std::thread hash_thread_;
};
