// connection.cpp -- opening the connection, the socket events, the handshake's first step and
// the time limits the login screen enforces while it waits.
#include "errors/errors.h"
#include "net/net.h"

namespace {

void Raise_Disconnect() {
    if (Net.Raise) {
        Net.Raise(20, u"");
        return;
    }
    Raise_Error(20, u"");
}

void Enter_Phase(Link_Phase phase) {
    Net.Phase = phase;
    Net.Phase_Start = Get_Tick_Count();
}

}  // namespace

void Send_Version() { Send_Message(u"/ver", Escape_Text(u"0.1 beta")); }

void WS_Connect() {
    if (Net.Phase == Link_Phase::Connecting) Enter_Phase(Link_Phase::Handshaking);
    Send_Version();
}

void WS_DataArrival(const std::string& bytes) { Dispatch_Messages(bytes); }

void WS_Close() {
    if (Errors.Quitting) return;
    Raise_Disconnect();
}

void Handle_Socket_Event(const Socket_Event& event) {
    switch (event.kind) {
    case Socket_Event::Connected:
        WS_Connect();
        break;
    case Socket_Event::Data:
        WS_DataArrival(event.bytes);
        break;
    case Socket_Event::Closed:
        WS_Close();
        break;
    case Socket_Event::Failed:
        // A refused or unreachable server ends like a lost connection.
        if (!Errors.Quitting) Raise_Disconnect();
        break;
    }
}

void Install_Socket_Handlers() { Platform.handlers.socket = Handle_Socket_Event; }

void Open_Connection() {
    if (Net.Phase != Link_Phase::None) return;   // one connection per run
    Net.Receive_Buffer.clear();
    Net.Receive_Pos = 0;
    Enter_Phase(Link_Phase::Connecting);
    if (Platform.socket) Platform.socket->Connect(Net.Server_Host, Net.Server_Port);
}

void Check_Connection() {
    // Unsigned difference: right across the wrap of the 32-bit tick count.
    int32_t waited = int32_t(uint32_t(Get_Tick_Count()) - uint32_t(Net.Phase_Start));
    if (Net.Phase == Link_Phase::Connecting && waited >= CONNECT_TIMEOUT_MS) {
        if (Platform.socket) Platform.socket->Close();
        Net.Phase = Link_Phase::None;
        Raise_Disconnect();
    } else if (Net.Phase == Link_Phase::Handshaking && waited >= HANDSHAKE_TIMEOUT_MS) {
        if (Platform.socket) Platform.socket->Close();
        Net.Phase = Link_Phase::None;
        Raise_Disconnect();
    }
}

std::u16string Connection_Status() {
    switch (Net.Phase) {
    case Link_Phase::Connecting:
        return u"連線中...";
    case Link_Phase::Handshaking:
        return u"登入中...";
    default:
        return u"";
    }
}
