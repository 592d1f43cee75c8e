// tcp_socket.cpp -- the TCP client socket on standalone Asio, with TLS unless asked for the bare
// protocol: one thread, never blocking, driven by Poll at every yield of the frame loops. The
// server's key is checked here: a certificate from a trusted authority naming the host, a
// published key, or the one pinned at the first connection.
#include <asio.hpp>
#include <asio/ssl.hpp>

#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <openssl/x509v3.h>

#include "platform/backends.h"
#include "platform/files.h"
#include "platform/tls_common.h"

namespace {

constexpr std::chrono::seconds CONNECT_LIMIT{10};
constexpr size_t READ_CHUNK = size_t(64) << 10;

// "host:port" as the pin file names a server ("[v6 address]:port").
std::string Server_Name(const std::string& host, uint16_t port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// The fingerprint pinned for a server in the file's text; "" when it has none. The first line
// for the server counts; lines that are not "name fingerprint" are skipped.
std::string Pinned_Key(const std::string& text, const std::string& name) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const size_t space = line.find_first_of(" \t");
        if (space == std::string::npos || line.substr(0, space) != name) continue;
        std::string key = Normal_Fingerprint(line.substr(line.find_first_not_of(" \t", space)));
        if (!key.empty()) return key;
    }
    return "";
}

class Tcp_Socket : public Socket_Backend {
public:
    explicit Tcp_Socket(const Socket_Security& security)
        : security_(security), tls_(asio::ssl::context::tls_client), timer_(io_) {
        Apply_Tls_Policy(tls_.native_handle());
        // The chain is checked after the handshake, where a key that is not vouched for may
        // still be a pinned one.
        tls_.set_verify_mode(asio::ssl::verify_none);
        if (!security_.trusted_roots.empty())
            SSL_CTX_load_verify_locations(tls_.native_handle(), security_.trusted_roots.c_str(), nullptr);
        else if (!security_.plain)
            Load_System_Roots(tls_.native_handle());
        Tls_Error_Text();   // nothing left behind for a later report
    }
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
        host_ = host;
        port_ = port;
        link_ = std::make_shared<Link>(io_, tls_);
        asio::error_code ec;
        std::vector<asio::ip::tcp::endpoint> endpoints;
        asio::ip::address address = asio::ip::make_address(host, ec);
        numeric_ = !ec;
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
        // The limit covers the handshake too: a server that accepts and then says nothing.
        timer_.expires_after(CONNECT_LIMIT);
        timer_.async_wait([this, generation](const asio::error_code& error) {
            if (error || generation != generation_ || state_ != State::Connecting) return;
            Fail("connection timed out");
        });
        asio::async_connect(
            link_->stream.lowest_layer(), endpoints,
            [this, generation, link = link_](const asio::error_code& error, const asio::ip::tcp::endpoint&) {
                if (generation != generation_ || state_ != State::Connecting) return;
                if (error) return Fail(error.message());
                asio::error_code ignored;
                link->stream.lowest_layer().set_option(asio::ip::tcp::no_delay(true), ignored);
                if (security_.plain) return Opened();
                Handshake();
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
    // One connection's stream; its handlers hold it, so a stream replaced by a new connection
    // lives until its last (aborted) handler has run.
    struct Link {
        Link(asio::io_context& io, asio::ssl::context& tls) : stream(io, tls) {}
        asio::ssl::stream<asio::ip::tcp::socket> stream;
    };

    void Run_Ready() {
        io_.restart();
        io_.poll();
    }

    void Handshake() {
        SSL* ssl = link_->stream.native_handle();
        // The name the server's certificate is for, and the one a server of many names picks by.
        if (!numeric_) SSL_set_tlsext_host_name(ssl, host_.c_str());
        uint64_t generation = generation_;
        link_->stream.async_handshake(asio::ssl::stream_base::client,
                                      [this, generation, link = link_](const asio::error_code& error) {
                                          if (generation != generation_ || state_ != State::Connecting) return;
                                          if (error) return Fail("TLS handshake: " + error.message());
                                          Check_Key();
                                      });
    }

    // Accepts the server's key or refuses it (Key_Refused, and the connection closed).
    void Check_Key() {
        SSL* ssl = link_->stream.native_handle();
        X509* cert = SSL_get0_peer_certificate(ssl);
        const std::string key = Key_Fingerprint(cert);
        const auto refuse = [&](const std::string& why) {
            Shut();
            state_ = State::Ended;
            events_.push_back({Socket_Event::Key_Refused, why + " " + key});
        };
        if (key.empty()) return Fail("the server shows no certificate");
        if (!security_.server_key.empty()) {
            if (key != security_.server_key) return refuse("server_key");
            return Opened();
        }
        const bool names_host = numeric_ ? X509_check_ip_asc(cert, host_.c_str(), 0) == 1
                                         : X509_check_host(cert, host_.c_str(), host_.size(), 0, nullptr) == 1;
        if (SSL_get_verify_result(ssl) == X509_V_OK && names_host) return Opened();
        if (security_.known_servers.empty()) return Opened();
        const std::string name = Server_Name(host_, port_);
        const std::string pinned = Pinned_Key(Read_Whole_File(security_.known_servers).value_or(""), name);
        if (pinned.empty()) {
            // First use: this key is the server's from now on. A file that cannot be written
            // only means the next connection asks the same again.
            Append_To_File(security_.known_servers, name + " " + key + "\n");
        } else if (pinned != key) {
            return refuse("changed");
        }
        Opened();
    }

    void Opened() {
        timer_.cancel();
        state_ = State::Open;
        events_.push_back({Socket_Event::Connected, {}});
        Read();
        Write();
    }

    void Fail(const std::string& why) {
        Shut();
        state_ = State::Ended;
        events_.push_back({Socket_Event::Failed, why});
    }

    void Shut() {
        asio::error_code ignored;
        timer_.cancel();
        if (link_) {
            link_->stream.lowest_layer().shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
            link_->stream.lowest_layer().close(ignored);
        }
        outgoing_.clear();
        writing_.clear();
        state_ = State::Idle;
        // Handlers of the closed socket still complete (aborted) at the next poll; the state and
        // generation checks drop them.
    }

    void Read() {
        uint64_t generation = generation_;
        auto done = [this, generation, link = link_](const asio::error_code& error, size_t n) {
            if (generation != generation_ || state_ != State::Open) return;
            if (n > 0) events_.push_back({Socket_Event::Data, std::string(buffer_.data(), n)});
            if (error) {
                // End of stream, a reset or a broken TLS record: either way the peer is gone.
                Shut();
                state_ = State::Ended;
                events_.push_back({Socket_Event::Closed, {}});
                return;
            }
            Read();
        };
        if (security_.plain)
            link_->stream.next_layer().async_read_some(asio::buffer(buffer_), done);
        else
            link_->stream.async_read_some(asio::buffer(buffer_), done);
    }

    void Write() {
        if (state_ != State::Open || !writing_.empty() || outgoing_.empty()) return;
        writing_.swap(outgoing_);
        uint64_t generation = generation_;
        auto done = [this, generation, link = link_](const asio::error_code& error, size_t) {
            if (generation != generation_ || state_ != State::Open) return;
            writing_.clear();
            if (error) return;   // the read side reports the loss
            Write();
        };
        if (security_.plain)
            asio::async_write(link_->stream.next_layer(), asio::buffer(writing_), done);
        else
            asio::async_write(link_->stream, asio::buffer(writing_), done);
    }

    Socket_Security security_;
    asio::io_context io_;
    asio::ssl::context tls_;
    std::shared_ptr<Link> link_;
    asio::steady_timer timer_;
    State state_ = State::Idle;
    uint64_t generation_ = 0;
    std::string host_;
    uint16_t port_ = 0;
    bool numeric_ = false;
    std::array<char, READ_CHUNK> buffer_{};
    std::string outgoing_, writing_;
    std::deque<Socket_Event> events_;
};

}   // namespace

std::unique_ptr<Socket_Backend> Make_Tcp_Socket(const Socket_Security& security) {
    return std::make_unique<Tcp_Socket>(security);
}
