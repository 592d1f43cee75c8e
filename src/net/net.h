// net.h -- the client's side of the wire protocol: sending, the connection and its handshake, and
// the dispatch of server messages onto the game state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "wire/wire.h"

// How far the connection to the server has got; the login screen shows it while it waits.
enum class Link_Phase : int16_t {
    None,          // no connection asked for
    Connecting,    // Open_Connection called, the socket has not reported yet
    Handshaking,   // connected and "/ver" sent; waiting for "/plstart"
    Started,       // "/plstart" received: the game runs
};

// What lasts for one connection and the game it starts (offline: the one game).
struct Net_Link {
    std::u16string Login_Id, Login_Password;   // what the login screen's confirm sent
    Link_Phase Phase = Link_Phase::None;
    int32_t Phase_Start = 0;     // tick count when Phase was entered
    bool Game_Started = false;   // a "/plstart" has started the loading screen and the game
    bool In_Game = false;        // set when the game loop starts; "/move" and "/say" wait for it
    std::u16string Last_Chat;    // the text of the last "/say" received, drawn by the game screen
    // Received bytes not handled yet: the unterminated tail of the last receipt, and the whole
    // messages left behind when "/plstart" started the game.
    Message_Stream Incoming;
    int16_t Dispatch_Depth = 0;   // nesting of Dispatch_Messages through the yields of sends
};

// Calls up into the screens, installed by main (tests install recorders).
struct Net_Hooks {
    // "/plstart" runs the loading screen and the game loop through this; null: nothing runs.
    void (*Start_Game)() = nullptr;
};

struct Net_State {
    // For the whole run.
    bool Offline_Mode = false;   // set by the login screen; nothing is sent while true
    std::string Server_Host;     // from --connect; empty: the game runs offline
    uint16_t Server_Port = 0;
    Net_Link Link;
    Net_Hooks Hooks;
};
extern Net_State Net;
void Reset_Net();

constexpr size_t MAX_MESSAGE_BYTES = size_t(64) << 10;   // a longer message is dropped whole
constexpr int16_t MAX_DISPATCH_DEPTH = 16;               // deeper receipts wait for an outer call
constexpr size_t MAX_WAITING_BYTES = size_t(16) << 20;   // what may wait for that outer call
// The longest name or chat text kept from the server, in characters; longer ones are cut there.
// Far more than a line on the screen shows, and it bounds what a full table of players can hold.
constexpr size_t MAX_SERVER_TEXT = 512;
constexpr int32_t CONNECT_TIMEOUT_MS = 10000;
constexpr int32_t HANDSHAKE_TIMEOUT_MS = 30000;

// Sends command + " " + data + "/e/" (code page 950) and yields once; nothing offline. Callers
// escape free text first. Without a socket nothing is sent but the yield still happens.
void Send_Message(const std::u16string& command, const std::u16string& data);
// "/move x\y\target_x\target_y".
void Send_Move(int16_t x, int16_t y, int16_t target_x, int16_t target_y);

// Handles every whole message of the receipt, after the bytes kept from earlier receipts, in
// order; keeps an unterminated tail for the next receipt. Re-entered from the yields of sends
// and of the game, a nested call carries on with the same buffer, so order is kept throughout.
void Dispatch_Messages(const std::string& receipt);
// Handles one message (already cut off and converted).
void Handle_Message(const std::u16string& message);

// The socket events.
void WS_Connect();
void WS_DataArrival(const std::string& bytes);
void WS_Close();
void Send_Version();
void Handle_Socket_Event(const Socket_Event& event);
// What the error screen says when the server shows a key other than the one pinned for it, or
// than the server_key of isoclient.ini (why: the Key_Refused event's text).
std::u16string Key_Refused_Text(const std::string& host, uint16_t port, const std::string& why);

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
