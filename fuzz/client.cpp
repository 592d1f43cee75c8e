// client.cpp -- the client's receive path against the loaded default world: a server's bytes in
// pieces through the socket, the framing and the dispatcher, during the handshake and in the game,
// with the game's frames (paths, steps, scene, name and chat labels, chat line) drawn headless.
//
// Input: three bytes -- the mouse's x and y over the screen (x 2.5 pixels a step, y 1.875) and
// flags (1: a click in every frame, 2: the chat line open, 4: a long own name) -- then the server's
// bytes. A zero byte ends a group: each yield of the client delivers the next group as one
// receipt, so "\0\0" is a yield with nothing new (in the game, one frame). After the last group
// Escape is held, which ends the game at its next frame.
#include <filesystem>

#include "characters/path.h"
#include "characters/player.h"
#include "display/display.h"
#include "errors/errors.h"
#include "fuzz/fuzz.h"
#include "game/chat.h"
#include "game/game.h"
#include "game/picking.h"
#include "loading/loading.h"
#include "map/map.h"
#include "net/net.h"
#include "platform/headless.h"
#include "platform/program.h"
#include "scene/scene.h"
#include "ui/input.h"
#include "ui/timer.h"

namespace {

constexpr size_t MAX_GROUPS = 24;   // more would only repeat frames: the rest come as one receipt

struct Harness {
    Headless_Window window;
    Scripted_Socket socket;
    Characters_State loaded;   // the character file and steps as the loading screen left them
    std::vector<std::string> groups;
    size_t next_group = 0;
};
Harness* H = nullptr;

void Reset_Run(const uint8_t flags) {
    Reset_Platform();
    Reset_Program();
    Reset_Display();
    Reset_Input();
    Reset_Timer();
    Reset_Scene();
    Reset_Path();
    Reset_Net();
    Reset_Chat();
    Reset_Picking();
    Reset_Game();
    Chars = H->loaded;
    H->window.held.clear();
    H->window.queued.clear();
    H->window.now = 1000;
    H->window.ms_per_poll = 16;   // one frame's worth of the fake clock at every yield
    H->window.frames_presented = 0;
    H->socket.sent.clear();
    H->socket.incoming.clear();
    H->next_group = 0;
    Platform.window = &H->window;
    Platform.socket = &H->socket;
    Install_Input_Handlers();
    Install_Socket_Handlers();
    // The error screen would wait for the player: its message is made, then the program ends.
    Program.raise = [](int16_t code, const std::u16string& text) {
        static std::u16string shown;
        shown = Error_Message(code, text);
        throw Program_End{1};
    };
    // The world is loaded already: "/plstart" goes straight to the game loop.
    Net.Hooks.Start_Game = Game_Main_Loop;
    Net.Server_Host = "server";
    Net.Server_Port = 7000;
    Net.Link.Login_Id = flags & 4 ? std::u16string(300, u'長') : u"阿明";
    Net.Link.Login_Password = u"pw/e/\\";
    if (flags & 2) Chat.Chat_Active = 1;
}

void Deliver_Next_Group(Headless_Window& window, int64_t) {
    if (H->next_group < H->groups.size())
        H->socket.Receive(H->groups[H->next_group++]);
    else
        window.held.insert(VK_ESCAPE);
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The harness lies beside the program, in the folder that holds the generated world.
    // The map is read against the current folder: the loading runs there, then the fuzzer's own
    // folder names hold again.
    const std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe").parent_path();
    const std::filesystem::path start = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    H = new Harness;
    Platform.program_folder = folder.string();
    Platform.window = &H->window;
    Show_Loading();   // without the world this raises and ends the run with its message
    H->loaded = Chars;
    std::filesystem::current_path(start);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const int16_t mouse_x = int16_t(data[0] * 5 / 2), mouse_y = int16_t(data[1] * 15 / 8);
    const uint8_t flags = data[2];
    H->groups.clear();
    std::string group;
    for (size_t i = 3; i < size; ++i) {
        if (data[i] == 0 && H->groups.size() + 1 < MAX_GROUPS) {
            H->groups.push_back(std::move(group));
            group.clear();
        } else {
            group += char(data[i]);
        }
    }
    H->groups.push_back(std::move(group));
    Reset_Run(flags);
    H->window.Move_Mouse(mouse_x, mouse_y);
    H->window.on_poll = [flags](Headless_Window& window, int64_t poll) {
        if (flags & 1) window.Click_At(Input.Mouse_X, Input.Mouse_Y);
        Deliver_Next_Group(window, poll);
    };
    try {
        Open_Connection();
        while (H->next_group < H->groups.size()) Do_Events();
        Do_Events();
    } catch (const Program_End&) {}
    Fuzz_Require(Chars.Players.size() <= size_t(MAX_PLAYERS), "the table of players stays within its cap");
    Fuzz_Require(Net.Link.Dispatch_Depth == 0, "the dispatcher's nesting unwinds with the program's end");
    return 0;
}
