// frame_bench.cpp -- one game screen frame without its presentation (scene, labels, panel, chat
// lines, frame counter) on the default world, with 0, 50 and 500 other players in view, each
// showing a chat line; and the memory floor: three copies of the whole back buffer.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/player.h"
#include "display/bitmap.h"
#include "display/display.h"
#include "errors/errors.h"
#include "game/game.h"
#include "loading/loading.h"
#include "map/map.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "ui/input.h"
#include "ui/timer.h"

namespace {

struct Default_World {
    Headless_Window window;
    bool loaded = false;

    Default_World() {
        Platform.window = &window;
        Platform.program_folder = ISO_OUT_DIR;
        if (chdir(ISO_OUT_DIR) != 0) return;
        // Should a file be missing, the error screen opens: Escape held ends it at once.
        window.held.insert(VK_ESCAPE);
        try {
            Load_Map(u"data\\testmap.map");
            Load_Character_File(u"data\\testple.ple");
            Load_Bitmap(u"images\\s.bmp", 0, Loading.Status_Panel);
        } catch (const Program_End&) {
            std::fprintf(stderr, "frame_bench: the default world under %s did not load\n", ISO_OUT_DIR);
            return;
        }
        window.held.clear();
        Init_Direction_Steps();
        Init_Pixel_Steps();
        Game.Game_Font = Font_Spec{u"新細明體", 12, false};
        SetFont(Game.Game_Font);
        Set_Line_Width(2);
        loaded = true;
    }
};

Default_World& World() {
    static Default_World world;
    return world;
}

// The own character mid-map, `count` others on cells around it within the view, each saying
// something, the mouse on the own figure so that its name shows.
void Place_Players(int count) {
    Player_Record& own = Chars.Own_Player;
    own = Player_Record{};
    own.name = u"哇係TAVREN";
    own.cell_x = int16_t(Map.Map_Width / 2);
    own.cell_y = int16_t(Map.Map_Height / 2);
    own.chat_text = u"大家好！";
    Chars.Players.assign(size_t(count), Player_Record{});
    uint32_t seed = 12345;
    auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % uint32_t(range));
    };
    const int16_t types = Chars.Characters.Sprite_Type_Count;
    for (int i = 0; i < count; ++i) {
        Player_Record& p = Chars.Players[size_t(i)];
        p.name = u"玩家" + std::u16string(1, char16_t(u'0' + i % 10));
        p.id = int16_t(i + 1);
        p.cell_x = int16_t(own.cell_x - 12 + next(25));
        p.cell_y = int16_t(own.cell_y - 12 + next(25));
        p.sprite_type = int16_t(types > 0 ? i % types : 0);
        p.direction = int16_t(1 + next(8));
        p.animating = true;
        p.frame_speed = 2.0f;
        p.chat_text = (i % 2) ? u"今天天氣真好，一起去打怪吧" : u"hello, anyone near the bridge?";
    }
    Input.Mouse_X = 320;
    Input.Mouse_Y = 180;
}

void BM_Game_Frame(benchmark::State& state) {
    if (!World().loaded) {
        state.SkipWithError("the default world did not load");
        return;
    }
    Place_Players(int(state.range(0)));
    for (auto _ : state) {
        World().window.now += 16;
        // Keep every label showing: a frame with chat lines is the case being measured.
        Chars.Own_Player.chat_frames = 0;
        for (Player_Record& p : Chars.Players) p.chat_frames = 0;
        Draw_Game_Screen();
        Draw_FPS();
        benchmark::ClobberMemory();
    }
    state.counters["players"] = double(state.range(0));
}
BENCHMARK(BM_Game_Frame)
    ->Arg(0)
    ->Arg(50)
    ->Arg(500)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_Back_Buffer_Copied_Three_Times(benchmark::State& state) {
    const Surface picture = Make_Surface(SCREEN_WIDTH, SCREEN_HEIGHT, 0x1234);
    for (auto _ : state) {
        for (int i = 0; i < 3; ++i)
            BltFast(Display.Back_Buffer, 0, 0, picture, Rect{0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}, BLTFAST_WAIT);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Back_Buffer_Copied_Three_Times)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

}   // namespace
