// login.cpp -- the login screen: two entry fields and a button over a picture; confirming starts
// the offline game, or with a server given opens the connection and waits for the handshake.
#include "login/login.h"

#include "characters/player.h"
#include "display/bitmap.h"
#include "game/game.h"
#include "loading/loading.h"
#include "net/net.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "ui/input.h"
#include "ui/screen.h"

Login_State Login;

namespace {

const uint32_t WHITE = Rgb(255, 255, 255);
const uint32_t BLACK = Rgb(0, 0, 0);
const Rect BUTTON_SOURCE{0, 0, 95, 39};
constexpr int16_t STATUS_X = 265, STATUS_Y = 382;   // under the login box: the server's progress

void Start_Offline_Game() {
    Chars.Own_Player.name = u"哇係TAVREN";
    Net.Offline_Mode = true;
    // Keys typed after the confirm belong to no entry of the game screen.
    Input.Key_Codes.clear();
    Start_Game();
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
        Net.Link.Login_Id = Login.Fields[0].text;
        Net.Link.Login_Password = Login.Fields[1].text;
        Open_Connection();
    }
    return false;
}

void Set_Up() {
    Login.Login_Font = Font_Spec{u"Impact", 14, false};
    SetForeColor(WHITE);
    Set_Line_Width(2);
    SetFont(Login.Login_Font);
    Login.Fields[0] = Text_Entry{u"", 270, 230, 25, 0, 60, 12};
    Login.Fields[1] = Text_Entry{u"", 270, 283, 25, 0, 60, 12};
    Login.Login_Boxes[0] = Rect{320, 320, 320 + 95, 320 + 39};
    Login.Login_Boxes[1] = Rect{265, 228, 265 + 143, 228 + 30};
    Login.Login_Boxes[2] = Rect{265, 280, 265 + 143, 280 + 30};
    Require_Bitmap(u"images\\login.bmp", 0, Login.Login_Background);
    Require_Bitmap(u"images\\login_enter.bmp", 0, Login.Login_Button);
    Login.Focus = 1;
    Login.Tab_Latch = 0;
    Login.Connecting = false;
    Input.Entry_Known = false;
}

bool Mouse_In_Box(int i) {
    const Rect& b = Login.Login_Boxes[i];
    return Point_In_Rect(Input.Mouse_X, Input.Mouse_Y, int16_t(b.left), int16_t(b.top), int16_t(b.right),
                         int16_t(b.bottom));
}

// One typed code in the focused field; true when it confirmed and the game ran.
bool Field_Key(int16_t code) {
    if (code != 13) {
        Apply_Entry_Key(Login.Fields[Login.Focus - 1], code);
        return false;
    }
    if (Login.Focus == 1) {
        Login.Focus = 2;   // what follows in the same frame goes to the password
        return false;
    }
    return Confirm();
}

// One frame after the yield; false when the game ran from here and the screen is over.
bool Login_Frame() {
    if (Key_Down(VK_ESCAPE)) Quit_Program();

    if (Key_Latch_Fires(Login.Tab_Latch, Key_Down(VK_TAB))) {
        Login.Focus = int16_t(Login.Focus + 1 > 3 ? 0 : Login.Focus + 1);
        Login.Fields[0].caret_counter = 0;
        Login.Fields[1].caret_counter = 0;
    }

    BltFast(Display.Back_Buffer, 0, 0, Login.Login_Background, Rect{0, 0, 640, 480}, BLTFAST_WAIT);
    if (Mouse_In_Box(0)) BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, BUTTON_SOURCE, BLTFAST_WAIT);

    if (Input.Clicked) {
        if (Mouse_In_Box(0)) {
            Input.Clicked = false;
            if (Confirm()) return false;
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
        Draw_Entry_Caret(Login.Fields[Login.Focus - 1], password ? mask : Login.Fields[0].text, password, BLACK, WHITE);
        for (size_t i = 0; i < Input.Key_Codes.size(); ++i)
            if (Field_Key(Input.Key_Codes[i])) return false;
    } else if (Login.Focus == 3) {
        BltFast(Display.Back_Buffer, 320, 320, Login.Login_Button, BUTTON_SOURCE, BLTFAST_WAIT);
        for (size_t i = 0; i < Input.Key_Codes.size(); ++i)
            if (Input.Key_Codes[i] == 13 && Confirm()) return false;
    }

    if (Login.Connecting) {
        Check_Connection();
        const uint32_t before = Display.fore_color;
        Draw_Outlined_Text(STATUS_X, STATUS_Y, Connection_Status(), BLACK, WHITE);
        SetForeColor(before);
    }
    const bool typing = Login.Focus == 1 || Login.Focus == 2;
    Set_Entry_Area(typing, typing ? Login.Login_Boxes[Login.Focus] : Rect{});
    return true;
}

}   // namespace

void Start_Game() {
    Show_Loading();
    Game_Main_Loop();
}

void Login_Screen() {
    Set_Up();
    // The error screen that sets Quitting never returns, so this only follows a game that ended.
    if (Run_Screen(Login_Frame, 50) == Screen_Exit::Quitting && Net.Server_Host.empty()) Start_Offline_Game();
}
