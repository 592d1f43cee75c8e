// client_walk.cpp -- the game client's side of the server's move tests: a frame's scene and the
// search a click makes, with the client's own modules (kept apart from the server's names).
#include "client_walk.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "fixture.h"
#include "platform/backends.h"

bool Client_Walks(const Map_Model& map, int16_t sx, int16_t sy, int16_t tx, int16_t ty) {
    Reset_All_Modules();
    Headless_Window window;
    Platform.window = &window;
    Init_Direction_Steps();
    Map = map;
    Chars.Own_Player.cell_x = sx;
    Chars.Own_Player.cell_y = sy;
    Draw_Scene(320, 190, VIEW_CELLS, VIEW_CELLS);
    Player_Record& own = Chars.Own_Player;
    Find_Path_In_View(own, tx, ty);
    const bool walks = own.walking && (own.path_length > 0 || (tx == sx && ty == sy));
    Reset_All_Modules();
    return walks;
}

// The real client module logged in over TCP to a server on this machine, in its game loop on
// the default world: clicks cell (x, y), runs 600 frames, then sends a chat line and waits for
// it to come back. Gives what became of it.
Clicked_Walk Click_In_Game(uint16_t port, const std::u16string& name, const std::u16string& password, int16_t x,
                           int16_t y) {
    Reset_All_Modules();
    Headless_Window window;
    Platform.window = &window;
    Platform.program_folder = ISO_OUT_DIR;
    const std::filesystem::path folder = std::filesystem::current_path();
    std::filesystem::current_path(ISO_OUT_DIR);   // the game reads data\ from the current folder
    Socket_Security plain;
    plain.plain = true;   // the server runs with --plain: no key to pin beside the program
    std::unique_ptr<Socket_Backend> tcp = Make_Tcp_Socket(plain);
    Platform.socket = tcp.get();
    Install_Input_Handlers();
    Install_Socket_Handlers();
    Net.Server_Host = "127.0.0.1";
    Net.Server_Port = port;
    Net.Link.Login_Id = name;
    Net.Link.Login_Password = password;
    static int16_t raised;
    raised = -1;
    Program.raise = [](int16_t code, const std::u16string&) {
        raised = code;
        throw Program_End{1};
    };
    Clicked_Walk result;
    const std::u16string line = u"still here";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    int64_t last = -1;
    int frame = 0, clicked = -1;
    window.on_poll = [&](Headless_Window& w, int64_t) {
        if (std::chrono::steady_clock::now() > deadline) w.held.insert(VK_ESCAPE);
        if (!Net.Link.In_Game || w.frames_presented == last) {
            std::this_thread::yield();   // the server's answers are on their way
            return;
        }
        last = w.frames_presented;
        w.now += 16;
        ++frame;
        const Player_Record& own = Chars.Own_Player;
        if (frame == 10) {
            result.start_x = own.cell_x, result.start_y = own.cell_y;
            for (const Visible_Cell& v : Scene.Visible_Cells)
                if (v.cell_x == x && v.cell_y == y)
                    clicked = frame, w.Click_At(int16_t(v.screen_x + 20), int16_t(v.screen_y + 10));
            if (clicked < 0) w.held.insert(VK_ESCAPE);   // not in view: nothing to click
        }
        // The client, finding no path, reports its cell in each of these frames.
        if (clicked > 0 && frame == clicked + 600) w.held.insert(VK_RETURN);
        if (clicked > 0 && frame == clicked + 601) w.held.erase(VK_RETURN), w.Type(line);
        if (clicked > 0 && frame == clicked + 640) w.held.insert(VK_RETURN);
        if (clicked > 0 && frame == clicked + 641) w.held.erase(VK_RETURN);
        if (Net.Link.Last_Chat == line) {
            result.heard_back = true;
            w.held.insert(VK_ESCAPE);
        }
        result.end_x = own.cell_x, result.end_y = own.cell_y;
    };
    try {
        Open_Connection();
        for (;;) Do_Events();
    } catch (const Program_End&) {}
    result.clicked = clicked > 0;
    result.raised = raised;
    std::filesystem::current_path(folder);
    Reset_All_Modules();
    return result;
}
