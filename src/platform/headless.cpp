// headless.cpp -- the headless window and scripted socket.
#include "platform/headless.h"

void Headless_Window::Poll_Events(std::vector<Window_Event>& out) {
    ++polls;
    now += ms_per_poll;
    if (on_poll) on_poll(*this, polls);
    while (!queued.empty()) {
        out.push_back(std::move(queued.front()));
        queued.pop_front();
    }
}

void Headless_Window::Present(const Surface& back_buffer) {
    ++frames_presented;
    last_frame = back_buffer;
}

void Headless_Window::Set_Text_Entry(bool active, int x, int y, int, int) {
    text_entry_active = active;
    text_entry_x = x;
    text_entry_y = y;
}

void Headless_Window::Move_Mouse(int16_t x, int16_t y) {
    Window_Event e;
    e.kind = Window_Event::Mouse_Move;
    e.x = x;
    e.y = y;
    queued.push_back(e);
}

void Headless_Window::Click_At(int16_t x, int16_t y) {
    Move_Mouse(x, y);
    Window_Event e;
    e.kind = Window_Event::Click;
    queued.push_back(e);
}

void Headless_Window::Type(const std::u16string& text) {
    Window_Event e;
    e.kind = Window_Event::Text;
    e.text = text;
    queued.push_back(e);
}

void Headless_Window::Press(int16_t key) {
    Window_Event e;
    e.kind = Window_Event::Key_Press;
    e.key = key;
    queued.push_back(e);
}

void Scripted_Socket::Connect(const std::string& h, uint16_t p) {
    host = h;
    port = p;
    connected = true;
    incoming.push_front({Socket_Event::Connected, {}});
}

void Scripted_Socket::Poll(std::vector<Socket_Event>& out) {
    while (!incoming.empty()) {
        out.push_back(std::move(incoming.front()));
        incoming.pop_front();
    }
}
