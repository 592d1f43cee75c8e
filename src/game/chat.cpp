// chat.cpp -- the chat line: Escape and Enter polled each frame, the blinking caret, the editing.
#include "game/chat.h"

#include "display/display.h"
#include "net/net.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "ui/input.h"
#include "wire/wire.h"

Chat_State Chat;

void Reset_Chat() { Chat = Chat_State{}; }

void Check_Keys() {
    if (Key_Down(VK_ESCAPE)) Quit_Program();
    if (Key_Latch_Fires(Chat.Enter_Latch, Key_Down(VK_RETURN))) {
        Chat.Chat_Active = int16_t((Chat.Chat_Active + 1) % 2);
        Chat.Chat_Input.caret_counter = 0;
        if (!Chat.Chat_Input.text.empty()) {
            // Cleared before the send: the send yields, and nothing typed then may be lost with it.
            std::u16string text = std::move(Chat.Chat_Input.text);
            Chat.Chat_Input.text.clear();
            Chat.Enter_Latch = 0;
            Send_Message(CMD_SAY, Escape_Text(text));
        }
    }
}

void Edit_Chat_Line() {
    Draw_Entry_Caret(Chat.Chat_Input, Chat.Chat_Input.text, false, Rgb(255, 255, 255), Rgb(255, 0, 0));
    for (int16_t code : Input.Key_Codes) Apply_Entry_Key(Chat.Chat_Input, code);
}
