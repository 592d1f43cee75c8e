// tcp_test.cpp -- the client's real TCP socket, polled through Do_Events: against a scripted
// server on 127.0.0.1 (the handshake to the byte, a refused connection), and against isoserver
// as a child process, with protocol-level players beside the client module.
#include <asio.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "net_fixture.h"
#include "platform/backends.h"
#include "platform/files.h"

namespace {

Socket_Security Plain() {
    Socket_Security security;
    security.plain = true;
    return security;
}

class Loopback_Test : public Net_Test {
protected:
    asio::io_context server_io;
    asio::ip::tcp::acceptor acceptor{server_io, {asio::ip::make_address("127.0.0.1"), 0}};
    asio::ip::tcp::socket peer{server_io};
    std::string received;   // every byte the server got, in order
    // The scripted server speaks the bare protocol.
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket(Plain());

    void SetUp() override {
        Net_Test::SetUp();
        Platform.socket = tcp.get();
        Net.Server_Host = "127.0.0.1";
        Net.Server_Port = acceptor.local_endpoint().port();
        acceptor.non_blocking(true);
        each_turn = [this] {   // the server accepts, then reads what has come
            std::array<char, 4096> buffer;
            asio::error_code error;
            if (!peer.is_open())
                acceptor.accept(peer, error);
            else if (peer.available(error))
                received.append(buffer.data(), peer.read_some(asio::buffer(buffer), error));
        };
    }
};

TEST_F(Loopback_Test, Handshake_To_The_Byte_Then_A_Close_Is_Error_20) {
    Net.Link.Login_Id = u"阿明/x";
    Net.Link.Login_Password = u"p\\q";
    in_game = Ready_And_Play;
    Open_Connection();
    EXPECT_EQ(Connection_Status(), u"連線中...");
    // What the server sends, and what the client has sent by then. Replies cut in pieces and
    // glued together still drive the handshake, step by step.
    const std::pair<std::vector<std::string>, std::string> steps[] = {
        {{}, "/ver 0.1 beta/e/"},
        {{"/ver", "ok 1/e/"}, "/id " + To_Cp950(u"阿明/#x") + "/e/"},
        {{"/IDOK 2/e//plst"}, "/pass p/$q/e/"},
        {{"art 7\\x/e/"}, "/ready /e/"},
    };
    std::string expected;
    for (const auto& [sends, answer] : steps) {
        for (const std::string& bytes : sends) asio::write(peer, asio::buffer(bytes));
        expected += answer;
        ASSERT_TRUE(Pump([&] { return received.size() >= expected.size(); }));
        EXPECT_EQ(received, expected);
        EXPECT_EQ(Connection_Status(), answer == "/ready /e/" ? u"" : u"登入中...");
    }
    EXPECT_EQ(Chars.Own_Player.id, 7);
    peer.close();
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 20);
}

TEST_F(Loopback_Test, A_Refused_Connection_Is_Error_20) {
    acceptor.close();
    Open_Connection();
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 20);
}

// A player that speaks the protocol through a socket of the client's own kind (TLS, any key).
struct Raw_Client {
    std::unique_ptr<Socket_Backend> socket = Make_Tcp_Socket();
    std::string in;
    size_t pos = 0;
    bool open = false, closed = false;
    int16_t id = 0;
    std::vector<std::u16string> messages;

    void Send(const std::u16string& text) { socket->Send(To_Cp950(text + u"/e/")); }
    void Poll() {
        std::vector<Socket_Event> events;
        socket->Poll(events);
        for (const Socket_Event& e : events) {
            if (e.kind == Socket_Event::Data) in += e.bytes;
            open |= e.kind == Socket_Event::Connected;
            closed |= e.kind == Socket_Event::Closed || e.kind == Socket_Event::Failed;
        }
        for (std::string message; Next_Message(in, pos, message);) messages.push_back(From_Cp950(message));
    }
    // The first message that starts with `prefix`; "" when none.
    std::u16string Find(const std::u16string& prefix) const {
        for (const std::u16string& message : messages)
            if (message.starts_with(prefix)) return message;
        return u"";
    }
};

std::u16string Num(int value) { return From_Utf8(std::to_string(value)); }

class Server_Test : public Net_Test {
protected:
    FILE* server = nullptr;   // the server's standard input: operator commands
    uint16_t port = 0;
    std::string output;   // its standard output, with the port
    std::vector<std::unique_ptr<Raw_Client>> clients;

    void SetUp() override {
        Net_Test::SetUp();
        output = Host_Path_Of(
            std::filesystem::temp_directory_path() /
            ("isoserver_test_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())));
        // Accounts in memory, made at the first login, with the cheapest hashes; every move to
        // everyone, as the view boxes below are set by hand.
        const std::string options =
            " --port 0 --seed 7 --stdin-commands --register open --db :memory: --hash-ops 1 --hash-memory 8 "
            "--view-radius 0 --map ";
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
        each_turn = [this] {
            for (auto& c : clients) c->Poll();
        };
    }
    void TearDown() override {
#ifdef _WIN32
        if (server) _pclose(server);
#else
        if (server) pclose(server);
#endif
        std::error_code ignored;
        std::filesystem::remove(File_System_Path(output), ignored);
        std::filesystem::remove(File_System_Path(output + ".err"), ignored);
        std::filesystem::remove(File_System_Path(output + ".pins"), ignored);
        Net_Test::TearDown();
    }
    Raw_Client& Connect() {
        Raw_Client& c = *clients.emplace_back(std::make_unique<Raw_Client>());
        c.socket->Connect("127.0.0.1", port);
        EXPECT_TRUE(Pump([&] { return c.open; }));
        return c;
    }

    // Logs a raw client in and into the game, with the identifier "/plstart" gave it.
    Raw_Client& Join(const std::u16string& name) {
        Raw_Client& c = Connect();
        c.Send(u"/ver 0.1 beta/e//id " + Escape_Text(name) + u"/e//pass pw");
        EXPECT_TRUE(Pump([&] { return c.Find(u"/plstart ") != u""; })) << To_Utf8(name);
        c.id = Field_Number(Get_Field(Text_After(c.Find(u"/plstart "), u" "), u"\\", 0)).value_or(0);
        c.Send(u"/ready ");
        return c;
    }
};

// B is the client module itself, on its real socket, whose game only sends "/ready" and runs;
// A and C are raw players.
TEST_F(Server_Test, B_Sees_A_Appear_Walk_Say_Hello_And_Leave) {
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket();
    Platform.socket = tcp.get();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = port;
    Net.Link.Login_Id = u"乙";
    Net.Link.Login_Password = u"pw";
    in_game = Ready_And_Play;
    Open_Connection();
    ASSERT_TRUE(Pump([] { return Net.Link.In_Game; }));
    Raw_Client& a = Join(u"甲a/b");
    ASSERT_GT(a.id, 0);
    ASSERT_NE(a.id, Chars.Own_Player.id);
    // A learns of B by name; B sees A appear, by name, on A's start cell.
    ASSERT_TRUE(Pump([&] { return a.Find(u"/setpl " + Num(Chars.Own_Player.id) + u"\\乙") != u""; }));
    const std::u16string told = u"/setplxy " + Num(a.id) + u"\\";   // what the server told A of its cell
    ASSERT_TRUE(Pump([&] {
        return Chars.Players.size() == 1 &&
               a.Find(told) == told + Num(Chars.Players[0].cell_x) + u"\\" + Num(Chars.Players[0].cell_y);
    }));
    EXPECT_EQ(Chars.Players[0].name, u"甲a/b");
    EXPECT_EQ(Chars.Players[0].id, a.id);

    // A, inside B's view box, clicks the cell it stands on (a walk the server takes from
    // anywhere): B gets it as a walk target.
    Scene.View_X = Chars.Players[0].cell_x;
    Scene.View_Y = Chars.Players[0].cell_y;
    const int16_t tx = Chars.Players[0].cell_x, ty = Chars.Players[0].cell_y;
    a.Send(u"/move " + Num(tx) + u"\\" + Num(ty) + u"\\" + Num(tx) + u"\\" + Num(ty));
    ASSERT_TRUE(Pump([&] { return Chars.Players[0].new_target; }));
    EXPECT_EQ(std::pair(Chars.Players[0].target_x, Chars.Players[0].target_y), std::pair(tx, ty));
    // Junk (an oversized line, bad numbers, turns out of order, bytes that are no text) does not
    // stop the server: A's next "/say" still comes through.
    a.socket->Send(std::string(100000, 'x') + "/e//move 1\\2\\x\\y/e//ready /e//pass /e/\xFF\xFE\x81/e//got \\/e/");
    a.Send(u"/say " + Escape_Text(u"你好"));
    ASSERT_TRUE(Pump([] { return Net.Link.Last_Chat == u"你好"; }));
    EXPECT_EQ(Chars.Players[0].chat_text, u"你好");

    // C's table is [B, A]: when A quits, B removes position 0 and C position 1.
    Raw_Client& c = Join(u"丙");
    ASSERT_TRUE(Pump([&] { return Chars.Players.size() == 2 && c.Find(u"/setpl " + Num(a.id)) != u""; }));
    a.socket->Close();
    ASSERT_TRUE(Pump([&] { return Chars.Players.size() == 1 && c.Find(u"/delpl ") != u""; }));
    EXPECT_EQ(Chars.Players[0].name, u"丙");
    EXPECT_EQ(c.Find(u"/delpl "), u"/delpl 1");

    // The operator kicks B: the server's error 10 reaches B.
    EXPECT_EQ(raised, -1);
    std::fputs(("kick " + std::to_string(Chars.Own_Player.id) + "\n").c_str(), server);
    std::fflush(server);
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 10);
    EXPECT_EQ(pclose(std::exchange(server, nullptr)), 0);   // the end of its input ends it, with status 0
}

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

// The client module logs in through the proxy over TLS: nothing of the protocol crosses it in
// clear, and the key it pinned is the one the server announced. A client speaking the bare
// protocol to the TLS port hears nothing back and is closed, the failed handshake logged once.
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
    each_turn = [&] {
        proxy.io.poll();
        for (auto& c : clients) c->Poll();
    };
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

    Raw_Client& bare = *clients.emplace_back(std::make_unique<Raw_Client>());
    bare.socket = Make_Tcp_Socket(Plain());
    bare.socket->Connect("127.0.0.1", port);
    ASSERT_TRUE(Pump([&] { return bare.open; }));
    bare.Send(u"/ver 0.1 beta/e//id bare/e//pass hunter2");
    ASSERT_TRUE(Pump([&] { return bare.closed; }));
    EXPECT_EQ(bare.in.find("/e/"), std::string::npos) << bare.in;
    EXPECT_TRUE(bare.messages.empty());
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
