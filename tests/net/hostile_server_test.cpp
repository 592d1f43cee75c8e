// hostile_server_test.cpp -- the client on the default world against a hostile server for 60 s of
// game time: "/setpl" floods up to the table's cap, moves to cells off the map, huge fields, runs
// of terminators, random bytes, messages cut anywhere; then an "/err" with a junk code. Every frame
// of the 60 s runs and is presented, the heap stays under 300 MB, and the refusal is raised.
#include <unistd.h>

#include <random>

#include "bench/hostile_traffic.h"
#include "net_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's own count (GCC ships the runtime but not its header).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>
#else
#include <malloc.h>
#endif

namespace {

// Bytes the program holds on the heap now.
size_t Heap_In_Use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#elif defined(_WIN32)
    // The C runtime has no heap total; the process's private bytes bound it from above.
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    K32GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters);
    return counters.PrivateUsage;
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

class Hostile_Server : public Headless_Test {
protected:
    void SetUp() override {
        Headless_Test::SetUp();
        ASSERT_EQ(chdir(ISO_OUT_DIR), 0);   // the game reads data\ from the current folder
        Platform.socket = &socket;
        Install_Input_Handlers();
        Install_Socket_Handlers();
        Net.Server_Host = "server";
        Net.Server_Port = 7000;
        Net.Link.Login_Id = u"阿明";
    }
};

TEST_F(Hostile_Server, SixtySecondsOfHostileTrafficRunEveryFrameWithinThreeHundredMegabytes) {
    constexpr int64_t FRAMES = 60 * 60;   // 60 s at 60 frames a second on the fake clock
    static int16_t raised_code;
    static std::u16string raised_message;
    raised_code = 1;
    Program.raise = [](int16_t code, const std::u16string& text) {
        raised_code = code;
        raised_message = Error_Message(code, text);
        throw Program_End{1};
    };
    Hostile_Traffic traffic(2024);
    int64_t first_frame = -1, last_polled = -1, frames_run = 0;
    size_t most_heap = 0, most_players = 0;
    window.on_poll = [&](Headless_Window& w, int64_t) {
        if (!Net.Link.In_Game || w.frames_presented == last_polled) return;   // a send's yield inside a frame
        last_polled = w.frames_presented;
        if (first_frame < 0) first_frame = w.frames_presented;
        ++frames_run;
        w.now = int32_t(1000 + frames_run * 1000 / 60);
        if (frames_run % 60 == 0) most_heap = std::max(most_heap, Heap_In_Use());
        most_players = std::max(most_players, Chars.Players.size());
        if (frames_run <= FRAMES) {
            for (std::string& receipt : traffic.Frame_Receipts(int32_t(frames_run))) socket.Receive(std::move(receipt));
        } else {
            socket.Receive("/e//err 0x7FFF\\\xA4\x5C/e/");   // ends any message left open, then a junk code
        }
    };
    socket.Receive("/verok 0.1 beta/e/");
    socket.Receive("/idok x/e/");
    socket.Receive("/plstart 1/e//setplxy 1\\60\\60/e/");
    try {
        Open_Connection();
        for (;;) Do_Events();
    } catch (const Program_End& end) { EXPECT_EQ(end.status, 1); }

    // Frames 1 to 3600 ran and were presented; the 3601st met the "/err".
    EXPECT_EQ(frames_run, FRAMES + 1);
    EXPECT_EQ(window.frames_presented - first_frame, FRAMES);
    EXPECT_EQ(std::pair(raised_code, raised_message), std::pair(int16_t(0), std::u16string(u"未知的錯誤")));
    EXPECT_EQ(most_players, size_t(MAX_PLAYERS));   // the flood did reach the cap
    EXPECT_GT(traffic.bytes_sent, size_t(20) << 20);
    EXPECT_LT(most_heap, size_t(300) << 20);
    RecordProperty("most_heap_bytes", std::to_string(most_heap));
}

}   // namespace
