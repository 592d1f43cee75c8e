// tcp_socket.cpp -- the TCP client socket on standalone Asio: one thread, never blocking, driven
// by Poll at every yield of the frame loops.
#include <asio.hpp>

#include <array>
#include <chrono>
#include <deque>
#include <memory>

#include "platform/backends.h"

namespace {

constexpr std::chrono::seconds CONNECT_LIMIT{10};
constexpr size_t READ_CHUNK = size_t(64) << 10;

class Tcp_Socket : public Socket_Backend {
public:
    Tcp_Socket() : socket_(io_), timer_(io_) {}
    ~Tcp_Socket() override {
        // A destructor must not throw; a timer that cannot be cancelled goes with the io_context.
        try {
            Shut();
        } catch (const std::exception&) {}
    }

    void Connect(const std::string& host, uint16_t port) override {
        Shut();
        ++generation_;
        state_ = State::Connecting;
        asio::error_code ec;
        std::vector<asio::ip::tcp::endpoint> endpoints;
        asio::ip::address address = asio::ip::make_address(host, ec);
        if (!ec) {
            endpoints.emplace_back(address, port);
        } else {
            // A host name: the resolver blocks for its look-up, which keeps everything on the
            // one thread; numeric addresses skip it.
            asio::ip::tcp::resolver resolver(io_);
            auto results = resolver.resolve(host, std::to_string(port), ec);
            if (!ec)
                for (const auto& entry : results) endpoints.push_back(entry.endpoint());
        }
        if (endpoints.empty()) {
            Fail("cannot resolve " + host + (ec ? ": " + ec.message() : std::string()));
            return;
        }
        uint64_t generation = generation_;
        timer_.expires_after(CONNECT_LIMIT);
        timer_.async_wait([this, generation](const asio::error_code& error) {
            if (error || generation != generation_ || state_ != State::Connecting) return;
            Fail("connection timed out");
        });
        asio::async_connect(socket_, endpoints,
                            [this, generation](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
                                if (generation != generation_ || state_ != State::Connecting) return;
                                timer_.cancel();
                                if (error) {
                                    Fail(error.message());
                                    return;
                                }
                                asio::error_code ignored;
                                socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
                                state_ = State::Open;
                                events_.push_back({Socket_Event::Connected, {}});
                                Read();
                                Write();
                            });
    }

    void Send(const std::string& bytes) override {
        // Nothing to send to before the connection is up or after it has gone.
        if (state_ != State::Open || bytes.empty()) return;
        outgoing_ += bytes;
        Write();   // Asio tries the send at once; the next Poll completes the rest
    }

    void Close() override {
        Shut();
        ++generation_;
    }

    bool Expecting_Data() const override { return state_ == State::Connecting || state_ == State::Open; }

    void Poll(std::vector<Socket_Event>& out) override {
        Run_Ready();
        while (!events_.empty()) {
            out.push_back(std::move(events_.front()));
            events_.pop_front();
        }
    }

private:
    enum class State { Idle, Connecting, Open, Ended };

    void Run_Ready() {
        io_.restart();
        io_.poll();
    }

    void Fail(const std::string& why) {
        Shut();
        state_ = State::Ended;
        events_.push_back({Socket_Event::Failed, why});
    }

    void Shut() {
        asio::error_code ignored;
        timer_.cancel();
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        outgoing_.clear();
        writing_.clear();
        state_ = State::Idle;
        // Handlers of the closed socket still complete (aborted) at the next poll; the state and
        // generation checks drop them.
    }

    void Read() {
        uint64_t generation = generation_;
        socket_.async_read_some(asio::buffer(buffer_), [this, generation](const asio::error_code& error, size_t n) {
            if (generation != generation_ || state_ != State::Open) return;
            if (n > 0) events_.push_back({Socket_Event::Data, std::string(buffer_.data(), n)});
            if (error) {
                // End of stream or a reset: either way the peer is gone.
                Shut();
                state_ = State::Ended;
                events_.push_back({Socket_Event::Closed, {}});
                return;
            }
            Read();
        });
    }

    void Write() {
        if (state_ != State::Open || !writing_.empty() || outgoing_.empty()) return;
        writing_.swap(outgoing_);
        uint64_t generation = generation_;
        asio::async_write(socket_, asio::buffer(writing_), [this, generation](const asio::error_code& error, size_t) {
            if (generation != generation_ || state_ != State::Open) return;
            writing_.clear();
            if (error) return;   // the read side reports the loss
            Write();
        });
    }

    asio::io_context io_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    State state_ = State::Idle;
    uint64_t generation_ = 0;
    std::array<char, READ_CHUNK> buffer_{};
    std::string outgoing_, writing_;
    std::deque<Socket_Event> events_;
};

}   // namespace

std::unique_ptr<Socket_Backend> Make_Tcp_Socket() { return std::make_unique<Tcp_Socket>(); }
