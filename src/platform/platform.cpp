// platform.cpp -- dispatch of the backends' events to the installed handlers.
#include "platform/platform.h"

#include <algorithm>

Platform_State Platform;

void Reset_Platform() { Platform = Platform_State{}; }

int32_t Get_Tick_Count() { return Platform.window ? Platform.window->Tick_Count() : 0; }

static std::tm System_Local_Time() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

std::tm Window_Backend::Local_Time() { return System_Local_Time(); }

std::tm Local_Time() { return Platform.window ? Platform.window->Local_Time() : System_Local_Time(); }

bool Key_Down(int virtual_key) { return Platform.window && Platform.window->Key_Held(virtual_key); }

void Do_Events() {
    std::vector<Window_Event> window_events;
    if (Platform.window) Platform.window->Poll_Events(window_events);
    for (auto& e : window_events) Platform.pending_window.push_back(std::move(e));
    std::vector<Socket_Event> socket_events;
    if (Platform.socket) Platform.socket->Poll(socket_events);
    for (auto& e : socket_events) Platform.pending_socket.push_back(std::move(e));

    // Window events first: they only store input. Socket handlers may run a whole game.
    while (!Platform.pending_window.empty()) {
        Window_Event e = std::move(Platform.pending_window.front());
        Platform.pending_window.pop_front();
        if (Platform.handlers.window) Platform.handlers.window(e);
    }
    while (!Platform.pending_socket.empty()) {
        Socket_Event e = std::move(Platform.pending_socket.front());
        Platform.pending_socket.pop_front();
        if (Platform.handlers.socket) Platform.handlers.socket(e);
    }
}

void Wait_For_Events(int32_t timeout_ms) {
    if (!Platform.window || timeout_ms <= 0) return;
    if (Platform.socket && Platform.socket->Expecting_Data()) timeout_ms = std::min(timeout_ms, SOCKET_POLL_MS);
    Platform.window->Wait_Events(timeout_ms);
}

void Present_Surface(const Surface& back_buffer) {
    if (Platform.window) Platform.window->Present(back_buffer);
}
