// link.h -- a bot's connection to the server: TLS over TCP as players connect, or the bare
// protocol with --plain. The bots load their own server, so its key is not checked.
#pragma once
#include <asio.hpp>
#include <asio/ssl.hpp>

#include <memory>

#include "platform/tls_common.h"

struct Bot_Link {
    Bot_Link(asio::io_context& io, asio::ssl::context& tls, bool bare) : stream(io, tls), plain(bare) {}
    asio::ssl::stream<asio::ip::tcp::socket> stream;
    bool plain;

    // Connects, then (over TLS) shakes hands; `then` gets the first error or none.
    template <typename Handler>
    void Connect(const asio::ip::tcp::endpoint& server, Handler then) {
        stream.lowest_layer().async_connect(server, [this, then](const asio::error_code& error) mutable {
            if (error || plain) return then(error);
            asio::error_code ignored;
            stream.lowest_layer().set_option(asio::ip::tcp::no_delay(true), ignored);
            stream.async_handshake(asio::ssl::stream_base::client, then);
        });
    }
    template <typename Buffer, typename Handler>
    void Write(const Buffer& buffer, Handler handler) {
        if (plain)
            asio::async_write(stream.next_layer(), buffer, handler);
        else
            asio::async_write(stream, buffer, handler);
    }
    template <typename Buffer, typename Handler>
    void Read_Some(const Buffer& buffer, Handler handler) {
        if (plain)
            stream.next_layer().async_read_some(buffer, handler);
        else
            stream.async_read_some(buffer, handler);
    }
    void Close() {
        asio::error_code ignored;
        stream.lowest_layer().close(ignored);
    }
};

// The bots' TLS settings: those of the client, without a check of the server's key.
inline std::unique_ptr<asio::ssl::context> Make_Bot_Tls() {
    auto tls = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_client);
    Apply_Tls_Policy(tls->native_handle());
    tls->set_verify_mode(asio::ssl::verify_none);
    return tls;
}
