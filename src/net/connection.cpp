// connection.cpp -- opening the connection, the socket events, the handshake's first step and
// the time limits the login screen enforces while it waits.
#include "net/net.h"
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

void Handle_Socket_Event(const Socket_Event& event) {
    switch (event.kind) {
        case Socket_Event::Connected: WS_Connect(); break;
        case Socket_Event::Data: WS_DataArrival(event.bytes); break;
        // A refused or unreachable server ends like a lost connection.
        case Socket_Event::Closed:
        case Socket_Event::Failed: WS_Close(); break;
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
