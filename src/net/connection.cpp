// connection.cpp -- opening the connection, the socket events, the handshake's first step and
// the time limits the login screen enforces while it waits.
#include <cstdio>

#include "net/net.h"
#include "platform/encoding.h"
#include "platform/program.h"

namespace {

void Enter_Phase(Link_Phase phase) {
    Net.Link.Phase = phase;
    Net.Link.Phase_Start = Get_Tick_Count();
}

// Gives up on the connection: error 20.
[[noreturn]] void Give_Up() {
    if (Platform.socket) Platform.socket->Close();
    Net.Link.Phase = Link_Phase::None;
    Raise_Error(ERROR_DISCONNECTED, u"");
}

}   // namespace

void Send_Version() { Send_Message(CMD_VER, Escape_Text(GAME_VERSION)); }

void WS_Connect() {
    if (Net.Link.Phase == Link_Phase::Connecting) Enter_Phase(Link_Phase::Handshaking);
    Send_Version();
}

void WS_DataArrival(const std::string& bytes) { Dispatch_Messages(bytes); }

void WS_Close() {
    if (Program.Quitting) return;
    Raise_Error(ERROR_DISCONNECTED, u"");
}

std::u16string Key_Refused_Text(const std::string& host, uint16_t port, const std::string& why) {
    const bool v6 = host.find(':') != std::string::npos;
    const std::u16string name = From_Utf8((v6 ? "[" + host + "]" : host) + ":" + std::to_string(port));
    if (why.starts_with("server_key"))
        return u"伺服器 " + name +
               u" 的金鑰與 isoclient.ini 的 server_key 不符，連線已中止。請向伺服器管理者確認正確的金鑰。";
    return u"伺服器 " + name +
           u" 的金鑰與上次連線時不同，連線已中止。請向伺服器管理者確認；若管理者確實換了金鑰，請刪除 known_servers.txt "
           u"中這台伺服器的那一行，再連線一次。";
}

void Handle_Socket_Event(const Socket_Event& event) {
    switch (event.kind) {
        case Socket_Event::Connected: WS_Connect(); break;
        case Socket_Event::Data: WS_DataArrival(event.bytes); break;
        // A refused or unreachable server, or a failed TLS handshake, ends like a lost connection.
        case Socket_Event::Closed:
        case Socket_Event::Failed: WS_Close(); break;
        // Someone may stand between the player and the server: nothing more is sent, not even
        // the version, and the player is told what to do.
        case Socket_Event::Key_Refused:
            std::fprintf(stderr, "isoclient: %s:%u showed another key (%s); the connection is closed\n",
                         Net.Server_Host.c_str(), unsigned(Net.Server_Port), event.bytes.c_str());
            Net.Link.Phase = Link_Phase::None;
            Raise_Error(ERROR_OTHER, Key_Refused_Text(Net.Server_Host, Net.Server_Port, event.bytes));
    }
}

void Install_Socket_Handlers() { Platform.handlers.socket = Handle_Socket_Event; }

void Open_Connection() {
    if (Net.Link.Phase != Link_Phase::None) return;   // one connection per run
    Net.Link.Incoming = Message_Stream{};
    Enter_Phase(Link_Phase::Connecting);
    if (Platform.socket) Platform.socket->Connect(Net.Server_Host, Net.Server_Port);
}

void Check_Connection() {
    // Unsigned difference: right across the wrap of the 32-bit tick count.
    const int32_t waited = int32_t(uint32_t(Get_Tick_Count()) - uint32_t(Net.Link.Phase_Start));
    if (Net.Link.Phase == Link_Phase::Connecting && waited >= CONNECT_TIMEOUT_MS) Give_Up();
    if (Net.Link.Phase == Link_Phase::Handshaking && waited >= HANDSHAKE_TIMEOUT_MS) Give_Up();
}

std::u16string Connection_Status() {
    switch (Net.Link.Phase) {
        case Link_Phase::Connecting: return u"連線中...";
        case Link_Phase::Handshaking: return u"登入中...";
        default: return u"";
    }
}
