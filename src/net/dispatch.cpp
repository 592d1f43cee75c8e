// dispatch.cpp -- server messages applied to the game state.
#include <optional>
#include <string_view>

#include "characters/player.h"
#include "net/net.h"
#include "platform/encoding.h"
#include "platform/program.h"
#include "scene/scene.h"

namespace {

// Keeps Dispatch_Depth right however the handling of a message ends (Program_End unwinds).
struct Depth_Guard {
    int16_t saved;
    explicit Depth_Guard(int16_t depth) : saved(Net.Link.Dispatch_Depth) { Net.Link.Dispatch_Depth = depth; }
    ~Depth_Guard() { Net.Link.Dispatch_Depth = saved; }
};

// The entry with exactly this id, or null; looked up afresh by every handler.
Player_Record* Entry_With_Id(int16_t id) {
    int16_t p = Find_Player(id);
    if (size_t(p) >= Chars.Players.size() || Chars.Players[size_t(p)].id != id) return nullptr;
    return &Chars.Players[size_t(p)];
}

// At most MAX_SERVER_TEXT characters of a server's text, in storage of that size.
std::u16string Kept_Text(const std::u16string& text) {
    return text.size() > MAX_SERVER_TEXT ? text.substr(0, MAX_SERVER_TEXT) : text;
}

// Fields 0..N-1 as numbers; false when any is not a number (or is missing). As Number_Fields, read
// in place, without a copy of each field.
template <size_t N>
bool Numbers(const std::u16string& data, int16_t (&out)[N]) {
    const std::u16string_view all(data);
    size_t start = 0;
    for (size_t i = 0; i < N; ++i) {
        if (start == std::u16string_view::npos) return false;
        const size_t end = all.find(FIELD_SEPARATOR_BYTE, start);
        const std::optional<int16_t> value =
            Field_Number(all.substr(start, end == std::u16string_view::npos ? end : end - start));
        if (!value) return false;
        out[i] = *value;
        start = end == std::u16string_view::npos ? end : end + 1;
    }
    return true;
}

// What From_Cp950 makes of a message, the converter left to the part from its first byte beyond
// ASCII on: ASCII bytes before it are whole characters of their own. `rest` is scratch.
void Decode_Message(const std::string& bytes, std::u16string& text, std::string& rest) {
    size_t ascii = 0;
    while (ascii < bytes.size() && uint8_t(bytes[ascii]) < 0x80) ++ascii;
    text.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(ascii));
    if (ascii == bytes.size()) return;
    rest.assign(bytes, ascii);
    text += From_Cp950(rest);
}

// Buffers a dispatch reuses from message to message; each nesting of Dispatch_Messages has its own.
struct Scratch {
    std::string message, rest;
    std::u16string text, data;
};

void Handle(const std::u16string& message, std::u16string& data);

void On_Plstart(const std::u16string& data) {
    int16_t id[1];
    if (!Numbers(data, id)) return;   // the handshake waits; Check_Connection ends it after 30 s
    Chars.Own_Player.name = Net.Link.Login_Id;
    Chars.Own_Player.id = id[0];
    if (Net.Link.Game_Started) return;   // a repeat: never a second game inside the first
    Net.Link.Game_Started = true;
    Net.Link.Phase = Link_Phase::Started;
    Net.Link.Phase_Start = Get_Tick_Count();
    // Messages that came behind "/plstart" wait in the buffer; an empty receipt at the front of
    // the queue hands them to the dispatcher at the game's first yield, before anything newer.
    if (Has_Whole_Message(Net.Link.Incoming)) Platform.pending_socket.push_front(Socket_Event{Socket_Event::Data, {}});
    Depth_Guard game_level(0);   // the game's own receipts start a fresh nesting count
    if (Net.Hooks.Start_Game) Net.Hooks.Start_Game();
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
    Add_Player(f[0], Kept_Text(Get_Field(data, FIELD_SEPARATOR, 1)));
}

void On_Move(const std::u16string& data) {
    if (!Net.Link.In_Game) return;
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
    if (In_View_Box(record->cell_x, record->cell_y)) {
        record->new_target = true;
        record->target_x = f[1];
        record->target_y = f[2];
    } else {
        record->cell_x = f[1];
        record->cell_y = f[2];
    }
}

void On_Say(const std::u16string& data) {
    if (!Net.Link.In_Game) return;
    int16_t f[1];
    if (!Numbers(data, f)) return;
    std::u16string text = Kept_Text(Unescape_Text(Get_Field(data, FIELD_SEPARATOR, 1)));
    Net.Link.Last_Chat = text;
    // An identifier no entry holds (a server's announcement) has no head to show the text above.
    Player_Record* record = f[0] == Chars.Own_Player.id ? &Chars.Own_Player : Entry_With_Id(f[0]);
    if (!record) return;
    record->chat_text = std::move(text);
    record->chat_frames = 0;
}

void On_Err(const std::u16string& data) {
    // A code that is no number is an unknown code (0), so a refusal is never lost.
    const int16_t code = Field_Number(Get_Field(data, FIELD_SEPARATOR, 0)).value_or(0);
    Raise_Error(code, Get_Field(data, FIELD_SEPARATOR, 1));
}

}   // namespace

void Handle_Message(const std::u16string& message) {
    std::u16string data;
    Handle(message, data);
}

namespace {

// Handle_Message with the data's buffer given.
void Handle(const std::u16string& message, std::u16string& data) {
    const Message_Parts parts = Split_Message(std::u16string_view(message));
    if (parts.command.empty()) return;
    const std::u16string_view command = parts.command;
    data.assign(parts.data);
    if (Is_Command(command, CMD_MOVE)) {
        On_Move(data);
    } else if (Is_Command(command, CMD_SAY)) {
        On_Say(data);
    } else if (Is_Command(command, CMD_VEROK)) {
        Send_Message(CMD_ID, Escape_Text(Net.Link.Login_Id));
    } else if (Is_Command(command, CMD_IDOK)) {
        Send_Message(CMD_PASS, Escape_Text(Net.Link.Login_Password));
    } else if (Is_Command(command, CMD_PLSTART)) {
        On_Plstart(data);
    } else if (Is_Command(command, CMD_DELPL)) {
        On_Delpl(data);
    } else if (Is_Command(command, CMD_SETPLXY)) {
        On_Setplxy(data);
    } else if (Is_Command(command, CMD_SETPL)) {
        On_Setpl(data);
    } else if (Is_Command(command, CMD_ERR)) {
        On_Err(data);
    }
}

}   // namespace

void Dispatch_Messages(const std::string& receipt) {
    Message_Stream& incoming = Net.Link.Incoming;
    incoming.bytes.append(receipt);
    // Too deep inside the yields of sends: an outer call, already looping, takes these up. One
    // that never comes back (the error screen) must not let the buffer grow for ever.
    if (Net.Link.Dispatch_Depth >= MAX_DISPATCH_DEPTH) {
        if (incoming.bytes.size() - incoming.pos > MAX_WAITING_BYTES) incoming = Message_Stream{};
        return;
    }
    Depth_Guard guard(int16_t(Net.Link.Dispatch_Depth + 1));
    Scratch scratch;
    size_t size = 0;
    // Every pass takes the oldest whole message from the shared stream, so a nested call (from
    // a send's yield) handles what an outer call had not reached yet, first.
    for (;;) {
        const Cut_Result cut = Cut_Message(incoming, MAX_MESSAGE_BYTES, scratch.message, size);
        if (cut == Cut_Result::None) break;
        if (cut != Cut_Result::Message) continue;
        Decode_Message(scratch.message, scratch.text, scratch.rest);
        Handle(scratch.text, scratch.data);
    }
}
