// net.cpp -- sockets, the turn of the event loop that sends what the game queued, timers, and
// the password-check thread.
#include "net.h"

#include <cstdio>

Net_Server::Net_Server(asio::io_context& io, const Net_Options& options, Game& game)
    : io_(io), options_(options), game_(game), acceptor_(io), retry_timer_(io), tick_timer_(io), flush_timer_(io) {
    hash_thread_ = std::thread([this] { Hash_Worker(); });
}

Net_Server::~Net_Server() {
    {
        std::lock_guard<std::mutex> lock(hash_mutex_);
        hash_stop_ = true;
    }
    hash_wake_.notify_all();
    if (hash_thread_.joinable()) hash_thread_.join();
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
    Accept();
    Tick();
    Flush_Tick();
    return true;
}

void Net_Server::Stop() {
    if (stopped_) return;
    stopped_ = true;
    asio::error_code ignored;
    acceptor_.close(ignored);
    retry_timer_.cancel();
    tick_timer_.cancel();
    flush_timer_.cancel();
    game_.now_ms = Now();
    Shutdown_Game(game_);
    for (auto& [serial, s] : sessions_) {
        s->closed = true;
        s->socket.close(ignored);
        Forget_Connection(game_, serial);
    }
    sessions_.clear();
    game_.dirty.clear();
    game_.urgent.clear();
}

bool Net_Server::Command(const std::string& line, std::string& reply) {
    Turn_Timer turn(game_.counts.turn_seconds);
    game_.now_ms = Now();
    const bool go_on = Operator_Command(game_, line, reply);
    After_Game();
    return go_on;
}

void Net_Server::Accept() {
    auto s = std::make_shared<Session>(io_);
    acceptor_.async_accept(s->socket, [this, s](const asio::error_code& error) {
        if (stopped_) return;
        if (error) {
            // Out of descriptors, most likely: wait a little rather than spin.
            Log(game_, nullptr, "accept failed: " + error.message());
            retry_timer_.expires_after(std::chrono::milliseconds(100));
            retry_timer_.async_wait([this](const asio::error_code& e) {
                if (!e && !stopped_) Accept();
            });
            return;
        }
        asio::error_code ec;
        const auto remote = s->socket.remote_endpoint(ec);
        const std::string address = ec ? "?" : remote.address().to_string();
        const std::string peer = ec ? "?" : address + ":" + std::to_string(remote.port());
        Connection* c = Open_Connection(game_, address, peer, Now());
        if (!c) {
            s->socket.close(ec);
        } else {
            s->socket.set_option(asio::ip::tcp::no_delay(true), ec);
            s->serial = c->serial;
            sessions_[s->serial] = s;
            Read(s);
        }
        Accept();
    });
}

void Net_Server::Read(const Session_Ptr& s) {
    s->socket.async_read_some(asio::buffer(s->read_buffer), [this, s](const asio::error_code& error, size_t n) {
        if (s->closed) return;
        Turn_Timer turn(game_.counts.turn_seconds);
        Connection* c = Find_Connection(game_, s->serial);
        if (!c) return Close(s, "");
        if (n > 0) Receive(game_, *c, std::string_view(s->read_buffer.data(), n), Now());
        if (error) {
            const bool left = error == asio::error::eof || error == asio::error::connection_reset;   // a quit
            Close_Connection(game_, *c, left ? "" : "connection lost: " + error.message());
        }
        After_Game();
        if (!s->closed && !error) Read(s);
    });
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

// What clients hear of each other is gathered for a few milliseconds, so that a client gets one
// write for many players' moves rather than one for each.
void Net_Server::Flush_Tick() {
    flush_timer_.expires_after(std::chrono::milliseconds(options_.flush_ms));
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
    std::vector<uint64_t> list;
    list.swap(all ? game_.dirty : game_.urgent);
    for (const uint64_t serial : list) {
        Connection* c = Find_Connection(game_, serial);
        auto hit = sessions_.find(serial);
        if (!c || hit == sessions_.end()) {
            if (c) Forget_Connection(game_, serial);
            continue;
        }
        if (all) c->dirty = false;
        c->urgent = false;
        if (c->gone) {
            Close(hit->second, "");
            continue;
        }
        Write(hit->second);
    }
}

void Net_Server::Write(const Session_Ptr& s) {
    if (s->closed || !s->writing.empty()) return;
    Connection* c = Find_Connection(game_, s->serial);
    if (!c) return Close(s, "");
    if (c->out.empty()) {
        if (c->closing) Close(s, "");
        return;
    }
    s->writing.swap(c->out);
    asio::async_write(s->socket, asio::buffer(s->writing), [this, s](const asio::error_code& error, size_t) {
        s->writing.clear();
        if (s->closed) return;
        if (error) {
            const bool left = error == asio::error::connection_reset || error == asio::error::broken_pipe;
            Close(s, left ? "" : "write failed: " + error.message());
            After_Game();
            return;
        }
        Write(s);
    });
}

void Net_Server::Close(const Session_Ptr& s, const std::string& why) {
    if (s->closed) return;
    s->closed = true;
    asio::error_code ignored;
    s->socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    s->socket.close(ignored);
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
