// net.cpp -- sockets and TLS on the network threads, the turn of the game's event loop that
// sends what the game queued, timers, and the password-check thread.
#include "net.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "text.h"

namespace {

// The peer's leaving, not a fault worth a log line.
bool Peer_Left(const asio::error_code& error) {
    return error == asio::error::eof || error == asio::error::connection_reset || error == asio::error::broken_pipe ||
           error == asio::ssl::error::stream_truncated;
}

}   // namespace

Net_Server::Net_Server(asio::io_context& io, const Net_Options& options, Game& game, asio::ssl::context& tls)
    : io_(io), options_(options), game_(game), tls_(tls), net_work_(net_io_.get_executor()),
      acceptor_(asio::make_strand(net_io_)), retry_timer_(acceptor_.get_executor()), tick_timer_(io), flush_timer_(io) {
    hash_thread_ = std::thread([this] { Hash_Worker(); });
}

Net_Server::~Net_Server() {
    {
        std::lock_guard<std::mutex> lock(hash_mutex_);
        hash_stop_ = true;
    }
    hash_wake_.notify_all();
    if (hash_thread_.joinable()) hash_thread_.join();
    // What the network threads posted last holds sessions whose sockets belong to net_io_: they
    // go now, before it does (every such handler sees the server stopped and does nothing). A
    // destructor must not throw: a handler that would is dropped with the rest.
    try {
        net_work_.reset();
        net_io_.stop();
        for (std::thread& t : threads_) t.join();
        io_.restart();
        io_.poll();
    } catch (const std::exception&) {}
}

int64_t Net_Server::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
}

bool Net_Server::Start() {
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(options_.bind, ec);
    if (ec) {
        Log(game_, nullptr, "bad bind address '" + options_.bind + "': " + ec.message());
        return false;
    }
    if (game_.free_cells.empty()) {
        Log(game_, nullptr, "the map has no free cell to start players on");
        return false;
    }
    const asio::ip::tcp::endpoint endpoint(address, options_.port);
    acceptor_.open(endpoint.protocol(), ec);
    if (!ec) acceptor_.set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        Log(game_, nullptr,
            "cannot listen on " + options_.bind + ":" + std::to_string(options_.port) + ": " + ec.message());
        return false;
    }
    port_ = acceptor_.local_endpoint().port();
    int32_t threads = options_.io_threads;
    if (threads <= 0) threads = std::max(1, int32_t(std::thread::hardware_concurrency()) - 1);
    asio::post(acceptor_.get_executor(), [this] { Accept(); });
    for (int32_t i = 0; i < threads; ++i) threads_.emplace_back([this] { net_io_.run(); });
    Tick();
    Flush_Tick();
    return true;
}

void Net_Server::Stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::post(acceptor_.get_executor(), [this] {
        asio::error_code ignored;
        acceptor_.close(ignored);
        retry_timer_.cancel();
    });
    tick_timer_.cancel();
    flush_timer_.cancel();
    game_.now_ms = Now();
    Shutdown_Game(game_);
    for (auto& [serial, s] : sessions_) {
        s->closed = true;
        asio::post(s->Strand(), [s = s] { Shut(s); });
        Forget_Connection(game_, serial);
    }
    sessions_.clear();
    Take_Writes(game_, true);
    net_work_.reset();   // the network threads end once the last socket has
}

bool Net_Server::Command(const std::string& line, std::string& reply) {
    Turn_Timer turn(game_.counts.turn_seconds);
    game_.now_ms = Now();
    const bool go_on = Operator_Command(game_, line, reply);
    After_Game();
    return go_on;
}

// ---- the network threads

void Net_Server::Accept() {
    acceptor_.async_accept(asio::make_strand(net_io_),
                           [this](const asio::error_code& error, asio::ip::tcp::socket socket) {
                               if (error == asio::error::operation_aborted || !acceptor_.is_open()) return;
                               if (error) {
                                   // Out of descriptors, most likely: wait a little rather than spin.
                                   asio::post(io_, [this, why = error.message()] {
                                       if (!stopped_) Log(game_, nullptr, "accept failed: " + why);
                                   });
                                   retry_timer_.expires_after(std::chrono::milliseconds(100));
                                   retry_timer_.async_wait([this](const asio::error_code& e) {
                                       if (!e && acceptor_.is_open()) Accept();
                                   });
                                   return;
                               }
                               asio::error_code ec;
                               const auto remote = socket.remote_endpoint(ec);
                               const std::string address = ec ? "?" : remote.address().to_string();
                               const std::string peer = ec ? "?" : address + ":" + std::to_string(remote.port());
                               socket.set_option(asio::ip::tcp::no_delay(true), ec);
                               auto s = std::make_shared<Session>(std::move(socket), options_.plain ? nullptr : &tls_);
                               asio::post(io_, [this, s, address, peer] { Opened(s, address, peer); });
                               Accept();
                           });
}

void Net_Server::Handshake(const Session_Ptr& s) {
    s->stream->async_handshake(asio::ssl::stream_base::server, [this, s](const asio::error_code& error) {
        if (s->shut) return;
        if (!error) Read(s);
        std::string failure;
        if (error) failure = error.message().empty() ? "failed" : error.message();
        asio::post(io_, [this, s, failure] { Handshake_Done(s, failure); });
    });
}

// Reads on while the game keeps up: a client that sends faster than the game handles its bytes
// waits for it, so nothing it sends piles up in between.
void Net_Server::Read(const Session_Ptr& s) {
    auto done = [this, s](const asio::error_code& error, size_t n) {
        if (s->shut) return;
        bool paused = false;
        {
            std::lock_guard<std::mutex> lock(s->lock);
            s->unhandled += n;
            paused = s->read_paused = s->unhandled > READ_AHEAD;
        }
        asio::post(io_, [this, s, bytes = std::string(s->read_buffer.data(), n), error] { Received(s, bytes, error); });
        if (!error && !paused) Read(s);
    };
    if (s->bare)
        s->bare->async_read_some(asio::buffer(s->read_buffer), done);
    else
        s->stream->async_read_some(asio::buffer(s->read_buffer), done);
}

// A finished write tells the game only when it failed, or when the game has more queued meanwhile.
void Net_Server::Send_Writing(const Session_Ptr& s) {
    auto done = [this, s](const asio::error_code& error, size_t) {
        // Its room is kept for the next write, unless a burst (a login hears of everyone online)
        // made it large: thousands of idle clients would hold that much each.
        if (s->writing.capacity() > WRITE_ROOM_KEPT)
            std::string().swap(s->writing);
        else
            s->writing.clear();
        if (error) {
            asio::post(io_, [this, s, error] { Written(s, error); });
            return;
        }
        bool again = false;
        {
            std::lock_guard<std::mutex> lock(s->lock);
            s->busy = false;
            again = std::exchange(s->write_again, false);
        }
        if (again) asio::post(io_, [this, s] { Write(s); });
    };
    if (s->shut)
        done(asio::error::operation_aborted, 0);
    else if (s->bare)
        asio::async_write(*s->bare, asio::buffer(s->writing), done);
    else
        asio::async_write(*s->stream, asio::buffer(s->writing), done);
}

void Net_Server::Shut(const Session_Ptr& s) {
    if (s->shut) return;
    s->shut = true;
    asio::error_code ignored;
    s->Socket().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    s->Socket().close(ignored);
}

// ---- the game thread

void Net_Server::Opened(const Session_Ptr& s, const std::string& address, const std::string& peer) {
    Connection* c = stopped_ ? nullptr : Open_Connection(game_, address, peer, Now());
    if (!c) {
        asio::post(s->Strand(), [s] { Shut(s); });
        return;
    }
    s->serial = c->serial;
    sessions_[s->serial] = s;
    if (s->bare) {
        s->ready = true;
        asio::post(s->Strand(), [this, s] { Read(s); });
    } else {
        asio::post(s->Strand(), [this, s] { Handshake(s); });
    }
    After_Game();
}

void Net_Server::Handshake_Done(const Session_Ptr& s, const std::string& failure) {
    if (s->closed) return;
    if (!failure.empty()) {
        // A client speaking clear text to this port ends here too: it hears nothing back.
        Close(s, "TLS handshake failed: " + Quote_Bytes(failure, 120));
        After_Game();
        return;
    }
    s->ready = true;
    Write(s);   // what the game queued meanwhile (nothing, as a rule)
}

void Net_Server::Received(const Session_Ptr& s, const std::string& bytes, const asio::error_code& error) {
    Turn_Timer turn(game_.counts.turn_seconds);
    if (s->closed) return;
    Connection* c = Find_Connection(game_, s->serial);
    if (!c) return Close(s, "");
    if (!bytes.empty()) Receive(game_, *c, bytes, Now());
    if (error) Close_Connection(game_, *c, Peer_Left(error) ? "" : "connection lost: " + error.message());
    After_Game();
    bool resume = false;
    {
        std::lock_guard<std::mutex> lock(s->lock);
        s->unhandled -= bytes.size();
        resume = s->read_paused && s->unhandled <= READ_AHEAD;
        if (resume) s->read_paused = false;
    }
    if (resume && !s->closed) asio::post(s->Strand(), [this, s] { Read(s); });
}

// Only a failed write comes here.
void Net_Server::Written(const Session_Ptr& s, const asio::error_code& error) {
    if (s->closed) return;
    Close(s, Peer_Left(error) ? "" : "write failed: " + error.message());
    After_Game();
}

void Net_Server::After_Game() {
    if (!game_.checks.empty()) {
        std::vector<Login_Check> checks = Take_Checks(game_);
        {
            std::lock_guard<std::mutex> lock(hash_mutex_);
            for (Login_Check& check : checks) hash_queue_.push_back(std::move(check));
        }
        hash_wake_.notify_one();
    }
    // Replies to a client's own messages go out at the end of this turn, in one write each.
    if (!game_.urgent.empty() && !flush_posted_) {
        flush_posted_ = true;
        asio::post(io_, [this] {
            flush_posted_ = false;
            Flush(false);
        });
    }
}

namespace {

// A write costs a system call and, over TLS, a record: past about 25,000 a second they cost the
// server and its clients more than the game does, and every round trip waits behind them. So with
// many players what they hear of others is gathered longer, in proportion, up to 100 ms (a step
// takes 201 ms), or as long as the operator asked if that is longer.
int32_t Flush_Period_Ms(int32_t flush_ms, size_t players) {
    constexpr int64_t WRITES_PER_SECOND = 25000, LONGEST_MS = 100;
    return int32_t(std::max<int64_t>(flush_ms, std::min(int64_t(players) * 1000 / WRITES_PER_SECOND, LONGEST_MS)));
}

}   // namespace

// What clients hear of each other is gathered for a few milliseconds, so that a client gets one
// write for many players' moves rather than one for each. The clients are flushed in turns, a
// slice of them at a time, so that the network thread never has every client's write ahead of a
// reply that is due at once.
void Net_Server::Flush_Tick() {
    const int64_t period_ms = Flush_Period_Ms(options_.flush_ms, game_.players.size());
    flush_timer_.expires_after(std::chrono::microseconds(period_ms * 1000 / int64_t(FLUSH_SLICES)));
    flush_timer_.async_wait([this](const asio::error_code& e) {
        if (e || stopped_) return;
        Flush(true);
        Flush_Tick();
    });
}

void Net_Server::Flush(bool all) {
    if (stopped_) return;
    Turn_Timer turn(game_.counts.turn_seconds);
    // Nothing a client hears may depend on a cell the database could still lose.
    Commit_Positions(game_);
    const uint64_t slice = all ? flush_slice_++ % FLUSH_SLICES : 0;
    for (const uint64_t serial : Take_Writes(game_, all, all ? FLUSH_SLICES : 1, slice)) {
        Connection* c = Find_Connection(game_, serial);
        auto hit = sessions_.find(serial);
        if (!c || hit == sessions_.end()) {
            if (c) Forget_Connection(game_, serial);
            continue;
        }
        // Before its handshake a client is sent nothing: a close then goes without a word.
        if (c->life == Life::Gone || (!hit->second->ready && c->life == Life::Closing)) {
            Close(hit->second, "");
            continue;
        }
        Write(hit->second);
    }
}

// Hands the connection's queued bytes to its strand, which encrypts and writes them: one write
// under way per client, and what is queued meanwhile goes in the next.
void Net_Server::Write(const Session_Ptr& s) {
    if (s->closed || !s->ready) return;
    Connection* c = Find_Connection(game_, s->serial);
    if (!c) return Close(s, "");
    {
        // While a write is under way, what is queued stays in the connection's `out`, where the
        // game counts it against max_output; the strand asks for it when the write is done.
        std::lock_guard<std::mutex> lock(s->lock);
        if (s->busy) {
            s->write_again = true;
            return;
        }
        if (!c->out.empty()) s->busy = true;
    }
    if (c->out.empty()) {
        if (c->life == Life::Closing) Close(s, "");
        return;
    }
    s->writing.swap(c->out);
    asio::post(s->Strand(), [this, s] { Send_Writing(s); });
}

void Net_Server::Close(const Session_Ptr& s, const std::string& why) {
    if (s->closed) return;
    s->closed = true;
    asio::post(s->Strand(), [s] { Shut(s); });
    if (Connection* c = Find_Connection(game_, s->serial)) Close_Connection(game_, *c, why);
    Forget_Connection(game_, s->serial);
    sessions_.erase(s->serial);
}

void Net_Server::Tick() {
    tick_timer_.expires_after(std::chrono::milliseconds(250));
    tick_timer_.async_wait([this](const asio::error_code& e) {
        if (e || stopped_) return;
        Turn_Timer turn(game_.counts.turn_seconds);
        const int64_t now = Now();
        ::Tick(game_, now);
#ifdef __GLIBC__
        // What a burst of logins took (each newcomer hears of everyone online) goes back to the
        // system once it is free, rather than staying with the process for good. The first trim
        // after thousands of logins takes about 10 ms, the next ones under 1 ms.
        if (now - last_trim_ms_ >= 10000) {
            last_trim_ms_ = now;
            malloc_trim(0);
        }
#endif
        if (options_.stats && now - last_stats_ms_ >= 10000) {
            const double seconds = double(now - last_stats_ms_) / 1000.0;
            const Game_Counts& n = game_.counts;
            std::printf(
                "isoserver: %zu connections, %zu players, %.0f messages/s in, %.0f messages/s out, "
                "%llu dropped, %llu logins, %llu failed logins\n",
                game_.connections.size(), game_.players.size(),
                double(n.messages_in - last_counts_.messages_in) / seconds,
                double(n.messages_out - last_counts_.messages_out) / seconds, (unsigned long long)n.dropped,
                (unsigned long long)n.logins, (unsigned long long)n.failures);
            std::fflush(stdout);
            last_stats_ms_ = now;
            last_counts_ = n;
        }
        After_Game();
        Tick();
    });
}

void Net_Server::Hash_Worker() {
    for (;;) {
        Login_Check check;
        {
            std::unique_lock<std::mutex> lock(hash_mutex_);
            hash_wake_.wait(lock, [this] { return hash_stop_ || !hash_queue_.empty(); });
            if (hash_stop_) return;
            check = std::move(hash_queue_.front());
            hash_queue_.pop_front();
        }
        Run_Check(check);
        asio::post(io_, [this, done = std::move(check)]() mutable {
            if (stopped_) return;
            Turn_Timer turn(game_.counts.turn_seconds);
            Check_Done(game_, done, Now());
            After_Game();
        });
    }
}
