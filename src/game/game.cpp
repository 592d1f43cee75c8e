// game.cpp -- the game screen's frame loop: input, walking, the scene, hover names, the status
// panel, the chat line and the frame counter.
#include "game/game.h"

#include <algorithm>
#include <string>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/player.h"
#include "game/chat.h"
#include "game/picking.h"
#include "loading/loading.h"
#include "net/net.h"
#include "platform/platform.h"
#include "scene/scene.h"
#include "ui/input.h"
#include "ui/screen.h"
#include "ui/text_entry.h"
#include "ui/timer.h"

Game_State Game;

void Reset_Game() { Game = Game_State{}; }

namespace {

const Rect CHAT_ENTRY_AREA{155, 465, 495, 480};   // the chat box as far as the screen shows it

// A walk target waiting for a path is served once no step is in progress.
void Serve_Path_Request(Player_Record& r) {
    if (!r.new_target || r.step_direction != 0) return;
    Find_Path_In_View(r, r.target_x, r.target_y);
    r.new_target = false;
}

// Starts the next step of the record's path when none is in progress; true when it did.
bool Start_Next_Step(Player_Record& r) {
    if (!r.walking || r.step_direction != 0 || r.step_index >= r.path_length) return false;
    if (r.step_index < 0 || size_t(r.step_index) >= r.path_steps.size()) {
        // A path shorter than its count ends where its steps end.
        r.path_length = r.step_index < 0 ? int16_t(0) : int16_t(r.path_steps.size());
        r.step_index = std::min(std::max<int16_t>(r.step_index, 0), r.path_length);
        return false;
    }
    const int64_t now = Get_Tick_Count();
    r.step_time = int32_t((now + 300) / 100 * 100);
    r.step_direction = r.path_steps[size_t(r.step_index)];
    r.direction = r.step_direction;
    Start_Animation(r, 2.0f);
    ++r.step_index;
    return true;
}

// The record's name in blue over black while the mouse is on its figure, tested with the frame
// that places its labels.
void Draw_Hover_Label(const Player_Record& r) {
    const Frame* f = Label_Frame(r);
    if (!f || Animations.Sheets.empty()) return;
    const Sequence& seq = Animations.Sequences[size_t(Find_Sequence(r.direction))];
    const Surface& sheet = Animations.Sheets[size_t(Find_Sheet(seq.sheet_id))].surface;
    const int16_t fx = int16_t(r.screen_x + f->offset_x);
    const int16_t fy = int16_t(r.screen_y + f->offset_y);
    if (!Sprite_Hit(sheet, Input.Mouse_X, Input.Mouse_Y, f->source_x, f->source_y, f->width, f->height, fx, fy)) return;
    const int32_t h = Round_Half_Even(Text_Height(r.name));
    Draw_Outlined_Text(int16_t(fx - h / 2), int16_t(fy - h), r.name, Rgb(0, 0, 0), Rgb(0, 0, 255));
}

}   // namespace

bool Sprite_Hit(const Surface& sheet, int16_t mouse_x, int16_t mouse_y, int16_t source_x, int16_t source_y,
                int16_t width, int16_t height, int16_t frame_x, int16_t frame_y) {
    const int32_t px = int32_t(mouse_x) - frame_x + source_x;
    const int32_t py = int32_t(mouse_y) - frame_y + source_y;
    if (!(source_x < px && px < int32_t(source_x) + width - 1 && source_y < py && py < int32_t(source_y) + height - 1))
        return false;
    // Three bytes: the pixel's two and the low byte of its right-hand neighbour.
    const int32_t sum =
        Surface_Byte(sheet, py, 2 * px) + Surface_Byte(sheet, py, 2 * px + 1) + Surface_Byte(sheet, py, 2 * px + 2);
    return sum != 0;
}

void Draw_Game_Screen() {
    BltColorFill(Display.Back_Buffer, Rect{0, 0, 640, 480}, 0);
    Draw_Scene(320, 190, VIEW_CELLS, VIEW_CELLS);
    // Only characters drawn in this frame: a player outside the view (or never drawn) keeps an
    // old screen position, where its name would show over nothing.
    if (Drawn_In_Last_Scene(-1)) Draw_Hover_Label(Chars.Own_Player);
    for (size_t i = 0; i < Chars.Players.size(); ++i)
        if (Drawn_In_Last_Scene(int32_t(i))) Draw_Hover_Label(Chars.Players[i]);
    BltFast(Display.Back_Buffer, 0, 380, Loading.Status_Panel, Rect{0, 0, 640, 100}, BLTFAST_SRCCOLORKEY_WAIT);
    Draw_Outlined_Text(155, 465, Chat.Chat_Input.text, Rgb(255, 255, 255), Rgb(255, 0, 0));
    Draw_Outlined_Text(155, 440, Net.Link.Last_Chat, Rgb(255, 255, 255), Rgb(255, 0, 0));
    SetForeColor(Rgb(255, 255, 255));
}

void Game_Frame() {
    Pick_Cell(Input.Mouse_X, Input.Mouse_Y);
    Check_Keys();
    Check_Click();
    Set_Entry_Area(Chat.Chat_Active == 1, CHAT_ENTRY_AREA);

    // Own_Player is a fixed record; the table of others may change inside any send.
    Player_Record& own = Chars.Own_Player;
    Serve_Path_Request(own);
    if (!Start_Next_Step(own) && own.step_index == own.path_length) {
        own.step_index = 0;
        own.walking = false;
        Send_Message(CMD_GOT, Join_Numbers({own.cell_x, own.cell_y}));
    }
    for (size_t i = 0; i < Chars.Players.size(); ++i) {
        Player_Record& p = Chars.Players[i];
        Serve_Path_Request(p);
        if (!Start_Next_Step(p) && p.step_index == p.path_length) {
            p.step_index = 0;
            p.walking = false;
        }
        Step_Player(p);
    }
    Step_Player(own);

    Draw_Game_Screen();
    if (Chat.Chat_Active == 1) Edit_Chat_Line();
    Draw_FPS();
}

void Game_Main_Loop() {
    Text_Entry& line = Chat.Chat_Input;
    line.x = 155;
    line.y = 465;
    line.caret_height = 20;
    line.max_length = 100;
    line.caret_period = 60;
    Game.Game_Font = Font_Spec{u"新細明體", 12, false};
    SetFont(Game.Game_Font);
    Picking.Chat_Box.assign(1, Rect{155, 465, 155 + 340, 640});
    Chars.Own_Player.sprite_type = 0;
    Send_Message(CMD_READY, u"");
    Net.Link.In_Game = true;
    Input.Entry_Known = false;
    Run_Screen(
        [] {
            Game_Frame();
            return true;
        },
        0);
}
