// server.cpp -- the game server's receive path: four clients' bytes, in pieces, through the real
// message handling (game.h) with the account database in memory, the clock and the operator's
// console driven by the input. Each client's output must stay whole messages, and its table of
// other players, replayed from what it received, must match the game.
#include <sodium.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz/fuzz.h"
#include "game.h"
#include "platform/encoding.h"

namespace {

Map_Model World;

struct Peer {
    uint64_t serial = 0;
    bool open = false;
    int16_t own_id = 0;
    size_t table = 0;   // entries in its table of other players
    Message_Stream stream;
};

// Replays what a client received as the client would; false when a message breaks the table.
bool Apply(Peer& p, const std::string& bytes) {
    p.stream.bytes += bytes;
    std::string message;
    size_t size = 0;
    while (Cut_Message(p.stream, size_t(1) << 20, message, size) == Cut_Result::Message) {
        std::u16string command, data;
        Split_Message(From_Cp950(message), command, data);
        int16_t f[1];
        if (command == CMD_PLSTART && Number_Fields(data, f, 1)) p.own_id = f[0];
        if (command == CMD_SETPL) {
            // The name is the last field and holds no separator.
            Fuzz_Require(
                Get_Field(data, u"\\", 2).empty() && Text_After(data, u"\\").find(u'\\') == std::u16string::npos,
                "a name with a field separator");
            if (Number_Fields(data, f, 1) && f[0] != p.own_id) ++p.table;
        }
        if (command == CMD_DELPL) {
            Fuzz_Require(Number_Fields(data, f, 1) && f[0] >= 0 && size_t(f[0]) < p.table, "/delpl outside the table");
            --p.table;
        }
    }
    return true;
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The harness lies beside the program, in the folder that holds the generated world.
    const auto folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    std::ifstream file(folder / "data" / "testmap.map", std::ios::binary);
    World = Parse_Map(std::string(std::istreambuf_iterator<char>(file), {}), "testmap.map");
    if (sodium_init() < 0) std::abort();
    return 0;
}

// Groups cut at each zero byte. A group's first byte: its low two bits name the client; the next
// two say what happens: 0 the rest arrives on that client's connection, 1 the clock moves on
// (the rest's first byte x 100 ms), 2 the client disconnects and connects again, 3 the rest is
// an operator's console line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Account_Store store;
    if (!store.db) {
        std::string error;
        Fuzz_Require(Open_Accounts(store, ":memory:", error), "the database opens");
        const std::string hash = Hash_Password("pw", Hash_Cost{1, 8192});
        Create_Account(store, "a", hash, 1, error);
        Create_Account(store, "b", hash, 1, error);
    }
    Game_Options options;
    options.register_open = size > 0 && (data[0] & 1);
    options.view_radius = size > 0 && (data[0] & 2) ? 3 : 20;
    options.max_message = 512;
    options.max_output = 1 << 16;
    options.seed = 1;
    options.hash = Hash_Cost{1, 8192};
    Game game;
    Init_Game(game, options, World, &store);
    game.log = nullptr;
    int64_t now = 0;
    std::array<Peer, 4> peers;
    auto connect = [&](Peer& p) {
        p = Peer{};
        Connection* c = Open_Connection(game, "10.0.0.1", "10.0.0.1:1", now);
        p.open = c != nullptr;
        if (c) p.serial = c->serial;
    };
    for (Peer& p : peers) connect(p);
    auto deliver = [&] {
        Run_Checks_Now(game);
        Commit_Positions(game);
        for (const uint64_t serial : Take_Writes(game, true)) {
            Connection* c = Find_Connection(game, serial);
            if (!c) continue;
            for (Peer& p : peers)
                if (p.open && p.serial == serial) {
                    Fuzz_Require(c->out.empty() || c->out.ends_with(WIRE_TERMINATOR), "output ends mid-message");
                    Apply(p, c->out);
                    c->out.clear();
                    if (c->life == Life::Gone || c->life == Life::Closing) p.open = false;
                }
            if (c->life == Life::Gone || c->life == Life::Closing) Forget_Connection(game, serial);
        }
        size_t ready = 0;
        for (const auto& [serial, c] : game.connections) ready += c->stage == Stage::Ready;
        Fuzz_Require(ready == game.players.size(), "players in the game are those ready");
    };

    size_t at = size > 0 ? 1 : 0;
    while (at < size) {
        size_t end = at;
        while (end < size && data[end] != 0) ++end;
        if (end > at) {
            const uint8_t head = data[at];
            Peer& p = peers[head & 3];
            const std::string rest(reinterpret_cast<const char*>(data) + at + 1, end - at - 1);
            switch ((head >> 2) & 3) {
                case 0:
                    if (p.open)
                        if (Connection* c = Find_Connection(game, p.serial)) Receive(game, *c, rest, now);
                    break;
                case 1:
                    now += 100 * (rest.empty() ? 1 : uint8_t(rest[0]));
                    Tick(game, now);
                    break;
                case 2:
                    if (p.open) Forget_Connection(game, p.serial);
                    connect(p);
                    break;
                default: {
                    std::string reply;
                    Operator_Command(game, rest, reply);
                    break;
                }
            }
            deliver();
        }
        at = end + 1;
    }
    Shutdown_Game(game);
    return 0;
}
