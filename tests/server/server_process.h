// server_process.h -- isoserver and its clients as real processes and sockets, for the tests
// that run the programs (POSIX only): the port it listens on, a player on a blocking socket, the
// server's usual arguments.
#pragma once
#include <asio.hpp>

#include "child_process.h"
#include "map/world_files.h"
#include "server_seam.h"

namespace fs = std::filesystem;
using world_test::Temp_Folder;

// The port the server's output names after `marker` (its game port, by default); 0 after 20 s.
inline uint16_t Listening_Port(const Child& server, const std::string& marker = "127.0.0.1:") {
    uint16_t port = 0;
    Eventually(20, [&] {
        const std::string text = server.Output();
        const size_t at = text.find(marker);
        port = at != std::string::npos ? uint16_t(std::atoi(text.c_str() + at + marker.size())) : 0;
        return port != 0;
    });
    return port;
}

// A player on a blocking socket, its reads bounded by a deadline.
struct Wire_Player {
    asio::io_context io;
    asio::ip::tcp::socket socket{io};
    Message_Stream in;
    int16_t id = 0;
    int16_t x = 0, y = 0;   // where the server placed it

    bool Open(uint16_t port) {
        asio::error_code ec;
        socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
        return !ec;
    }
    void Send(const std::string& bytes) {
        asio::error_code ec;
        asio::write(socket, asio::buffer(bytes), ec);
    }
    // The next message that starts with `prefix`; "" after 10 s.
    std::string Wait_For(const std::string& prefix) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string message;
        size_t size = 0;
        for (;;) {
            while (Cut_Message(in, 1 << 20, message, size) == Cut_Result::Message)
                if (message.rfind(prefix, 0) == 0) return message;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return "";
            pollfd p{socket.native_handle(), POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) return "";
            char buffer[4096];
            asio::error_code ec;
            const size_t n = socket.read_some(asio::buffer(buffer), ec);
            if (ec) return "";
            in.bytes.append(buffer, n);
        }
    }
    bool Join(uint16_t port, const std::string& name) {
        if (!Open(port)) return false;
        Send("/ver 0.1 beta/e//id " + name + "/e//pass pw/e/");
        const std::string start = Wait_For("/plstart ");
        if (start.empty()) return false;
        id = int16_t(std::atoi(start.c_str() + 9));
        Send("/ready /e/");
        const std::string placed = Wait_For("/setplxy " + std::to_string(id) + "\\");
        if (placed.empty()) return false;
        int16_t f[3];
        if (!Number_Fields(From_Cp950(placed.substr(9)), f, 3)) return false;
        x = f[1];
        y = f[2];
        return true;
    }
};

inline std::vector<std::string> Server_Args(const fs::path& db, const std::vector<std::string>& more) {
    const std::string out = ISO_OUT_DIR;
    std::vector<std::string> args = {
        out + "/isoserver", "--port", "0", "--map", out + "/data/testmap.map", "--db", db.string(), "--hash-ops", "1",
        "--hash-memory", "8",
        // Two network threads whatever the machine, so connections' strands run side by side.
        "--io-threads", "2"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}
