// loopback_test.cpp -- the client's real TCP socket, polled through Do_Events on the fake clock,
// against a scripted server on 127.0.0.1: the handshake to the byte, a refused connection.
#include <asio.hpp>

#include <chrono>
#include <functional>
#include <thread>

#include "net_fixture.h"
#include "platform/backends.h"

namespace {

class Loopback_Test : public Net_Test {
protected:
    asio::io_context server_io;
    asio::ip::tcp::acceptor acceptor{server_io};
    asio::ip::tcp::socket peer{server_io};
    std::string received;                 // every byte the server got, in order
    bool accepted = false, peer_closed = false;
    std::array<char, 4096> buffer{};
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket();
    int raised = -1;

    void SetUp() override {
        Net_Test::SetUp();
        Platform.socket = tcp.get();
        asio::ip::tcp::endpoint any(asio::ip::make_address("127.0.0.1"), 0);
        acceptor.open(any.protocol());
        acceptor.bind(any);
        acceptor.listen();
        acceptor.async_accept(peer, [this](const asio::error_code& error) {
            accepted = !error;
            if (accepted) Read();
        });
        Net.Server_Host = "127.0.0.1";
        Net.Server_Port = acceptor.local_endpoint().port();
    }
    void TearDown() override {
        Platform.socket = nullptr;
        Net_Test::TearDown();
    }

    void Read() {
        peer.async_read_some(asio::buffer(buffer), [this](const asio::error_code& error, size_t n) {
            received.append(buffer.data(), n);
            if (error) peer_closed = true;
            else Read();
        });
    }

    // Runs the client's yields and the server's handlers until done() holds; false after 5 s of
    // wall time (a hung connection fails the test instead of hanging it).
    bool Pump(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            try {
                Do_Events();
            } catch (const Raised& r) {
                raised = r.code;
            }
            server_io.restart();
            server_io.poll();
            std::this_thread::yield();
        }
        return true;
    }

    void Server_Sends(const std::string& bytes) { asio::write(peer, asio::buffer(bytes)); }
};

TEST_F(Loopback_Test, Handshake_To_The_Byte_Then_A_Close_Is_Error_20) {
    Net.Login_Id = u"阿明/x";
    Net.Login_Password = u"p\\q";
    Net_Recorder::in_game = [] {
        Send_Message(u"/ready", u"");
        Net.In_Game = true;
    };
    window.now = 500;
    Open_Connection();
    EXPECT_EQ(Connection_Status(), u"連線中...");
    const std::string version = "/ver 0.1 beta/e/";
    ASSERT_TRUE(Pump([&] { return received.size() >= version.size(); }));
    EXPECT_EQ(received, version);
    EXPECT_EQ(Connection_Status(), u"登入中...");

    // Replies cut in pieces and glued together still drive the handshake, step by step.
    const std::string id = "/id " + To_Cp950(u"阿明/#x") + "/e/";
    Server_Sends("/ver");
    Server_Sends("ok 1/e/");
    ASSERT_TRUE(Pump([&] { return received.size() >= version.size() + id.size(); }));
    EXPECT_EQ(received, version + id);

    const std::string pass = "/pass p/$q/e/";
    Server_Sends("/IDOK 2/e//plst");
    ASSERT_TRUE(Pump([&] { return received.size() >= version.size() + id.size() + pass.size(); }));
    EXPECT_EQ(received, version + id + pass);
    window.now += 29000;
    Check_Connection();   // still inside the handshake's 30 s

    Server_Sends("art 7\\x/e/");
    const std::string ready = "/ready /e/";
    const std::string all = version + id + pass + ready;
    ASSERT_TRUE(Pump([&] { return Net_Recorder::games_started == 1 && received.size() >= all.size(); }));
    EXPECT_EQ(received, all);
    EXPECT_EQ(Chars.Own_Player.id, 7);
    EXPECT_EQ(Chars.Own_Player.name, u"阿明/x");
    window.now += 60000;
    Check_Connection();   // the game runs: no time limit any more

    // The game goes on with the server's messages; then the server goes away.
    Server_Sends(To_Cp950(u"/setpl 4\\許功蓋/e//setplxy 4\\3\\5/e//say 4\\你/#好/e/"));
    ASSERT_TRUE(Pump([&] { return Net.Last_Chat == u"你/好"; }));
    ASSERT_EQ(Chars.Players.size(), 1u);
    EXPECT_EQ(Chars.Players[0].name, u"許功蓋");
    EXPECT_EQ(Chars.Players[0].cell_x * 100 + Chars.Players[0].cell_y, 305);
    peer.close();
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 20);
}

TEST_F(Loopback_Test, A_Refused_Connection_Is_Error_20) {
    uint16_t closed_port = Net.Server_Port;
    acceptor.close();
    Net.Server_Port = closed_port;
    Open_Connection();
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 20);
    EXPECT_FALSE(accepted);
}

}  // namespace
