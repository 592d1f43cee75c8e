// platform.h -- the stand-in for the window system, tick clock, key states, presentation and socket.
// Game code reaches the machine only through these operations; a backend (SDL window or headless)
// supplies them, so tests run every screen with a fake clock and scripted input.
#pragma once
#include <cstdint>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

struct Surface;

// Virtual-key codes of the keys the screens poll as held-down states (where Windows' own headers
// came first, their macros of the same names and values stand in).
#ifndef VK_TAB
enum : int { VK_TAB = 9, VK_RETURN = 13, VK_ESCAPE = 27 };
#endif

// One report of the window system, in the terms of the game's input handlers.
struct Window_Event {
    enum Kind { Mouse_Move, Click, Key_Press, Text, Editing, Close_Request };
    Kind kind = Mouse_Move;
    int16_t x = 0, y = 0;   // Mouse_Move: position in back-buffer pixels (0..639, 0..479)
    int16_t key = 0;        // Key_Press: 8 (Backspace) or 13 (Enter)
    std::u16string text;    // Text: committed characters, in order; Editing: the composition
    int32_t cursor = 0;     // Editing: caret position inside the composition, in characters
};

// The window: clock, keys, events and presentation of the 640 x 480 back buffer.
class Window_Backend {
public:
    virtual ~Window_Backend() = default;
    virtual int32_t Tick_Count() = 0;                               // monotonic milliseconds
    virtual std::tm Local_Time();                                   // the wall clock, local time
    virtual bool Key_Held(int virtual_key) = 0;                     // true while the key is down
    virtual void Poll_Events(std::vector<Window_Event>& out) = 0;   // appends what happened since
    virtual void Present(const Surface& back_buffer) = 0;           // shows one whole frame
    // Where the open text entry is, so an input method places its candidate window there;
    // active false when no entry takes text.
    virtual void Set_Text_Entry(bool /*active*/, int /*x*/, int /*y*/, int /*w*/, int /*h*/) {}
    // Sleeps until an event waits to be fetched or timeout_ms have passed. The headless window
    // returns at once: its clock moves only when a test moves it.
    virtual void Wait_Events(int32_t /*timeout_ms*/) {}
    // Milliseconds until the display can take the next frame; 0 when it can now, or when
    // presentation itself waits for the display's refresh.
    virtual int32_t Frame_Due_In() { return 0; }
};

// One report of the TCP client socket.
struct Socket_Event {
    enum Kind { Connected, Data, Closed, Failed, Key_Refused };
    Kind kind = Data;
    // Data: the bytes received; Failed: a description; Key_Refused: "server_key" (the key is not
    // the one isoclient.ini names) or "changed" (not the one pinned), a space and the key's
    // fingerprint.
    std::string bytes;
};

// The TCP client socket. Never blocks: Poll reports what happened since the last call.
class Socket_Backend {
public:
    virtual ~Socket_Backend() = default;
    virtual void Connect(const std::string& host, uint16_t port) = 0;
    virtual void Send(const std::string& bytes) = 0;
    virtual void Close() = 0;
    virtual void Poll(std::vector<Socket_Event>& out) = 0;
    // True while a connection is being made or is open, so that data may come: a wait for
    // window events then looks at the socket every few milliseconds.
    virtual bool Expecting_Data() const { return false; }
};

// Who handles events during a yield; installed by the input and network modules.
struct Event_Handlers {
    void (*window)(const Window_Event&) = nullptr;
    void (*socket)(const Socket_Event&) = nullptr;
};

struct Platform_State {
    Window_Backend* window = nullptr;   // not owned
    Socket_Backend* socket = nullptr;   // not owned; null until a connection is wanted
    Event_Handlers handlers;
    std::string program_folder = ".";   // host path of the program's folder, no trailing separator
    // Events fetched from the backends but not yet handled. A handler may yield again (a
    // nested frame loop); the nested yield carries on with this same queue, so nothing fetched
    // is stranded behind a handler that never returns.
    std::deque<Window_Event> pending_window;
    std::deque<Socket_Event> pending_socket;
};
extern Platform_State Platform;

void Reset_Platform();

// The millisecond tick count, 32-bit.
int32_t Get_Tick_Count();
// The local date and time, for the error log's file name; the real clock without a window.
std::tm Local_Time();
// True while the key is held down; false without a window.
bool Key_Down(int virtual_key);
// Yields to the window system once: fetches window and socket events and runs their handlers.
void Do_Events();
// Sleeps until a window event comes or timeout_ms pass; while the socket expects data, at most
// SOCKET_POLL_MS at a time, as its data cannot wake the window's wait. Without a window, or
// with the headless one, it returns at once.
void Wait_For_Events(int32_t timeout_ms);
constexpr int32_t SOCKET_POLL_MS = 4;
// Shows the finished back buffer; without a window it does nothing.
void Present_Surface(const Surface& back_buffer);
