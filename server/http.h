// http.h -- the side port: read-only pages for the operator and a community's website ("/",
// "/status.json", "/metrics"), served by cpp-httplib on threads of its own from the snapshot the
// game thread publishes (metrics.h). It never touches the game.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "metrics.h"

struct Side_Address {
    std::string bind = "127.0.0.1";
    uint16_t port = 0;   // 0: any free port
};

// "ADDR:PORT", "[ADDR]:PORT", ":PORT" or "PORT" (then 127.0.0.1); nullopt when malformed.
std::optional<Side_Address> Parse_Side_Address(const std::string& text);

class Side_Port {
public:
    Side_Port();
    ~Side_Port();
    Side_Port(const Side_Port&) = delete;
    Side_Port& operator=(const Side_Port&) = delete;
    // Binds and starts serving `board`; false with the reason in `error`.
    bool Start(const Side_Address& address, Status_Board& board, std::string& error);
    uint16_t Port() const { return port_; }
    // Ends the threads; waits for a page being written.
    void Stop();

    struct State;

private:
    std::unique_ptr<State> state_;
    uint16_t port_ = 0;
};

// The status page's HTML, with its style and script (status_page.cpp).
extern const char* const STATUS_PAGE_HTML;
