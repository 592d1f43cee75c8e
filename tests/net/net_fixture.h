// net_fixture.h -- the network tests' fixture: a scripted socket behind Do_Events, the error
// screen and the game replaced by recorders, and a snapshot of what the dispatcher changed.
#pragma once
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/encoding.h"

// Thrown by the error recorder, so a raised error ends the handling as the real screen would.
struct Raised {
    int16_t code;
    std::u16string text;
};

struct Net_Recorder {
    static inline int games_started = 0;
    static inline void (*in_game)() = nullptr;   // what the recorded game does, if anything
    static void Start_Game() {
        ++games_started;
        if (in_game) in_game();
    }
    static void Raise(int16_t code, const std::u16string& text) { throw Raised{code, text}; }
};

class Net_Test : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        Platform.socket = &socket;
        Install_Socket_Handlers();
        Net.Start_Game = Net_Recorder::Start_Game;
        Net.Raise = Net_Recorder::Raise;
        Net_Recorder::games_started = 0;
        Net_Recorder::in_game = nullptr;
    }

    // A receipt given in UTF-8 test text, converted to the wire's code page 950.
    static void Feed(const std::u16string& text) { Dispatch_Messages(To_Cp950(text)); }

    // The error a receipt raises; code 0 with text "(none)" when it raises nothing.
    static Raised Raised_By(const std::u16string& text) {
        try {
            Feed(text);
        } catch (const Raised& r) {
            return r;
        }
        return Raised{0, u"(none)"};
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
    out += "last '" + To_Utf8(Net.Last_Chat) + "'";
    return out;
}
