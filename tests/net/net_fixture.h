// net_fixture.h -- the network tests' fixture: a scripted socket behind Do_Events, the error
// screen and the game replaced by recorders, and a snapshot of what the dispatcher changed.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "fixture.h"
#include "platform/encoding.h"

class Net_Test : public Headless_Test {
protected:
    // The recorded error screen throws the code, so a raised error ends the handling as the real
    // screen would; the recorded game runs in_game, if set.
    static inline std::u16string raised_text;
    static inline int games_started = 0;
    static inline void (*in_game)() = nullptr;
    int raised = -1;                   // the first error code a pumped yield raised
    std::function<void()> each_turn;   // what else runs between pumped yields (a server)

    void SetUp() override {
        Headless_Test::SetUp();
        Platform.socket = &socket;
        Install_Socket_Handlers();
        Install_Recorders();
        games_started = 0;
        in_game = nullptr;
    }
    static void Install_Recorders() {
        Net.Hooks.Start_Game = [] {
            ++games_started;
            if (in_game) in_game();
        };
        Program.raise = [](int16_t code, const std::u16string& text) {
            raised_text = text;
            throw code;
        };
    }

    // A game that does only what the real one does first: "/ready", then In_Game.
    static void Ready_And_Play() {
        Send_Message(u"/ready", u"");
        Net.Link.In_Game = true;
    }

    // A receipt given in UTF-8 test text, converted to the wire's code page 950.
    static void Feed(const std::u16string& text) { Dispatch_Messages(To_Cp950(text)); }

    // The error code a call raises; -1 when it raises none.
    static int Raised_By(const std::function<void()>& call) {
        try {
            call();
        } catch (int16_t code) { return code; }
        return -1;
    }

    // Yields until done() holds; false after 10 s of wall time, so a hung connection fails.
    bool Pump(const std::function<bool()>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            if (int code = Raised_By(Do_Events); raised == -1) raised = code;
            if (each_turn) each_turn();
            std::this_thread::yield();
        }
        return done();
    }
};

// Everything the dispatcher may change, as one comparable text.
inline std::string Net_Snapshot() {
    auto record = [](const Player_Record& p) {
        return To_Utf8(p.name) + "#" + std::to_string(p.id) + "@" + std::to_string(p.cell_x) + "," +
               std::to_string(p.cell_y) + (p.new_target ? " ->" : " ") + std::to_string(p.target_x) + "," +
               std::to_string(p.target_y) + " '" + To_Utf8(p.chat_text) + "'/" + std::to_string(p.chat_frames);
    };
    std::string out = "own " + record(Chars.Own_Player) + "\n";
    for (const Player_Record& p : Chars.Players) out += record(p) + "\n";
    return out + "last '" + To_Utf8(Net.Link.Last_Chat) + "'";
}
