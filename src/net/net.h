// net.h -- the wire protocol: message framing and escaping, the connection and its handshake,
// and the dispatch of server messages onto the game state.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

struct Net_State {
    bool Offline_Mode = false;     // set by the login screen; nothing is sent while true
    bool In_Game = false;          // set when the game loop starts; "/move" and "/say" wait for it
    std::u16string Login_Id, Login_Password;
    std::string Server_Host;       // from --connect; empty: the game runs offline
    uint16_t Server_Port = 0;
};
extern Net_State Net;
void Reset_Net();

// Sends command + " " + data + "/e/" (code page 950) and yields once; nothing offline.
void Send_Message(const std::u16string& command, const std::u16string& data);
void Send_Move(int16_t x, int16_t y, int16_t target_x, int16_t target_y);
std::u16string Escape_Text(const std::u16string& text);
std::u16string Unescape_Text(const std::u16string& text);

// The login screen's confirm with a server given: opens the connection; the handshake then runs
// from the socket's events during the login screen's yields.
void Open_Connection();
// Called by the login screen every frame while it waits for the server: raises error 20 when
// the connection or the handshake takes too long.
void Check_Connection();
// What the login screen shows while it waits ("" when no connection was asked for).
std::u16string Connection_Status();
// Installs the socket event handler (WS_Connect, WS_DataArrival, WS_Close) into Do_Events.
void Install_Socket_Handlers();
