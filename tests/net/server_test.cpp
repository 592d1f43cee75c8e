// server_test.cpp -- isoserver as a child process on a free port with the default map, and
// clients over loopback: the real client module (B) and protocol-level clients.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <asio.hpp>

#include <chrono>
#include <functional>
#include <thread>

#include "net_fixture.h"
#include "platform/backends.h"
#include "platform/files.h"

extern char** environ;

namespace {

const std::string MAP_FILE = std::string(ISO_OUT_DIR) + "/data/testmap.map";

// The server process: its standard input for operator commands, its standard output for the
// port, its log in a temporary file.
class Server_Process {
public:
    ~Server_Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (to_stdin_ >= 0) close(to_stdin_);
        if (from_stdout_ >= 0) close(from_stdout_);
        if (!log_path_.empty()) unlink(log_path_.c_str());
    }

    // Starts it and reads the port it listens on; false (with the reason) when it does not come up.
    bool Start(std::string& why) {
        int in[2], out[2];
        char log_name[] = "/tmp/isoserver_test_XXXXXX";
        int log = mkstemp(log_name);
        if (pipe(in) != 0 || pipe(out) != 0 || log < 0) {
            why = "no pipes";
            return false;
        }
        log_path_ = log_name;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, log, 2);
        for (int fd : {in[0], in[1], out[0], out[1], log}) posix_spawn_file_actions_addclose(&actions, fd);
        std::string program = std::string(ISO_OUT_DIR) + "/isoserver";
        std::vector<std::string> args = {program, "--port", "0", "--map", MAP_FILE, "--seed", "7"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        close(log);
        to_stdin_ = in[1];
        from_stdout_ = out[0];
        if (error != 0) {
            pid_ = -1;
            why = "cannot start " + program;
            return false;
        }
        std::string line = Read_Stdout_Until("listening on 127.0.0.1:");
        size_t at = line.find("127.0.0.1:");
        if (at == std::string::npos) {
            why = "no port announced; log: " + Log();
            return false;
        }
        port = uint16_t(std::atoi(line.c_str() + at + 10));
        return port != 0;
    }

    void Command(const std::string& line) {
        std::string text = line + "\n";
        ASSERT_EQ(write(to_stdin_, text.data(), text.size()), ssize_t(text.size()));
    }

    // Reads standard output until it holds `marker` (or ends, or 5 s pass); returns what came.
    std::string Read_Stdout_Until(const std::string& marker) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (stdout_text_.find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{from_stdout_, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            char chunk[512];
            ssize_t n = read(from_stdout_, chunk, sizeof chunk);
            if (n <= 0) break;
            stdout_text_.append(chunk, size_t(n));
        }
        return stdout_text_;
    }

    // "quit" on standard input; the exit status once its output has ended (-1 if it has not).
    int Quit() {
        Command("quit");
        Read_Stdout_Until("isoserver: stopped\n");
        pollfd p{from_stdout_, POLLIN, 0};
        char chunk[512];
        while (poll(&p, 1, 2000) > 0 && read(from_stdout_, chunk, sizeof chunk) > 0) {
        }
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log() const { return Read_Whole_File(log_path_).value_or(""); }

    uint16_t port = 0;

private:
    pid_t pid_ = -1;
    int to_stdin_ = -1, from_stdout_ = -1;
    std::string log_path_, stdout_text_;
};

// A client that speaks the protocol with the client's own framing functions.
class Raw_Client {
public:
    explicit Raw_Client(asio::io_context& io) : socket_(io) {}

    void Connect(uint16_t port) {
        socket_.connect({asio::ip::make_address("127.0.0.1"), port});
        socket_.non_blocking(true);
    }
    void Send(const std::u16string& command, const std::u16string& data) { Send_Bytes(To_Cp950(command + u" " + data + u"/e/")); }
    void Send_Bytes(const std::string& bytes) {
        socket_.non_blocking(false);
        asio::write(socket_, asio::buffer(bytes));
        socket_.non_blocking(true);
    }
    void Close() { socket_.close(); }

    // Takes what has arrived, without waiting.
    void Poll() {
        if (!socket_.is_open() || closed) return;
        std::array<char, 8192> chunk;
        for (;;) {
            asio::error_code error;
            size_t n = socket_.read_some(asio::buffer(chunk), error);
            in_.append(chunk.data(), n);
            if (error == asio::error::would_block) break;
            if (error) {
                closed = true;
                break;
            }
        }
        std::string message;
        while (Next_Message(in_, pos_, message)) messages.push_back(From_Cp950(message));
    }

    // Index of the first message from `from` on that starts with `prefix`; -1 when none.
    int Find(const std::u16string& prefix, size_t from = 0) const {
        for (size_t i = from; i < messages.size(); ++i)
            if (messages[i].compare(0, prefix.size(), prefix) == 0) return int(i);
        return -1;
    }

    std::vector<std::u16string> messages;
    bool closed = false;

private:
    asio::ip::tcp::socket socket_;
    std::string in_;
    size_t pos_ = 0;
};

class Server_Test : public Net_Test {
protected:
    Server_Process server;
    asio::io_context io;
    std::vector<Raw_Client*> raw_clients;
    int raised = -1;
    Map_Model map;

    void SetUp() override {
        Net_Test::SetUp();
        std::optional<std::string> bytes = Read_Whole_File(MAP_FILE);
        ASSERT_TRUE(bytes) << "the default map is missing: " << MAP_FILE;
        map = Parse_Map(*bytes, MAP_FILE);
        std::string why;
        ASSERT_TRUE(server.Start(why)) << why;
    }

    // Runs client B's yields and polls the raw clients until done() holds or 10 s pass.
    bool Pump(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            try {
                Do_Events();
            } catch (const Raised& r) {
                if (raised == -1) raised = r.code;
            }
            for (Raw_Client* c : raw_clients) c->Poll();
            std::this_thread::yield();
        }
        return true;
    }

    // Logs a raw client in and into the game; returns its identifier and start cell.
    struct Joined {
        int16_t id = 0, x = 0, y = 0;
    };
    Joined Join(Raw_Client& c, const std::u16string& name) {
        raw_clients.push_back(&c);
        c.Connect(server.port);
        c.Send(u"/ver", Escape_Text(u"0.1 beta"));
        c.Send(u"/id", Escape_Text(name));
        c.Send(u"/pass", Escape_Text(u"pw"));
        Joined j;
        EXPECT_TRUE(Pump([&] { return c.Find(u"/plstart ") >= 0 || c.closed; })) << To_Utf8(name);
        int at = c.Find(u"/plstart ");
        if (at < 0) return j;
        j.id = Field_Number(Get_Field(c.messages[size_t(at)].substr(9), u"\\", 0)).value_or(0);
        c.Send(u"/ready", u"");
        std::u16string own = u"/setplxy " + From_Utf8(std::to_string(j.id)) + u"\\";
        EXPECT_TRUE(Pump([&] { return c.Find(own) >= 0; }));
        at = c.Find(own);
        if (at >= 0) {
            std::u16string data = Text_After(c.messages[size_t(at)], u" ");
            j.x = Field_Number(Get_Field(data, u"\\", 1)).value_or(-1);
            j.y = Field_Number(Get_Field(data, u"\\", 2)).value_or(-1);
        }
        return j;
    }

    // A free cell other than (x, y), within 10 cells of it.
    std::pair<int16_t, int16_t> Free_Cell_Near(int16_t x, int16_t y) {
        for (int dy = -10; dy <= 10; ++dy)
            for (int dx = -10; dx <= 10; ++dx) {
                int tx = x + dx, ty = y + dy;
                if ((dx || dy) && tx >= 0 && ty >= 0 && tx < map.Map_Width && ty < map.Map_Height &&
                    map.Ground_Grid(tx, ty).blocked == 0)
                    return {int16_t(tx), int16_t(ty)};
            }
        return {x, y};
    }

    static std::u16string Num(int value) { return From_Utf8(std::to_string(value)); }
};

TEST_F(Server_Test, B_Sees_A_Appear_Walk_Say_Hello_And_Leave) {
    // B is the client itself, on its real socket; its game only sends "/ready" and runs.
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket();
    Platform.socket = tcp.get();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = server.port;
    Net.Login_Id = u"乙";
    Net.Login_Password = u"pw";
    Net_Recorder::in_game = [] {
        Send_Message(u"/ready", u"");
        Net.In_Game = true;
    };
    Open_Connection();
    ASSERT_TRUE(Pump([] { return Net.In_Game; }));
    EXPECT_GT(Chars.Own_Player.id, 0);

    Raw_Client a(io);
    Joined ja = Join(a, u"甲a/b");
    ASSERT_GT(ja.id, 0);
    ASSERT_NE(ja.id, Chars.Own_Player.id);
    // A learns of B, with B's name and cell.
    ASSERT_TRUE(Pump([&] { return a.Find(u"/setpl " + Num(Chars.Own_Player.id) + u"\\乙") >= 0; }));

    // B sees A appear, by name, on A's start cell.
    ASSERT_TRUE(Pump([&] { return Chars.Players.size() == 1 && Chars.Players[0].cell_x == ja.x && Chars.Players[0].cell_y == ja.y; }));
    EXPECT_EQ(Chars.Players[0].name, u"甲a/b");
    EXPECT_EQ(Chars.Players[0].id, ja.id);

    // A walks to a free cell inside B's view box: B gets it as a walk target; A gets its echo.
    Scene.View_X = int16_t(std::max(0, ja.x - 10));
    Scene.View_Y = int16_t(std::max(0, ja.y - 10));
    auto [tx, ty] = Free_Cell_Near(ja.x, ja.y);
    a.Send(u"/move", Num(ja.x) + u"\\" + Num(ja.y) + u"\\" + Num(tx) + u"\\" + Num(ty));
    ASSERT_TRUE(Pump([&] { return Chars.Players[0].new_target; }));
    EXPECT_EQ(Chars.Players[0].target_x, tx);
    EXPECT_EQ(Chars.Players[0].target_y, ty);
    ASSERT_TRUE(Pump([&] { return a.Find(u"/move " + Num(ja.id) + u"\\" + Num(tx) + u"\\" + Num(ty)) >= 0; }));

    a.Send(u"/say", Escape_Text(u"你好"));
    ASSERT_TRUE(Pump([] { return Net.Last_Chat == u"你好"; }));
    EXPECT_EQ(Chars.Players[0].chat_text, u"你好");

    // A quits: B removes it.
    a.Close();
    raw_clients.clear();
    ASSERT_TRUE(Pump([] { return Chars.Players.empty(); }));
    EXPECT_EQ(raised, -1);

    // The operator kicks B: the server's error 10 reaches B's error screen.
    server.Command("kick " + std::to_string(Chars.Own_Player.id));
    ASSERT_TRUE(Pump([&] { return raised != -1; }));
    EXPECT_EQ(raised, 10);
    EXPECT_EQ(server.Quit(), 0);
}

TEST_F(Server_Test, Removals_Use_Each_Clients_Own_Order_And_Got_Records_Only_The_Placed_Cell) {
    Raw_Client a(io), b(io), c(io);
    Joined ja = Join(a, u"a"), jb = Join(b, u"b"), jc = Join(c, u"c");
    ASSERT_TRUE(ja.id > 0 && jb.id > 0 && jc.id > 0);
    // Tables: a [b, c], b [a, c], c [a, b]. When b leaves, a removes position 0 and c position 1.
    size_t a_seen = a.messages.size(), c_seen = c.messages.size();
    b.Close();
    ASSERT_TRUE(Pump([&] { return a.Find(u"/delpl ", a_seen) >= 0 && c.Find(u"/delpl ", c_seen) >= 0; }));
    EXPECT_EQ(a.messages[size_t(a.Find(u"/delpl ", a_seen))], u"/delpl 0");
    EXPECT_EQ(c.messages[size_t(c.Find(u"/delpl ", c_seen))], u"/delpl 1");

    // A move onto a blocked cell or off the map is not echoed; a free one is, to everyone.
    int16_t bx = -1, by = -1;
    for (int y = 0; y < map.Map_Height && bx < 0; ++y)
        for (int x = 0; x < map.Map_Width && bx < 0; ++x)
            if (map.Ground_Grid(x, y).blocked != 0) bx = int16_t(x), by = int16_t(y);
    auto [tx, ty] = Free_Cell_Near(ja.x, ja.y);
    a_seen = a.messages.size();
    c_seen = c.messages.size();
    if (bx >= 0) a.Send(u"/move", u"0\\0\\" + Num(bx) + u"\\" + Num(by));
    a.Send(u"/move", u"0\\0\\-1\\0");
    a.Send(u"/move", u"0\\0\\" + Num(map.Map_Width) + u"\\0");
    a.Send(u"/move", u"0\\0\\" + Num(tx) + u"\\" + Num(ty));
    const std::u16string echo = u"/move " + Num(ja.id) + u"\\" + Num(tx) + u"\\" + Num(ty);
    ASSERT_TRUE(Pump([&] { return a.Find(u"/move", a_seen) >= 0 && c.Find(u"/move", c_seen) >= 0; }));
    EXPECT_EQ(a.messages[size_t(a.Find(u"/move", a_seen))], echo);
    EXPECT_EQ(c.messages[size_t(c.Find(u"/move", c_seen))], echo);

    // "/got" with a cell the server did not move a to is not recorded: a newcomer still sees
    // the start cell; after "/got" with the target, the next newcomer sees the target.
    // a's own "/say" coming back shows that the server has handled what a sent before it.
    auto sync = [&](const std::u16string& mark) {
        a.Send(u"/say", mark);
        return Pump([&] { return a.Find(u"/say " + Num(ja.id) + u"\\" + mark) >= 0; });
    };
    a.Send(u"/got", Num(tx + 1) + u"\\" + Num(ty));
    ASSERT_TRUE(sync(u"one"));
    Raw_Client d(io), e(io);
    Join(d, u"d");
    const std::u16string at_start = u"/setplxy " + Num(ja.id) + u"\\" + Num(ja.x) + u"\\" + Num(ja.y);
    ASSERT_TRUE(Pump([&] { return d.Find(at_start) >= 0; }));
    a.Send(u"/got", Num(tx) + u"\\" + Num(ty));
    ASSERT_TRUE(sync(u"two"));
    Join(e, u"e");
    const std::u16string at_target = u"/setplxy " + Num(ja.id) + u"\\" + Num(tx) + u"\\" + Num(ty);
    ASSERT_TRUE(Pump([&] { return e.Find(at_target) >= 0; }));
    EXPECT_EQ(server.Quit(), 0);
}

TEST_F(Server_Test, Refusals_And_Bad_Input_Never_Take_The_Server_Down) {
    Raw_Client a(io);
    Joined ja = Join(a, u"甲");
    ASSERT_GT(ja.id, 0);

    Raw_Client old_version(io), same_name(io), bad_name(io), junk(io);
    raw_clients.insert(raw_clients.end(), {&old_version, &same_name, &bad_name, &junk});
    old_version.Connect(server.port);
    old_version.Send(u"/ver", u"0.0 alpha");
    same_name.Connect(server.port);
    same_name.Send(u"/ver", u"0.1 beta");
    same_name.Send(u"/id", u"甲");
    bad_name.Connect(server.port);
    bad_name.Send(u"/ver", u"0.1 beta");
    bad_name.Send(u"/id", Escape_Text(u"x\\y"));
    ASSERT_TRUE(Pump([&] { return old_version.closed && same_name.closed && bad_name.closed; }));
    EXPECT_EQ(old_version.Find(u"/err 100\\"), 0);
    EXPECT_EQ(same_name.Find(u"/err -32768\\"), 1);   // after "/verok"
    EXPECT_EQ(bad_name.Find(u"/err -32768\\"), 1);

    // Junk: an oversized line, bad numbers, commands out of turn, bytes that are no text.
    junk.Connect(server.port);
    junk.Send_Bytes(std::string(100000, 'x'));
    junk.Send_Bytes("/e//move 1\\2\\x\\y/e//ready /e//pass /e/\xFF\xFE\x81/e//say hi/e/");
    junk.Send(u"/ver", u"0.1 beta");
    junk.Send(u"/id", u"junk");
    junk.Send(u"/pass", u"");
    junk.Send(u"/ready", u"");
    junk.Send(u"/move", u"a\\b\\c\\d");
    junk.Send(u"/got", u"\\");
    // The others are still served: the junk client joins and a hears it speak.
    junk.Send(u"/say", u"still here");
    ASSERT_TRUE(Pump([&] { return a.Find(u"/say ") >= 0; }));
    const std::u16string& said = a.messages[size_t(a.Find(u"/say "))];
    EXPECT_EQ(Text_After(said, u"\\"), u"still here");
    EXPECT_FALSE(junk.closed);

    EXPECT_EQ(server.Quit(), 0);
    std::string log = server.Log();
    for (const char* dropped : {"dropped a message of 100000 bytes", "dropped /ready out of turn",
                                "dropped /pass out of turn", "dropped /move with a bad number", "refused version",
                                "already in the game", "refused identifier 'x\\y'"})
        EXPECT_NE(log.find(dropped), std::string::npos) << dropped << "\nlog:\n" << log;
}

}  // namespace
