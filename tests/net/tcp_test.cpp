// tcp_test.cpp -- the client's real TCP socket, polled through Do_Events: a refused connection,
// and isoserver as a child process through a logging proxy, with a player speaking clear text.
#include <asio.hpp>

#include <csignal>

#include "map/world_files.h"
#include "net_fixture.h"
#include "platform/backends.h"
#include "platform/files.h"

namespace {

Socket_Security Plain() {
    Socket_Security security;
    security.plain = true;
    return security;
}

TEST_F(Net_Test, A_Refused_Connection_Is_Error_20) {
    asio::io_context io;
    asio::ip::tcp::acceptor closed{io, {asio::ip::make_address("127.0.0.1"), 0}};
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket(Plain());
    Platform.socket = tcp.get();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = closed.local_endpoint().port();
    closed.close();
    Open_Connection();
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 20);
}

class Server_Test : public Net_Test {
protected:
    FILE* server = nullptr;   // the server's standard input: operator commands
    uint16_t port = 0;
    world_test::Temp_Folder temp;
    std::string output = Host_Path_Of(temp.path / "server.out");   // its standard output, with the port

    void SetUp() override {
        Net_Test::SetUp();
        // Accounts in memory, made at the first login, with the cheapest hashes.
        const std::string options =
            " --port 0 --seed 7 --stdin-commands --register open --db :memory: --hash-ops 1 --hash-memory 8 --map ";
#ifdef _WIN32
        // Through cmd.exe, which takes the program by a drive path and strips one pair of quotes
        // around the whole line; no exec; Windows' null device.
        server = _popen(("\"\"" + Executable_Folder() + "/isoserver.exe\"" + options +
                         "\"" ISO_OUT_DIR "/data/testmap.map\" >\"" + output + "\" 2>NUL\"")
                            .c_str(),
                        "w");
#else
        std::signal(SIGPIPE, SIG_IGN);
        server = popen(("exec '" ISO_OUT_DIR "/isoserver'" + options + "'" ISO_OUT_DIR "/data/testmap.map' >'" +
                        output + "' 2>'" + output + ".err'")
                           .c_str(),
                       "w");
#endif
        ASSERT_TRUE(Pump([&] {
            std::string text = Read_Whole_File(output).value_or("");
            size_t at = text.find("127.0.0.1:");
            port = at != text.npos && text.ends_with('\n') ? uint16_t(std::atoi(&text[at + 10])) : 0;
            return port != 0;
        }));
    }
    void TearDown() override {
#ifdef _WIN32
        if (server) _pclose(server);
#else
        if (server) pclose(server);
#endif
        Net_Test::TearDown();
    }
};

// A TCP relay between the client and the server that keeps every byte it passes, both ways.
struct Logging_Proxy {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor{io, {asio::ip::make_address("127.0.0.1"), 0}};
    asio::ip::tcp::socket client{io}, server{io};
    std::array<char, 4096> up{}, down{};
    std::string seen;

    explicit Logging_Proxy(uint16_t server_port) {
        acceptor.async_accept(client, [this, server_port](const asio::error_code& error) {
            if (error) return;
            server.async_connect({asio::ip::make_address("127.0.0.1"), server_port}, [this](const asio::error_code& e) {
                if (e) return;
                Relay(client, server, up);
                Relay(server, client, down);
            });
        });
    }
    void Relay(asio::ip::tcp::socket& from, asio::ip::tcp::socket& to, std::array<char, 4096>& buffer) {
        from.async_read_some(asio::buffer(buffer),
                             [this, &from, &to, &buffer](const asio::error_code& error, size_t n) {
                                 seen.append(buffer.data(), n);
                                 asio::error_code ignored;
                                 asio::write(to, asio::buffer(buffer.data(), n), ignored);
                                 if (error) return to.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
                                 Relay(from, to, buffer);
                             });
    }
};

// The client module logs in over TLS through a proxy that logs the stream: nothing of the
// protocol crosses it in clear, and the key it pinned is the one the server announced. A client
// speaking the bare protocol to the TLS port hears nothing back and is closed, the failed
// handshake logged once.
TEST_F(Server_Test, Through_A_Logging_Proxy_Nothing_In_Clear_And_A_Bare_Client_Hears_Nothing) {
    Logging_Proxy proxy(port);
    Socket_Security security;
    security.known_servers = output + ".pins";
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket(security);
    Platform.socket = tcp.get();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = proxy.acceptor.local_endpoint().port();
    // A name of three letters: two bytes of ciphertext match one letter's Big5 now and then.
    Net.Link.Login_Id = u"乙丙丁";
    Net.Link.Login_Password = u"hunter2/secret";
    in_game = Ready_And_Play;
    each_turn = [&] { proxy.io.poll(); };
    Open_Connection();
    ASSERT_TRUE(Pump([] { return Net.Link.In_Game && Chars.Own_Player.id != 0; }));
    ASSERT_GT(proxy.seen.size(), 200u);
    for (const std::string& clear :
         std::vector<std::string>{"hunter2", "/pass", "/ver", "/plstart", "/e/", To_Cp950(u"乙丙丁")})
        EXPECT_EQ(proxy.seen.find(clear), std::string::npos) << clear;
    const std::string announced = Read_Whole_File(output).value_or("");
    const size_t key_at = announced.find("key SHA256:");
    ASSERT_NE(key_at, std::string::npos) << announced;
    EXPECT_EQ(Read_Whole_File(output + ".pins").value_or(""),
              "127.0.0.1:" + std::to_string(Net.Server_Port) + " " + announced.substr(key_at + 4, 71) + "\n");

    std::unique_ptr<Socket_Backend> bare = Make_Tcp_Socket(Plain());
    std::string heard;
    bool open = false, closed = false;
    each_turn = [&] {
        std::vector<Socket_Event> events;
        bare->Poll(events);
        for (const Socket_Event& e : events) {
            if (e.kind == Socket_Event::Data) heard += e.bytes;
            open |= e.kind == Socket_Event::Connected;
            closed |= e.kind == Socket_Event::Closed || e.kind == Socket_Event::Failed;
        }
    };
    bare->Connect("127.0.0.1", port);
    ASSERT_TRUE(Pump([&] { return open; }));
    bare->Send("/ver 0.1 beta/e//id bare/e//pass hunter2/e/");
    ASSERT_TRUE(Pump([&] { return closed; }));
    EXPECT_EQ(heard.find("/e/"), std::string::npos) << heard;
#ifndef _WIN32
    // The server may log it just after the client saw the connection close.
    std::string log;
    EXPECT_TRUE(Pump([&] {
        log = Read_Whole_File(output + ".err").value_or("");
        return log.find("TLS handshake failed: \"") != std::string::npos;
    })) << log;
    EXPECT_EQ(log.find("TLS handshake failed", log.find("TLS handshake failed") + 1), std::string::npos) << log;
#endif
}

}   // namespace
