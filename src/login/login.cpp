// login.cpp -- the login screen: two entry fields and a button over a picture; confirming starts
// the offline game, or with a server given opens the connection and waits for the handshake.
#include "login/login.h"

#include "characters/player.h"
#include "errors/errors.h"
#include "game/game.h"
#include "game/input.h"
#include "game/timer.h"
#include "loading/bitmap.h"
#include "loading/loading.h"
#include "net/net.h"
#include "platform/encoding.h"
#include "platform/platform.h"

Login_State Login;

namespace {

const uint32_t WHITE = Rgb(255, 255, 255);
const uint32_t BLACK = Rgb(0, 0, 0);
const Rect BUTTON_SOURCE{0, 0, 95, 39};
constexpr int16_t STATUS_X = 265, STATUS_Y = 382;   // under the login box: the server's progress

std::u16string Password_Mask(size_t characters) {
    std::u16string mask;
    mask.reserve(characters * 2);
    for (size_t i = 0; i < characters; ++i) mask += u"* ";
    return mask;
}

void Start_Offline_Game() {
    Chars.Own_Player.name = u"哇係TAVREN";
    Net.Offline_Mode = true;
    // Keys typed after the confirm belong to no entry of the game screen.
    Input.Key_Codes.clear();
    Show_Loading();
    Game_Main_Loop();
}

// A confirm: true when the game ran here and the screen is over. With a server the connection
// opens once; later confirms are ignored while it runs.
bool Confirm() {
    if (Net.Server_Host.empty()) {
        Start_Offline_Game();
        return true;
    }
    if (!Login.Connecting) {
        Login.Connecting = true;
        Net.Login_Id = Login.Fields[0].text;
        Net.Login_Password = Login.Fields[1].text;
        Open_Connection();
    }
    return false;
}

void Set_Up() {
    Login.Login_Font = Font_Spec{u"Impact", 14, false};
    SetForeColor(WHITE);
    Set_Line_Width(2);
    SetFont(Login.Login_Font);
    Login.Fields[0] = Login_Field{u"", 270, 230, 25, 0, 60, 12};
    Login.Fields[1] = Login_Field{u"", 270, 283, 25, 0, 60, 12};
    Login.Login_Boxes[0] = Rect{320, 320, 320 + 95, 320 + 39};
    Login.Login_Boxes[1] = Rect{265, 228, 265 + 143, 228 + 30};
    Login.Login_Boxes[2] = Rect{265, 280, 265 + 143, 280 + 30};
    Load_Bitmap(u"images\\login.bmp", 0, Login.Login_Background);
    Load_Bitmap(u"images\\login_enter.bmp", 0, Login.Login_Button);
    Login.Focus = 1;
    Login.Tab_Latch = 0;
    Login.Connecting = false;
    Game.Entry_Known = false;
}

bool Mouse_In_Box(int i) {
    const Rect& b = Login.Login_Boxes[i];
    return Point_In_Rect(Input.Mouse_X, Input.Mouse_Y, int16_t(b.left), int16_t(b.top), int16_t(b.right),
                         int16_t(b.bottom));
}

// The focused field's caret and composition; `shown` is what the field displays.
void Draw_Field_Caret(Login_Field& f, const std::u16string& shown, bool masked) {
    ++f.caret_counter;
    const int32_t w = Round_Half_Even(Text_Width(shown));
    if (f.caret_counter < f.caret_period / 2) Draw_Line(f.x + w, f.y, f.x + w, f.y + f.caret_height);
    if (f.caret_counter > f.caret_period) f.caret_counter = 0;
    if (!Input.Composition.empty()) {
        const uint32_t before = Display.fore_color;
        Draw_Composition(int16_t(f.x + w), f.y, masked ? Password_Mask(Input.Composition.size()) : Input.Composition,
                         BLACK, WHITE);
        SetForeColor(before);
    }
}

// One typed code in the focused field; true when it confirmed and the game ran.
bool Field_Key(int16_t code) {
    Login_Field& f = Login.Fields[Login.Focus - 1];
    if (code == 8) {
        if (!f.text.empty()) f.text.pop_back();
    } else if (code == 13) {
        if (Login.Focus == 1) {
            Login.Focus = 2;   // what follows in the same frame goes to the password
        } else {
            return Confirm();
        }
    } else if (code < 0) {
        char16_t c = Input_Char(code);
        if (c != 0) f.text += c;
    } else if (code >= 32 && code <= 127 && f.text.size() < size_t(f.max_length)) {
        f.text += char16_t(code);
    }
    return false;
}

}  // namespace

void Login_Screen() {
    Set_Up();
    for (;;) {
        if (Errors.Quitting) {
            if (Net.Server_Host.empty()) Start_Offline_Game();
            return;
        }
        Do_Events();
        if (Key_Down(VK_ESCAPE)) Quit_Program();

        if (Login.Tab_Latch != 0) ++Login.Tab_Latch;
        if (Key_Down(VK_TAB) && Login.Tab_Latch == 0) {
            Login.Focus = int16_t(Login.Focus + 1 > 3 ? 0 : Login.Focus + 1);
            Login.Fields[0].caret_counter = 0;
            Login.Fields[1].caret_counter = 0;
            Login.Tab_Latch = 1;
        }
        if (Login.Tab_Latch >= 20) Login.Tab_Latch = 0;

        BltFast(Display.Back_Buffer, 0, 0, Login.Login_Background, Rect{0, 0, 640, 480}, BLTFAST_WAIT);
        if (Mouse_In_Box(0)) BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, BUTTON_SOURCE, BLTFAST_WAIT);

        if (Input.Clicked) {
            if (Mouse_In_Box(0)) {
                Input.Clicked = false;
                if (Confirm()) return;
            } else if (Mouse_In_Box(1)) {
                Login.Focus = 1;
                Login.Fields[0].caret_counter = 0;
            } else if (Mouse_In_Box(2)) {
                Login.Focus = 2;
                Login.Fields[1].caret_counter = 0;
            }
        }

        Draw_Outlined_Text(270, 230, Login.Fields[0].text, BLACK, WHITE);
        const std::u16string mask = Password_Mask(Login.Fields[1].text.size());
        Draw_Outlined_Text(270, 283, mask, BLACK, WHITE);

        if (Login.Focus == 1 || Login.Focus == 2) {
            const bool password = Login.Focus == 2;
            Draw_Field_Caret(Login.Fields[Login.Focus - 1], password ? mask : Login.Fields[0].text, password);
            for (size_t i = 0; i < Input.Key_Codes.size(); ++i)
                if (Field_Key(Input.Key_Codes[i])) return;
        } else if (Login.Focus == 3) {
            BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, BUTTON_SOURCE, BLTFAST_WAIT);
            for (size_t i = 0; i < Input.Key_Codes.size(); ++i)
                if (Input.Key_Codes[i] == 13 && Confirm()) return;
        }

        if (Login.Connecting) {
            Check_Connection();
            const uint32_t before = Display.fore_color;
            Draw_Outlined_Text(STATUS_X, STATUS_Y, Connection_Status(), BLACK, WHITE);
            SetForeColor(before);
        }
        const bool typing = Login.Focus == 1 || Login.Focus == 2;
        Set_Entry_Area(typing, typing ? Login.Login_Boxes[Login.Focus] : Rect{});

        Input.Key_Codes.clear();
        Input.Clicked = false;
        Present_Frame();
        Wait_Frame(50);
    }
}
