// window_test.cpp -- the whole program in a real window: isoclient under Xvfb, driven with xdotool
// like a player (log in, wait for the map, click a cell, see the map scroll, Escape), checked
// on screenshots. The outer test starts the X server and runs the driver inside it.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "characters/path.h"
#include "characters/player.h"
#include "child_process.h"
#include "display/bitmap.h"
#include "map/map.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

const fs::path SHOTS = fs::path(ISO_OUT_DIR).parent_path() / "window-shots";
constexpr int SCALE = 2;   // the --windowed window is twice 640 x 480, at the screen's corner

struct Rgb24 {
    int r = 0, g = 0, b = 0;
};

bool Close(Rgb24 a, Rgb24 b) {
    return std::abs(a.r - b.r) <= 12 && std::abs(a.g - b.g) <= 12 && std::abs(a.b - b.b) <= 12;
}

// A screenshot of the whole X screen, RGB row by row.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> bytes;
    // The pixel shown for back-buffer pixel (x, y).
    Rgb24 Game(int x, int y) const {
        const size_t i = (size_t(y * SCALE + SCALE / 2) * size_t(width) + size_t(x * SCALE + SCALE / 2)) * 3;
        return {bytes[i], bytes[i + 1], bytes[i + 2]};
    }
};

bool Take_Shot(const std::string& name, Shot& shot) {
    const fs::path path = SHOTS / (name + ".ppm");
    if (std::system(("import -window root -depth 8 " + path.string() + " 2>/dev/null").c_str()) != 0) return false;
    std::ifstream in(path, std::ios::binary);
    std::string magic, maxval;
    if (!(in >> magic >> shot.width >> shot.height >> maxval) || magic != "P6" || maxval != "255") return false;
    in.get();
    shot.bytes.resize(size_t(shot.width) * size_t(shot.height) * 3);
    return in.read(reinterpret_cast<char*>(shot.bytes.data()), std::streamsize(shot.bytes.size())) &&
           shot.width >= 640 * SCALE && shot.height >= 480 * SCALE;
}

void Xdotool(const std::string& arguments) {
    ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << "xdotool " << arguments;
}

// Sampled back-buffer pixels of the area for which `hit(x, y)` holds.
int Count(Rect area, int step, auto hit) {
    int n = 0;
    for (int y = area.top; y < area.bottom; y += step)
        for (int x = area.left; x < area.right; x += step) n += hit(x, y);
    return n;
}

// Whether a shot shows the picture (drawn at the area's top left) in the area.
auto Shows(const Surface& picture, Rect area) {
    return [&picture, area](const Shot& shot) {
        auto drawn = [&](int x, int y) -> int { return picture.At(x - area.left, y - area.top); };
        auto same = [&](int x, int y) {
            const int p = drawn(x, y), r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
            return p && Close(shot.Game(x, y), {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)});
        };
        return Count(area, 3, same) > 0.9 * Count(area, 3, [&](int x, int y) { return drawn(x, y) != 0; });
    };
}

int Differences(const Shot& a, const Shot& b, Rect area) {
    return Count(area, 2, [&](int x, int y) { return !Close(a.Game(x, y), b.Game(x, y)); });
}

// Takes shots until `ready` holds for one.
bool Wait_For(const std::string& name, Shot& shot, double seconds, auto ready) {
    return Eventually(
        seconds, [&] { return Take_Shot(name, shot) && ready(shot); }, 150);
}

// Runs inside the X server that the outer test starts; skipped anywhere else.
TEST(Window_Driver, PlaysTheOfflineGame) {
    if (!std::getenv("ISO_WINDOW_DRIVER")) GTEST_SKIP() << "runs inside the X server Window.PlaysTheOfflineGame starts";
    // The target of the walk: a free cell two to four steps from the start cell (0, 0).
    Platform.program_folder = ISO_OUT_DIR;
    Map = Parse_Map(Read_Whole_File(ISO_OUT_DIR "/data/testmap.map").value_or(""), "testmap.map");
    Init_Direction_Steps();
    int target = -1;
    for (int i = 0; i < 36 && target < 0; ++i) {
        Player_Record walker;
        int16_t box_x = 0, box_y = 0, box_w = 38, box_h = 38;
        Find_Path(walker, 0, 0, int16_t(i % 6), int16_t(i / 6), box_x, box_y, box_w, box_h);
        if (walker.path_length >= 2 && walker.path_length <= 4) target = i;
    }
    ASSERT_GE(target, 0) << "no free cell near the start of the default world";
    // The pictures the screens must show, read as the program reads them.
    Surface login, panel;
    Load_Bitmap(u"images\\login.bmp", 0, login);
    Load_Bitmap(u"images\\s.bmp", 0, panel);

    ASSERT_EQ(chdir(ISO_OUT_DIR), 0);
    const Child client({ISO_OUT_DIR "/isoclient", "--windowed"}, {}, "");   // killed should a check fail
    ASSERT_GT(client.pid, 0);

    Shot shot, before, after;
    ASSERT_TRUE(Wait_For("1-login", shot, 15, Shows(login, {0, 0, 640, 220}))) << "the login screen did not show";
    for (const char* step : {"mousemove 40 40", "search --sync --name isoclient windowfocus --sync",
                             "type --delay 40 player1", "key Return", "type --delay 40 secret", "key Return"})
        Xdotool(step);
    const Rect panel_area{0, 380, 640, 480}, map_area{0, 40, 640, 380};
    ASSERT_TRUE(Wait_For("2-game", shot, 15, Shows(panel, panel_area))) << "the game's status panel did not show";
    // Let the first frames settle, then keep the picture before the walk.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(Take_Shot("3-before-walk", before));

    // The centre of the target's diamond, the own cell (0, 0) having its tile at (300, 190).
    const int tx = target % 6, ty = target / 6, click_x = 320 + 20 * (tx - ty), click_y = 200 + 10 * (tx + ty);
    Xdotool("mousemove " + std::to_string(click_x * SCALE) + " " + std::to_string(click_y * SCALE) + " click 1");
    // (Where the walk ends and the name shown under the mouse are the game screen's tests.)
    ASSERT_TRUE(Wait_For("4-walking", after, 10, [&](const Shot& s) {
        return Differences(before, s, map_area) > 2000 && Shows(panel, panel_area)(s);
    })) << "the map did not scroll";

    // Escape is polled as a held key: hold it for a few frames.
    Xdotool("keydown Escape sleep 0.3 keyup Escape");
    int status = 0;
    ASSERT_TRUE(Eventually(
        10, [&] { return waitpid(client.pid, &status, WNOHANG) == client.pid; }, 50))
        << "the program did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::ofstream(SHOTS / "passed") << "ok\n";
}

TEST(Window, PlaysTheOfflineGame) {
    if (std::getenv("ISO_WINDOW_DRIVER")) GTEST_SKIP() << "this is the driver's own run";
    for (std::string tool : {"xvfb-run", "xdotool", "import"})
        if (std::system(("command -v " + tool + " >/dev/null").c_str()) != 0) GTEST_SKIP() << tool << " is missing";
    ASSERT_TRUE(fs::exists(ISO_OUT_DIR "/isoclient")) << "build isoclient first";
    fs::create_directories(SHOTS);
    fs::remove(SHOTS / "passed");
    const std::string command = "ISO_WINDOW_DRIVER=1 timeout 50 xvfb-run -a -s '-screen 0 1280x960x24' '" +
                                fs::read_symlink("/proc/self/exe").string() + "' --gtest_filter=Window_Driver.*";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    EXPECT_TRUE(fs::exists(SHOTS / "passed")) << "the driver did not run to its end; shots are in " << SHOTS;
}

}   // namespace
