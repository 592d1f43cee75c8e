// headless.h -- a window and a socket without a machine behind them: a fake clock that tests move
// by hand, held keys that tests set, scripted events, and the presented frames kept for checking.
#pragma once
#include <functional>
#include <set>

#include "platform/platform.h"
#include "platform/surface.h"

class Headless_Window : public Window_Backend {
public:
    int32_t now = 0;                   // the fake tick count
    std::tm local_time{};              // the fake wall clock (all zero: 1900-01-00 00:00)
    int32_t ms_per_poll = 0;           // added to now at every Poll_Events (so waiting loops end)
    std::set<int> held;                // virtual keys held down
    std::deque<Window_Event> queued;   // delivered at the next Poll_Events, all at once
    // Runs at every Poll_Events before the queue is delivered, with the number of polls so far
    // (counting this one); tests script a run here (press a key at poll 5, end the run...).
    std::function<void(Headless_Window&, int64_t poll)> on_poll;
    int64_t polls = 0;
    int64_t frames_presented = 0;
    Surface last_frame;   // a copy of the last presented back buffer
    bool text_entry_active = false;
    int text_entry_x = 0, text_entry_y = 0;

    int32_t Tick_Count() override { return now; }
    std::tm Local_Time() override { return local_time; }
    bool Key_Held(int virtual_key) override { return held.count(virtual_key) != 0; }
    void Poll_Events(std::vector<Window_Event>& out) override;
    void Present(const Surface& back_buffer) override;
    void Set_Text_Entry(bool active, int x, int y, int w, int h) override;

    // Helpers to queue the events a user makes.
    void Move_Mouse(int16_t x, int16_t y);
    void Click_At(int16_t x, int16_t y);
    void Type(const std::u16string& text);   // one Text event (an input method's commit)
    void Press(int16_t key);                 // Key_Press 8 or 13
};

class Scripted_Socket : public Socket_Backend {
public:
    std::string host;
    uint16_t port = 0;
    bool connected = false;
    std::string sent;                    // every byte sent, in order
    std::deque<Socket_Event> incoming;   // delivered at the next Poll

    void Connect(const std::string& h, uint16_t p) override;
    void Send(const std::string& bytes) override { sent += bytes; }
    void Close() override { connected = false; }
    void Poll(std::vector<Socket_Event>& out) override;
    void Receive(const std::string& bytes) { incoming.push_back({Socket_Event::Data, bytes}); }
};
