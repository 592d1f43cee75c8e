// game_server.h -- the reference game server: the protocol from the server's side, for many
// clients on one thread.
#pragma once
#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "map/map_file.h"
#include "wire/wire.h"

struct Server_Options {
    std::string bind = "127.0.0.1";
    uint16_t port = 7000;   // 0: any free port (printed when listening)
    std::string map_file = "data/testmap.map";
    size_t max_clients = 4000;             // connections beyond are closed at once
    size_t max_message = 4096;             // bytes of one message; longer ones are dropped
    size_t max_output = size_t(8) << 20;   // bytes queued for a client that does not read
    size_t log_per_second = 200;           // log lines; the rest are counted
    bool stdin_commands = false;           // end of standard input ends the server
    bool stats = false;                    // a traffic line every 10 s
    uint32_t seed = 0;                     // 0: random start cells
};

class Game_Server {
public:
    Game_Server(asio::io_context& io, const Server_Options& options, const Map_Model& map);
    // Binds and starts accepting; false (with the reason logged) when the address is taken.
    bool Start();
    uint16_t Port() const { return port_; }
    // Runs an operator's command line ("kick ID", "list", "quit", "help"); false for "quit".
    bool Command(const std::string& line);
    // Closes the listener and every connection; io.run() then returns.
    void Stop();

private:
    enum class Stage { Fresh, Version_Ok, Id_Given, Started, Ready };

    struct Client {
        explicit Client(asio::io_context& io) : socket(io), close_timer(io) {}
        uint64_t serial = 0;
        asio::ip::tcp::socket socket;
        asio::steady_timer close_timer;
        std::string peer;
        std::array<char, 8192> read_buffer{};
        Message_Stream in;
        std::string out, writing;
        bool closed = false;          // gone from the game; no more reads, writes or messages
        bool closing = false;         // flushes what is queued, then closes
        bool flush_pending = false;   // in dirty_, written at the end of the loop's turn
        bool doomed = false;          // queued too much: dropped at the next turn of the loop
        Stage stage = Stage::Fresh;
        std::u16string name;
        int16_t id = 0;
        int16_t cell_x = 0, cell_y = 0;       // where the player stands, as far as the server knows
        int16_t placed_x = 0, placed_y = 0;   // the cell the server last placed or moved it to
        std::vector<int16_t> table;           // ids in the client's own table of other players
    };
    using Client_Ptr = std::shared_ptr<Client>;

    void Accept();
    void Read(const Client_Ptr& client);
    void Handle_Input(const Client_Ptr& client);
    void Handle(const Client_Ptr& client, const std::string& message);
    void Queue(const Client_Ptr& client, const std::string& bytes);
    void Write(const Client_Ptr& client);
    void Flush();
    void Refuse(const Client_Ptr& client, const std::string& bytes, const std::string& why);
    void Drop(const Client_Ptr& client, const std::string& why);
    void Leave_Game(const Client_Ptr& client);
    void Close_Now(const Client_Ptr& client);

    void On_Version(const Client_Ptr& c, const std::u16string& data);
    void On_Id(const Client_Ptr& c, const std::u16string& data);
    void On_Pass(const Client_Ptr& c);
    void On_Ready(const Client_Ptr& c);
    void On_Move(const Client_Ptr& c, const std::u16string& data);
    void On_Got(const Client_Ptr& c, const std::u16string& data);
    void On_Say(const Client_Ptr& c, const std::string& raw_message);

    bool Name_In_Game(const std::u16string& name, const Client* except) const;
    bool Free_Target(int32_t x, int32_t y) const;
    void Place(Client& c);
    void Log(const Client* client, const std::string& what);
    void Stats_Tick();

    asio::io_context& io_;
    Server_Options options_;
    const Map_Model& map_;
    asio::ip::tcp::acceptor acceptor_;
    asio::steady_timer retry_timer_, stats_timer_;
    uint16_t port_ = 0;
    bool stopped_ = false;
    uint64_t next_serial_ = 1;
    int16_t next_id_ = 1;
    std::unordered_map<uint64_t, Client_Ptr> clients_;
    std::unordered_map<int16_t, Client_Ptr> by_id_;   // clients that got "/plstart"
    std::vector<Client_Ptr> players_;                 // clients in the game, in order of "/ready"
    std::vector<Client_Ptr> dirty_;                   // clients with output queued this turn
    bool flush_posted_ = false;
    std::vector<std::pair<int16_t, int16_t>> free_cells_;
    std::mt19937 random_;

    // Traffic counts and the log's rate limit.
    uint64_t messages_in_ = 0, messages_out_ = 0;
    std::chrono::steady_clock::time_point log_window_{};
    size_t log_lines_ = 0, log_suppressed_ = 0;
};
