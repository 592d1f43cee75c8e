// server_seam.h -- the game server's rules driven without sockets: peers that send bytes and
// read what the game queued for them, a database in memory, and a clock the test moves.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "game.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "wire/wire.h"

struct Peer {
    uint64_t serial = 0;
    std::string address;
    bool reading = true;   // a peer that does not read leaves its bytes queued in the server
    bool closed = false;
    Message_Stream stream;
    std::vector<std::u16string> messages;   // received, in order, without the terminator
    int16_t id = 0;

    // The last message that starts with `prefix`; "" when none.
    std::u16string Last(const std::u16string& prefix) const {
        const auto it =
            std::find_if(messages.rbegin(), messages.rend(), [&](auto& m) { return m.starts_with(prefix); });
        return it == messages.rend() ? u"" : *it;
    }
    size_t Count(const std::u16string& prefix) const {
        return size_t(std::count_if(messages.begin(), messages.end(), [&](auto& m) { return m.starts_with(prefix); }));
    }
};

class Server_Seam : public ::testing::Test {
protected:
    Map_Model map;
    Account_Store store;
    Game game;
    Game_Options options;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<Peer>> peers;
    int64_t now = 1000;

    void SetUp() override {
        map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
        ASSERT_TRUE(Start_Password_Hashing());
        options.hash = Hash_Cost{1, 8192};   // the cheapest Argon2id: the tests check the rules, not the cost
        options.seed = 7;
    }
    void TearDown() override { Close_Accounts(store); }

    // Opens the database and the game with `options` as the test set them.
    void Start() {
        peers.clear();   // serials start again at 1
        log.clear();
        std::string error;
        ASSERT_TRUE(Open_Accounts(store, ":memory:", error)) << error;
        Init_Game(game, options, map, &store);
        game.log = [this](const std::string& line) { log.push_back(line); };
    }

    void Add_Account(const std::string& name, const std::string& password) {
        std::string error;
        ASSERT_TRUE(Create_Account(store, name, Hash_Password(password, options.hash), 1, error)) << error;
    }

    // A new connection; nullptr when the server refused it.
    Peer* Connect(const std::string& address = "10.0.0.1") {
        Connection* c = Open_Connection(game, address, address + ":5000", now);
        if (!c) return nullptr;
        Peer& p = *peers.emplace_back(std::make_unique<Peer>());
        p.serial = c->serial;
        p.address = address;
        return &p;
    }

    void Send(Peer& p, std::string_view bytes) {
        Connection* c = Find_Connection(game, p.serial);
        ASSERT_TRUE(c != nullptr && !p.closed) << "sending on a closed connection";
        Receive(game, *c, bytes, now);
        Pump();
    }
    void Send_Text(Peer& p, const std::u16string& text) { Send(p, To_Cp950(text)); }

    // What the network layer does after each turn: password checks, the database, the writes
    // to peers that read, and closes.
    void Pump() {
        Run_Checks_Now(game);
        Commit_Positions(game);
        for (const uint64_t serial : Take_Writes(game, true)) {
            Connection* c = Find_Connection(game, serial);
            if (!c) continue;
            Peer* p = Find_Peer(serial);
            if (!p) continue;
            if (p->reading && !c->out.empty()) {
                p->stream.bytes += c->out;
                c->out.clear();
                std::string message;
                size_t size = 0;
                while (Cut_Message(p->stream, size_t(1) << 20, message, size) == Cut_Result::Message)
                    p->messages.push_back(From_Cp950(message));
            }
            if (c->life == Life::Gone || (c->life == Life::Closing && c->out.empty())) {
                p->closed = true;
                Forget_Connection(game, serial);
            } else if (!c->out.empty()) {
                Mark_Dirty(game, *c);   // still queued: a peer that does not read
            }
        }
    }

    void Advance(int64_t ms) {
        now += ms;
        Tick(game, now);
        Pump();
    }

    Peer* Find_Peer(uint64_t serial) {
        const auto it = std::find_if(peers.begin(), peers.end(), [&](auto& p) { return p->serial == serial; });
        return it == peers.end() ? nullptr : it->get();
    }

    // Version, identifier and password; the peer then has "/plstart" or an "/err".
    Peer& Login(const std::u16string& name, const std::u16string& password, const std::string& address = "10.0.0.1") {
        Peer* p = Connect(address);
        EXPECT_TRUE(p != nullptr);
        if (!p) return *peers.emplace_back(std::make_unique<Peer>());
        Send_Text(*p, u"/ver 0.1 beta/e//id " + Escape_Text(name) + u"/e//pass " + Escape_Text(password) + u"/e/");
        const std::u16string start = p->Last(u"/plstart ");
        if (!start.empty()) p->id = Field_Number(Get_Field(Text_After(start, u" "), u"\\", 0)).value_or(0);
        return *p;
    }
    // Logged in and in the game.
    Peer& Join(const std::u16string& name, const std::u16string& password = u"pw",
               const std::string& address = "10.0.0.1") {
        Peer& p = Login(name, password, address);
        EXPECT_NE(p.id, 0) << To_Utf8(name) << " did not get in: " << To_Utf8(p.Last(u"/err "));
        if (p.id != 0) Send_Text(p, u"/ready /e/");
        return p;
    }

    Connection& Server_Side(const Peer& p) {
        Connection* c = Find_Connection(game, p.serial);
        EXPECT_TRUE(c != nullptr);
        return *c;
    }

    bool Logged(const std::string& part) const {
        return std::any_of(log.begin(), log.end(), [&](auto& line) { return line.find(part) != std::string::npos; });
    }
};

inline std::u16string Num(int value) { return From_Utf8(std::to_string(value)); }

// The refusal a client shows as "其它錯誤 : text".
inline std::u16string Refusal(const std::u16string& text) { return u"/err -32768\\" + text; }
