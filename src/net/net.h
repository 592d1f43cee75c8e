// net.h -- the wire protocol: message framing and escaping, the connection and its handshake,
// and the dispatch of server messages onto the game state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

// How far the connection to the server has got; the login screen shows it while it waits.
enum class Link_Phase : int16_t {
    None,          // no connection asked for
    Connecting,    // Open_Connection called, the socket has not reported yet
    Handshaking,   // connected and "/ver" sent; waiting for "/plstart"
    Started,       // "/plstart" received: the game runs
};

struct Net_State {
    bool Offline_Mode = false;     // set by the login screen; nothing is sent while true
    bool In_Game = false;          // set when the game loop starts; "/move" and "/say" wait for it
    std::u16string Login_Id, Login_Password;
    std::string Server_Host;       // from --connect; empty: the game runs offline
    uint16_t Server_Port = 0;
    std::u16string Last_Chat;      // the text of the last "/say" received, drawn by the game screen

    Link_Phase Phase = Link_Phase::None;
    int32_t Phase_Start = 0;       // tick count when Phase was entered
    bool Game_Started = false;     // a "/plstart" has started the loading screen and the game

    // Received bytes not handled yet, from Receive_Pos on: the unterminated tail of the last
    // receipt, and the whole messages left behind when "/plstart" started the game.
    std::string Receive_Buffer;
    size_t Receive_Pos = 0;
    int16_t Dispatch_Depth = 0;    // nesting of Dispatch_Messages through the yields of sends

    // Test seams: null runs the real loading screen + game loop, and the real error screen.
    void (*Start_Game)() = nullptr;
    void (*Raise)(int16_t code, const std::u16string& text) = nullptr;
};
extern Net_State Net;
void Reset_Net();

constexpr size_t MAX_UNTERMINATED_BYTES = 64 * 1024;   // a longer tail without "/e/" is dropped
constexpr int16_t MAX_DISPATCH_DEPTH = 16;             // deeper receipts wait for an outer call
constexpr size_t MAX_WAITING_BYTES = 16 * 1024 * 1024; // what may wait for that outer call
constexpr int32_t CONNECT_TIMEOUT_MS = 10000;
constexpr int32_t HANDSHAKE_TIMEOUT_MS = 30000;

// Sends command + " " + data + "/e/" (code page 950) and yields once; nothing offline. Callers
// escape free text first. Without a socket nothing is sent but the yield still happens.
void Send_Message(const std::u16string& command, const std::u16string& data);
// "/move x\y\target_x\target_y".
void Send_Move(int16_t x, int16_t y, int16_t target_x, int16_t target_y);
// "/" -> "/#", then "\" -> "/$"; Unescape_Text is the exact mirror.
std::u16string Escape_Text(const std::u16string& text);
std::u16string Unescape_Text(const std::u16string& text);

// Text before / after the first separator; "" when text has fewer than two characters, the
// separator is empty or absent. Text_After gives the last L - p characters (p 1-based).
std::u16string Text_Before(const std::u16string& text, const std::u16string& separator);
std::u16string Text_After(const std::u16string& text, const std::u16string& separator);
// Field n (0-based) of text cut at separator; "" when absent or n is negative.
std::u16string Get_Field(const std::u16string& text, const std::u16string& separator, int32_t n);
// A numeric field: optional "-" then one or more decimal digits, within -32768..32767 ("07" is
// 7). Anything else ("+7", " 7", "7x", "", "70000") is no number.
std::optional<int16_t> Field_Number(const std::u16string& field);

// Cuts the next whole message (without its "/e/") from buffer at pos and moves pos past it;
// false, pos unchanged, when no terminator follows. Works on raw code page 950 bytes: no byte of
// "/e/" can be part of a double-byte character.
bool Next_Message(const std::string& buffer, size_t& pos, std::string& message);
// The lower-cased command word (ASCII letters only) and the data of a converted message; the
// command is "" when the message has no space or fewer than two characters.
void Split_Message(const std::u16string& message, std::u16string& command, std::u16string& data);

// Handles every whole message of the receipt, after the bytes kept from earlier receipts, in
// order; keeps an unterminated tail for the next receipt. Re-entered from the yields of sends
// and of the game, a nested call carries on with the same buffer, so order is kept throughout.
void Dispatch_Messages(const std::string& receipt);
// Handles one message (already cut off and converted).
void Handle_Message(const std::u16string& message);

// Position of the first entry of Chars.Players with the id; 0 when none (as for entry 0).
int16_t Find_Player(int16_t id);
// Appends an entry; ignored when the table already holds 32767.
void Add_Player(int16_t id, const std::u16string& name);
// Removes the entry at the position, keeping the order; ignored outside the table.
void Remove_Player(int16_t position);

// The socket events.
void WS_Connect();
void WS_DataArrival(const std::string& bytes);
void WS_Close();
void Send_Version();
void Handle_Socket_Event(const Socket_Event& event);

// The login screen's confirm with a server given: opens the connection; the handshake then runs
// from the socket's events during the login screen's yields.
void Open_Connection();
// Called by the login screen every frame while it waits for the server: raises error 20 when
// the connection takes 10 s or the handshake 30 s without "/plstart".
void Check_Connection();
// What the login screen shows while it waits ("" when no connection was asked for).
std::u16string Connection_Status();
// Installs the socket event handler (WS_Connect, WS_DataArrival, WS_Close) into Do_Events.
void Install_Socket_Handlers();
