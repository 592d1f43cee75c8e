// window_test.cpp -- the whole program in a real window: isoclient under Xvfb, driven with xdotool
// like a player (log in, wait for the map, click a cell, hover the own figure, Escape), checked
// on screenshots. The outer test starts the X server and runs the driver inside it.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "characters/player.h"
#include "display/surface.h"
#include "loading/bitmap.h"
#include "map/map.h"
#include "platform/files.h"
#include "platform/platform.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path SHOTS = fs::path(ISO_OUT_DIR).parent_path() / "window-shots";
constexpr int SCALE = 2;   // the --windowed window is twice 640 x 480, at the screen's corner

bool Have(const char* tool) { return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0; }

struct Rgb24 {
    int r = 0, g = 0, b = 0;
};

// A screenshot of the whole X screen.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;   // RGB, row by row
    Rgb24 At(int x, int y) const {
        const size_t i = (size_t(y) * size_t(width) + size_t(x)) * 3;
        return {bytes[i], bytes[i + 1], bytes[i + 2]};
    }
    // The pixel shown for back-buffer pixel (x, y).
    Rgb24 Game(int x, int y) const { return At(x * SCALE + SCALE / 2, y * SCALE + SCALE / 2); }
};

bool Read_Ppm(const fs::path& path, Shot& shot) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> shot.width >> shot.height >> maxval) || magic != "P6" || maxval != 255) return false;
    in.get();
    shot.bytes.resize(size_t(shot.width) * size_t(shot.height) * 3);
    return bool(in.read(reinterpret_cast<char*>(shot.bytes.data()), std::streamsize(shot.bytes.size())));
}

bool Take_Shot(const std::string& name, Shot& shot) {
    const fs::path path = SHOTS / (name + ".ppm");
    if (std::system(("import -window root -depth 8 " + path.string() + " 2>/dev/null").c_str()) != 0) return false;
    return Read_Ppm(path, shot) && shot.width >= 640 * SCALE && shot.height >= 480 * SCALE;
}

void Xdotool(const std::string& arguments) {
    ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << "xdotool " << arguments;
}

Rgb24 To_Rgb24(uint16_t p) {
    int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

bool Close(Rgb24 a, Rgb24 b) { return std::abs(a.r - b.r) <= 12 && std::abs(a.g - b.g) <= 12 && std::abs(a.b - b.b) <= 12; }

// The share of the picture's non-black pixels in the area that the shot shows as drawn there.
double Match(const Shot& shot, const Surface& picture, int at_x, int at_y, Rect area) {
    int tried = 0, matched = 0;
    for (int y = area.top; y < area.bottom; y += 3)
        for (int x = area.left; x < area.right; x += 5) {
            const uint16_t p = picture.At(x - at_x, y - at_y);
            if (p == 0) continue;
            ++tried;
            matched += Close(shot.Game(x, y), To_Rgb24(p));
        }
    return tried ? double(matched) / tried : 0.0;
}

// Back-buffer pixels (sampled) that differ between two shots inside the area.
int Differences(const Shot& a, const Shot& b, Rect area) {
    int n = 0;
    for (int y = area.top; y < area.bottom; y += 2)
        for (int x = area.left; x < area.right; x += 2) n += !Close(a.Game(x, y), b.Game(x, y));
    return n;
}

// Takes shots until `ready` holds for one, for at most `seconds`.
bool Wait_For(const std::string& name, Shot& shot, double seconds, const std::function<bool(const Shot&)>& ready) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (Take_Shot(name, shot) && ready(shot)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    return false;
}

// The program's exit status, or -1 when it has not ended within the time.
int Wait_Exit(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

// A free cell two to four steps from the start cell (0, 0) of the default world, on screen above
// the panel: the target of the walk.
bool Pick_Target(int& target_x, int& target_y) {
    auto bytes = Read_Whole_File(std::string(ISO_OUT_DIR) + "/data/testmap.map");
    if (!bytes) return false;
    Map = Parse_Map(*bytes, "testmap.map");
    Init_Direction_Steps();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            Player_Record walker;
            int16_t box_x = 0, box_y = 0, box_w = 38, box_h = 38;
            Find_Path(walker, 0, 0, int16_t(x), int16_t(y), box_x, box_y, box_w, box_h);
            if (walker.path_length >= 2 && walker.path_length <= 4) {
                target_x = x;
                target_y = y;
                return true;
            }
        }
    return false;
}

// Runs inside the X server that the outer test starts; skipped anywhere else.
TEST(Window_Driver, PlaysTheOfflineGame) {
    if (!std::getenv("ISO_WINDOW_DRIVER")) GTEST_SKIP() << "runs inside the X server Window.PlaysTheOfflineGame starts";
    // The pictures the screens must show, read as the program reads them.
    Platform.program_folder = ISO_OUT_DIR;
    for (const char* name : {"images/login.bmp", "images/s.bmp", "data/testmap.map", "data/testple.ple"})
        ASSERT_TRUE(fs::exists(fs::path(ISO_OUT_DIR) / name)) << name << " has not been generated";
    int target_x = 0, target_y = 0;
    ASSERT_TRUE(Pick_Target(target_x, target_y)) << "no free cell near the start of the default world";
    Surface login, panel;
    Load_Bitmap(u"images\\login.bmp", 0, login);
    Load_Bitmap(u"images\\s.bmp", 0, panel);

    ASSERT_EQ(chdir(ISO_OUT_DIR), 0);
    std::string program = std::string(ISO_OUT_DIR) + "/isoclient";
    char* argv[] = {program.data(), const_cast<char*>("--windowed"), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ), 0);
    struct Reaper {   // a failed check never leaves the program running
        pid_t pid;
        ~Reaper() {
            if (Wait_Exit(pid, 0.0) == -1) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
        }
    } reaper{pid};

    Shot shot;
    ASSERT_TRUE(Wait_For("1-login", shot, 15, [&](const Shot& s) {
        return Match(s, login, 0, 0, Rect{0, 0, 640, 220}) > 0.9;
    })) << "the login screen did not show";

    Xdotool("mousemove 40 40");
    Xdotool("search --sync --name isoclient windowfocus --sync");
    Xdotool("type --delay 40 player1");
    Xdotool("key Return");
    Xdotool("type --delay 40 secret");
    Xdotool("key Return");

    ASSERT_TRUE(Wait_For("2-game", shot, 15, [&](const Shot& s) {
        return Match(s, panel, 0, 380, Rect{0, 380, 640, 480}) > 0.9;
    })) << "the game screen's status panel did not show";
    // Let the first frames settle, then keep the picture before the walk.
    Shot before;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(Take_Shot("3-before-walk", before));
    const Rect map_area{0, 40, 640, 380};   // below the frame counter, above the panel
    const Rect own_figure{290, 130, 350, 200};

    // The centre of the target's diamond, the own cell (0, 0) having its tile at (300, 190).
    const int click_x = 300 + 20 * (target_x - target_y) + 20, click_y = 190 + 10 * (target_x + target_y) + 10;
    Xdotool("mousemove " + std::to_string(click_x * SCALE) + " " + std::to_string(click_y * SCALE) + " click 1");
    Shot after;
    ASSERT_TRUE(Wait_For("4-walking", after, 10, [&](const Shot& s) {
        return Differences(before, s, map_area) > 2000;
    })) << "the map did not scroll";
    // The walk ends after three steps of at most 300 ms; wait until the map stands still.
    Shot previous = after;
    ASSERT_TRUE(Wait_For("5-after-walk", after, 10, [&](const Shot& s) {
        const bool still = Differences(previous, s, map_area) - Differences(previous, s, own_figure) < 20;
        previous = s;
        return still;
    })) << "the map did not stop scrolling";
    EXPECT_GT(Differences(before, after, map_area), 2000);
    EXPECT_GT(Match(after, panel, 0, 380, Rect{0, 380, 640, 480}), 0.9);

    // Hovering the own figure shows the greeting name in blue over black.
    Xdotool("mousemove " + std::to_string(320 * SCALE) + " " + std::to_string(180 * SCALE));
    EXPECT_TRUE(Wait_For("6-hover", shot, 5, [&](const Shot& s) {
        int blue = 0;
        for (int y = 120; y < 200; ++y)
            for (int x = 280; x < 420; ++x) blue += Close(s.Game(x, y), Rgb24{0, 0, 255});
        return blue > 20;
    })) << "no name under the mouse";

    // Escape is polled as a held key: hold it for a few frames.
    Xdotool("keydown Escape sleep 0.3 keyup Escape");
    EXPECT_EQ(Wait_Exit(pid, 10), 0);
    std::ofstream(SHOTS / "passed") << "ok\n";
}

TEST(Window, PlaysTheOfflineGame) {
    if (std::getenv("ISO_WINDOW_DRIVER")) GTEST_SKIP() << "this is the driver's own run";
    for (const char* tool : {"xvfb-run", "xdotool", "import"})
        if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
    ASSERT_TRUE(fs::exists(fs::path(ISO_OUT_DIR) / "isoclient")) << "build isoclient first";
    fs::create_directories(SHOTS);
    fs::remove(SHOTS / "passed");
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string command = "ISO_WINDOW_DRIVER=1 timeout 50 xvfb-run -a -s '-screen 0 1280x960x24' '" + self +
                                "' --gtest_filter=Window_Driver.PlaysTheOfflineGame";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    EXPECT_TRUE(fs::exists(SHOTS / "passed")) << "the driver did not run to its end; shots are in " << SHOTS;
}

}  // namespace
