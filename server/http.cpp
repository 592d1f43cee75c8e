// http.cpp -- the side port on cpp-httplib: a listening thread and a small pool of its own.
#include "http.h"

#include <httplib.h>

#include <cstdlib>
#include <thread>

struct Side_Port::State {
    httplib::Server server;
    std::thread thread;
};

std::optional<Side_Address> Parse_Side_Address(const std::string& text) {
    Side_Address address;
    std::string port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        std::string host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
        if (host.find(':') != std::string::npos && text.front() != '[') return std::nullopt;   // IPv6 wants brackets
        if (!host.empty()) address.bind = host;
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long number = std::strtol(port.c_str(), nullptr, 10);
    if (number > 65535) return std::nullopt;
    address.port = uint16_t(number);
    return address;
}

Side_Port::Side_Port() : state_(std::make_unique<State>()) {}

Side_Port::~Side_Port() { Stop(); }

bool Side_Port::Start(const Side_Address& address, Status_Board& board, std::string& error) {
    httplib::Server& server = state_->server;
    // Two workers: a scraper's kept-alive connection never holds up the page. Short timeouts and
    // no bodies: a slow or hostile peer costs a worker for a few seconds at most.
    server.new_task_queue = [] { return new httplib::ThreadPool(2); };
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    server.set_keep_alive_timeout(5);
    server.set_payload_max_length(1024);
    auto send = [&board](httplib::Response& response, const char* type, auto&& make) {
        const std::shared_ptr<const Status_Snapshot> snapshot = Latest(board);
        if (!snapshot) {
            response.status = 503;
            return;
        }
        response.set_header("Cache-Control", "no-store");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_content(make(*snapshot), type);
    };
    server.Get("/", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_content(STATUS_PAGE_HTML, "text/html; charset=utf-8");
    });
    server.Get("/status.json", [send](const httplib::Request&, httplib::Response& response) {
        send(response, "application/json; charset=utf-8", [](const Status_Snapshot& s) { return Status_Json(s); });
    });
    server.Get("/metrics", [send](const httplib::Request&, httplib::Response& response) {
        send(response, "text/plain; version=0.0.4; charset=utf-8",
             [](const Status_Snapshot& s) { return Prometheus_Text(s, Read_Process_Usage()); });
    });
    const int port = address.port == 0 ? server.bind_to_any_port(address.bind.c_str())
                                       : (server.bind_to_port(address.bind.c_str(), address.port) ? address.port : -1);
    if (port <= 0) {
        error = "cannot listen on " + address.bind + ":" + std::to_string(address.port);
        return false;
    }
    port_ = uint16_t(port);
    state_->thread = std::thread([this] { state_->server.listen_after_bind(); });
    // Until it runs, a stop() would be missed and the thread never end.
    for (int i = 0; i < 2000 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void Side_Port::Stop() {
    if (!state_->thread.joinable()) return;
    state_->server.stop();
    state_->thread.join();
}
