// send.cpp -- every message the client sends goes out here.
#include "net/net.h"
#include "platform/encoding.h"

void Send_Message(const std::u16string& command, const std::u16string& data) {
    if (Net.Offline_Mode) return;
    if (Platform.socket) Platform.socket->Send(Encode_Message(command, data));
    Do_Events();
}

void Send_Move(int16_t x, int16_t y, int16_t target_x, int16_t target_y) {
    Send_Message(CMD_MOVE, Join_Numbers({x, y, target_x, target_y}));
}
