// dispatch.cpp -- server messages applied to the game state, and the table of other players.
#include "characters/player.h"
#include "errors/errors.h"
#include "game/game.h"
#include "loading/loading.h"
#include "map/scene.h"
#include "net/net.h"
#include "platform/encoding.h"

namespace {

constexpr int16_t MAX_PLAYERS = 32767;
constexpr int32_t VIEW_SPAN = 38;   // the view box test is inclusive at both ends: 39 cells

void Raise(int16_t code, const std::u16string& text) {
    if (Net.Raise) {
        Net.Raise(code, text);
        return;
    }
    Raise_Error(code, text);
}

// Keeps Dispatch_Depth right however the handling of a message ends (Program_End unwinds).
struct Depth_Guard {
    int16_t saved;
    explicit Depth_Guard(int16_t depth) : saved(Net.Dispatch_Depth) { Net.Dispatch_Depth = depth; }
    ~Depth_Guard() { Net.Dispatch_Depth = saved; }
};

// The entry with exactly this id, or null; looked up afresh by every handler.
Player_Record* Entry_With_Id(int16_t id) {
    int16_t p = Find_Player(id);
    if (size_t(p) >= Chars.Players.size() || Chars.Players[size_t(p)].id != id) return nullptr;
    return &Chars.Players[size_t(p)];
}

// Fields 0..N-1 as numbers; false when any is not a number.
template <size_t N>
bool Numbers(const std::u16string& data, int16_t (&out)[N]) {
    for (size_t i = 0; i < N; ++i) {
        std::optional<int16_t> value = Field_Number(Get_Field(data, u"\\", int32_t(i)));
        if (!value) return false;
        out[i] = *value;
    }
    return true;
}

void On_Plstart(const std::u16string& data) {
    std::optional<int16_t> id = Field_Number(Get_Field(data, u"\\", 0));
    if (!id) return;   // the handshake waits; Check_Connection ends it after 30 s
    Chars.Own_Player.name = Net.Login_Id;
    Chars.Own_Player.id = *id;
    if (Net.Game_Started) return;   // a repeat: never a second game inside the first
    Net.Game_Started = true;
    Net.Phase = Link_Phase::Started;
    Net.Phase_Start = Get_Tick_Count();
    // Messages that came behind "/plstart" wait in the buffer; an empty receipt at the front of
    // the queue hands them to the dispatcher at the game's first yield, before anything newer.
    if (Net.Receive_Buffer.find("/e/", Net.Receive_Pos) != std::string::npos)
        Platform.pending_socket.push_front(Socket_Event{Socket_Event::Data, {}});
    Depth_Guard game_level(0);   // the game's own receipts start a fresh nesting count
    if (Net.Start_Game) {
        Net.Start_Game();
    } else {
        Show_Loading();
        Game_Main_Loop();
    }
}

void On_Delpl(const std::u16string& data) {
    int16_t f[1];
    if (!Numbers(data, f)) return;
    Remove_Player(f[0]);
}

void On_Setplxy(const std::u16string& data) {
    int16_t f[3];
    if (!Numbers(data, f)) return;
    Player_Record* record = f[0] == Chars.Own_Player.id ? &Chars.Own_Player : Entry_With_Id(f[0]);
    if (!record) return;
    record->cell_x = f[1];
    record->cell_y = f[2];
}

void On_Setpl(const std::u16string& data) {
    int16_t f[1];
    if (!Numbers(data, f)) return;
    if (f[0] == Chars.Own_Player.id) return;
    Add_Player(f[0], Get_Field(data, u"\\", 1));
}

void On_Move(const std::u16string& data) {
    if (!Net.In_Game) return;
    int16_t f[3];
    if (!Numbers(data, f)) return;
    if (f[0] == Chars.Own_Player.id) {
        Player_Record& own = Chars.Own_Player;
        own.new_target = true;
        own.target_x = f[1];
        own.target_y = f[2];
        return;
    }
    Player_Record* record = Entry_With_Id(f[0]);
    if (!record) return;
    int32_t vx = Scene.View_X, vy = Scene.View_Y;
    bool inside = vx <= record->cell_x && record->cell_x <= vx + VIEW_SPAN && vy <= record->cell_y &&
                  record->cell_y <= vy + VIEW_SPAN;
    if (inside) {
        record->new_target = true;
        record->target_x = f[1];
        record->target_y = f[2];
    } else {
        record->cell_x = f[1];
        record->cell_y = f[2];
    }
}

void On_Say(const std::u16string& data) {
    if (!Net.In_Game) return;
    int16_t f[1];
    if (!Numbers(data, f)) return;
    Player_Record* record = f[0] == Chars.Own_Player.id ? &Chars.Own_Player : Entry_With_Id(f[0]);
    if (!record) return;
    std::u16string text = Unescape_Text(Get_Field(data, u"\\", 1));
    Net.Last_Chat = text;
    record->chat_text = std::move(text);
    record->chat_frames = 0;
}

void On_Err(const std::u16string& data) {
    int16_t f[1];
    if (!Numbers(data, f)) return;
    Raise(f[0], Get_Field(data, u"\\", 1));
}

}  // namespace

void Handle_Message(const std::u16string& message) {
    std::u16string command, data;
    Split_Message(message, command, data);
    if (command.empty()) return;
    if (command == u"/verok") {
        Send_Message(u"/id", Escape_Text(Net.Login_Id));
    } else if (command == u"/idok") {
        Send_Message(u"/pass", Escape_Text(Net.Login_Password));
    } else if (command == u"/plstart") {
        On_Plstart(data);
    } else if (command == u"/delpl") {
        On_Delpl(data);
    } else if (command == u"/setplxy") {
        On_Setplxy(data);
    } else if (command == u"/setpl") {
        On_Setpl(data);
    } else if (command == u"/move") {
        On_Move(data);
    } else if (command == u"/say") {
        On_Say(data);
    } else if (command == u"/err") {
        On_Err(data);
    }
}

void Dispatch_Messages(const std::string& receipt) {
    Net.Receive_Buffer.append(receipt);
    // Too deep inside the yields of sends: an outer call, already looping, takes these up. One
    // that never comes back (the error screen) must not let the buffer grow for ever.
    if (Net.Dispatch_Depth >= MAX_DISPATCH_DEPTH) {
        if (Net.Receive_Buffer.size() - Net.Receive_Pos > MAX_WAITING_BYTES) {
            Net.Receive_Buffer.clear();
            Net.Receive_Pos = 0;
        }
        return;
    }
    Depth_Guard guard(int16_t(Net.Dispatch_Depth + 1));
    std::string message;
    // Every pass takes the oldest whole message from the shared buffer, so a nested call (from
    // a send's yield) handles what an outer call had not reached yet, first.
    while (Next_Message(Net.Receive_Buffer, Net.Receive_Pos, message)) {
        if (Net.Receive_Pos >= 4096 && Net.Receive_Pos * 2 >= Net.Receive_Buffer.size()) {
            Net.Receive_Buffer.erase(0, Net.Receive_Pos);
            Net.Receive_Pos = 0;
        }
        Handle_Message(From_Cp950(message));
    }
    size_t tail = Net.Receive_Buffer.size() - Net.Receive_Pos;
    if (tail > MAX_UNTERMINATED_BYTES || tail == 0) {
        Net.Receive_Buffer.clear();
        Net.Receive_Pos = 0;
    }
}

int16_t Find_Player(int16_t id) {
    for (size_t i = 0; i < Chars.Players.size(); ++i)
        if (Chars.Players[i].id == id) return int16_t(i);
    return 0;
}

void Add_Player(int16_t id, const std::u16string& name) {
    if (Chars.Players.size() >= size_t(MAX_PLAYERS)) return;
    Player_Record record;
    record.id = id;
    record.name = name;
    Chars.Players.push_back(std::move(record));
}

void Remove_Player(int16_t position) {
    if (position < 0 || size_t(position) >= Chars.Players.size()) return;
    Chars.Players.erase(Chars.Players.begin() + position);
}
