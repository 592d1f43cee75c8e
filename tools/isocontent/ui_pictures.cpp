// ui_pictures.cpp -- the screens' pictures: login background and lit button, loading picture and
// bar, status panel and error box. Their boxes sit exactly where the screens test clicks.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "platform/encoding.h"
#include "tools/isocontent/picture.h"
#include "wire/wire.h"

namespace {

// Palette: night-blue stone with gold trim.
constexpr Color GOLD_LIGHT{250, 222, 140};
constexpr Color GOLD{206, 162, 72};
constexpr Color GOLD_DARK{112, 78, 30};
constexpr Color STONE_LIGHT{62, 68, 90};
constexpr Color STONE_DARK{28, 31, 44};
constexpr Color INK{14, 16, 26};
constexpr Color PARCHMENT{236, 220, 178};

const char* const TITLE_FONT = "DejaVu Serif";
const char* const MING_FONT = "AR PL UMing TW";

const std::string TITLE = "ISO ONLINE";

// The screens' click boxes (left, top, right, bottom; right and bottom exclusive).
struct Box {
    int left, top, right, bottom;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
constexpr Box LOGIN_BUTTON{320, 320, 415, 359};
constexpr Box LOGIN_ID_FIELD{265, 228, 408, 258};
constexpr Box LOGIN_PASSWORD_FIELD{265, 280, 408, 310};
constexpr Box ERROR_CONFIRM{135, 50, 180, 77};   // inside the error box picture
constexpr Box LOADING_BAR{310, 230, 455, 265};   // where the bar picture lands, 145 x 35
constexpr Box CHAT_ENTRY{150, 84, 500, 100};     // inside the status panel
constexpr Box CHAT_LOG{150, 54, 500, 82};        // the last chat line, drawn at panel y 60

Text_Style Gold_Text(const char* font, int size) {
    Text_Style s;
    s.font = font;
    s.bold = font == TITLE_FONT;
    s.size = size;
    s.top = GOLD_LIGHT;
    s.bottom = GOLD;
    s.outline = 1;
    s.outline_color = Color{40, 24, 8};
    return s;
}

Text_Style Plain_Text(const char* font, int size, Color c) {
    Text_Style s;
    s.font = font;
    s.bold = font == TITLE_FONT;
    s.size = size;
    s.top = s.bottom = c;
    return s;
}

// A ridge line made of a few sine waves; deterministic for a seed.
double Ridge(int x, double base, double height, uint32_t seed) {
    double y = base;
    for (int k = 1; k <= 4; ++k) {
        double phase = Noise_Hash(k, 7, seed) * 6.283;
        double freq = 0.004 * k * k + 0.002 * Noise_Hash(k, 3, seed);
        y -= height / k * (0.5 + 0.5 * std::sin(x * freq + phase));
    }
    return y;
}

// A castle standing on the middle range (the near range hides its foot), lit windows and all.
void Paint_Castle(Picture& p, int base) {
    const Color wall{36, 32, 58};
    const Color window{255, 190, 90};
    p.Fill_Rect(70, base - 60, 100, 120, wall);
    for (int tower : {62, 104, 156}) {
        int h = tower == 104 ? 98 : 78;
        p.Fill_Rect(tower, base - h, 22, h + 60, wall);
        for (int k = 0; k < 11; ++k)
            Draw_Line(p, tower + 11 - k, base - h - 22 + 2 * k, tower + 11 + k, base - h - 22 + 2 * k, wall);
        Draw_Line(p, tower + 11, base - h - 30, tower + 11, base - h - 22, wall);
        p.Fill_Rect(tower + 12, base - h - 30, 6, 4, Color{170, 50, 50});   // pennant
        p.Fill_Rect(tower + 8, base - h + 16, 5, 8, window);
    }
    for (int x = 72; x < 168; x += 8) p.Fill_Rect(x, base - 66, 4, 6, wall);
    p.Fill_Rect(110, base - 24, 12, 24, Color{18, 16, 30});
    p.Fill_Rect(86, base - 44, 5, 7, window);
    p.Fill_Rect(140, base - 40, 5, 7, window);
}

// Sky, moon, stars and three ranges of hills: the common backdrop of the title screens.
void Paint_Landscape(Picture& p, uint32_t seed, bool with_castle) {
    const int horizon = 330;
    for (int y = 0; y < horizon; ++y) {
        double t = double(y) / horizon;
        Color c = t < 0.55 ? Mix(Color{12, 16, 44}, Color{70, 52, 104}, t / 0.55)
                           : Mix(Color{70, 52, 104}, Color{232, 138, 84}, (t - 0.55) / 0.45);
        for (int x = 0; x < p.width; ++x) p.Set(x, y, c);
    }
    for (int i = 0; i < 160; ++i) {
        int x = int(Noise_Hash(i, 1, seed) * p.width), y = int(Noise_Hash(i, 2, seed) * 200);
        double bright = 0.3 + 0.7 * Noise_Hash(i, 3, seed) * (1.0 - y / 220.0);
        Blend(p, x, y, Color{255, 250, 230}, bright);
        if (Noise_Hash(i, 4, seed) > 0.9) {
            Blend(p, x + 1, y, Color{255, 250, 230}, bright * 0.5);
            Blend(p, x - 1, y, Color{255, 250, 230}, bright * 0.5);
            Blend(p, x, y + 1, Color{255, 250, 230}, bright * 0.5);
            Blend(p, x, y - 1, Color{255, 250, 230}, bright * 0.5);
        }
    }
    // The moon with a soft halo.
    const int mx = 528, my = 74;
    for (int y = my - 70; y <= my + 70; ++y)
        for (int x = mx - 70; x <= mx + 70; ++x) {
            double d = std::hypot(x - mx, y - my);
            if (d < 24)
                Blend(p, x, y, Mix(Color{255, 246, 210}, Color{236, 222, 180}, Smooth_Noise(x, y, 6, seed)), 1.0);
            else if (d < 70)
                Blend(p, x, y, Color{255, 236, 190}, 0.22 * std::pow(1.0 - (d - 24) / 46, 2));
        }

    struct Range {
        double base, height;
        Color top, bottom;
        uint32_t seed;
    };
    const Range ranges[] = {
        {300, 90, Color{92, 74, 120}, Color{120, 86, 110}, seed + 10},
        {350, 80, Color{54, 46, 84}, Color{70, 54, 82}, seed + 20},
        {400, 60, Color{24, 34, 42}, Color{18, 26, 30}, seed + 30},
    };
    for (int k = 0; k < 3; ++k) {
        const Range& r = ranges[k];
        for (int x = 0; x < p.width; ++x) {
            int top = int(Ridge(x, r.base, r.height, r.seed));
            for (int y = std::max(0, top); y < p.height; ++y)
                p.Set(x, y, Mix(r.top, r.bottom, double(y - top) / std::max(1, p.height - top)));
            Blend(p, x, top, GOLD_LIGHT, 0.25);   // moonlit rim
        }
        if (k == 1 && with_castle) Paint_Castle(p, int(Ridge(120, r.base, r.height, r.seed)) + 8);
    }
    Add_Grain(p, 0, 260, p.width, p.height - 260, 0.08, 5, seed + 40);
    Make_Opaque(p, 0, 0, p.width, p.height);
}

// A gold-framed dark plate with rounded corners, translucent over what is beneath.
void Paint_Plate(Picture& p, int x, int y, int w, int h, double opacity) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) {
            if (!In_Rounded_Rect(i, j, x, y, w, h, 10)) continue;
            bool rim = !In_Rounded_Rect(i, j, x + 2, y + 2, w - 4, h - 4, 8);
            bool inner = !rim && !In_Rounded_Rect(i, j, x + 4, y + 4, w - 8, h - 8, 6);
            if (rim)
                p.Set(i, j, Mix(GOLD_LIGHT, GOLD_DARK, double(j - y) / h));
            else if (inner)
                p.Set(i, j, Mix(INK, GOLD_DARK, 0.35));
            else
                Blend(p, i, j, Mix(Color{22, 26, 46}, INK, double(j - y) / h), opacity);
        }
    // Corner studs.
    for (auto [cx, cy] :
         {std::pair{x + 9, y + 9}, {x + w - 10, y + 9}, {x + 9, y + h - 10}, {x + w - 10, y + h - 10}}) {
        Fill_Diamond(p, cx, cy, 4, 4, GOLD);
        p.Set(cx - 1, cy - 1, GOLD_LIGHT);
    }
}

// A sunken entry field filling the box exactly, its edge on the box's border pixels.
void Paint_Field(Picture& p, const Box& b) {
    Vertical_Gradient(p, b.left, b.top, b.Width(), b.Height(), Color{10, 12, 22}, Color{26, 30, 50});
    Draw_Bevel(p, b.left, b.top, b.Width(), b.Height(), GOLD_DARK, GOLD);
    Draw_Bevel(p, b.left + 1, b.top + 1, b.Width() - 2, b.Height() - 2, Color{6, 8, 14}, Color{44, 50, 76});
}

// A raised button filling the box exactly; `lit` is the hovered or focused look.
void Paint_Button(Picture& p, const Box& b, const std::string& label, bool lit, int text_size) {
    Color top = lit ? Color{255, 214, 120} : Color{176, 120, 52};
    Color bottom = lit ? Color{196, 112, 32} : Color{92, 56, 22};
    Vertical_Gradient(p, b.left, b.top, b.Width(), b.Height(), top, bottom);
    Add_Grain(p, b.left, b.top, b.Width(), b.Height(), 0.05, 3, lit ? 71 : 72);
    Draw_Bevel(p, b.left, b.top, b.Width(), b.Height(), Color{60, 36, 12}, Color{40, 22, 8});
    Draw_Bevel(p, b.left + 1, b.top + 1, b.Width() - 2, b.Height() - 2, lit ? Color{255, 244, 200} : GOLD_LIGHT,
               Color{70, 40, 14});
    // A highlight across the upper half.
    for (int j = b.top + 2; j < b.top + b.Height() / 2; ++j)
        for (int i = b.left + 2; i < b.right - 2; ++i) Blend(p, i, j, Color{255, 255, 255}, lit ? 0.16 : 0.08);
    Text_Style s = Plain_Text(MING_FONT, text_size, lit ? Color{255, 255, 240} : Color{250, 232, 190});
    s.outline = 1;
    s.outline_color = Color{60, 30, 8};
    Draw_Text_Centred(p, b.left + b.Width() / 2, b.top + b.Height() / 2 + 1, label, s);
}

void Paint_Title(Picture& p, int cx, int cy, int size) {
    Text_Style s = Gold_Text(TITLE_FONT, size);
    s.outline = 2;
    s.shadow = 3;
    s.shadow_color = Color{10, 8, 20};
    Draw_Text_Centred(p, cx, cy, TITLE, s);
}

// A small ornament: a line with a diamond at each end and one in the middle.
void Paint_Divider(Picture& p, int x0, int x1, int y) {
    Draw_Line(p, x0, y, x1, y, GOLD);
    Draw_Line(p, x0, y + 1, x1, y + 1, GOLD_DARK);
    for (int x : {x0, (x0 + x1) / 2, x1}) Fill_Diamond(p, x, y, 4, 4, GOLD_LIGHT);
}

Picture Login_Background() {
    Picture p(640, 480);
    Paint_Landscape(p, 1, true);

    Paint_Plate(p, 150, 44, 340, 104, 0.78);
    Paint_Title(p, 320, 84, 46);
    Draw_Text_Centred(p, 320, 126, "等角之境 · " + To_Utf8(GAME_VERSION), Gold_Text(MING_FONT, 16));

    Paint_Plate(p, 196, 196, 248, 184, 0.82);
    Text_Style label = Gold_Text(MING_FONT, 17);
    Draw_Text_Centred(p, 232, LOGIN_ID_FIELD.top + LOGIN_ID_FIELD.Height() / 2, "帳號", label);
    Draw_Text_Centred(p, 232, LOGIN_PASSWORD_FIELD.top + LOGIN_PASSWORD_FIELD.Height() / 2, "密碼", label);
    Paint_Field(p, LOGIN_ID_FIELD);
    Paint_Field(p, LOGIN_PASSWORD_FIELD);
    Paint_Button(p, LOGIN_BUTTON, "登入", false, 18);

    Text_Style hint = Plain_Text(MING_FONT, 14, Color{214, 206, 230});
    hint.shadow = 1;
    Draw_Text_Centred(p, 320, 452, "Tab 切換欄位　Enter 登入　Esc 離開", hint);
    Make_Opaque(p, 0, 0, p.width, p.height);
    return p;
}

// The lit button: the same spot of the background with the button lit over it (it is copied
// without a colour key, so it must be whole).
Picture Login_Button_Lit(const Picture& background) {
    Picture lit(LOGIN_BUTTON.Width(), LOGIN_BUTTON.Height());
    Picture scratch = background;
    Paint_Button(scratch, LOGIN_BUTTON, "登入", true, 18);
    for (int y = 0; y < lit.height; ++y)
        for (int x = 0; x < lit.width; ++x) lit.Set(x, y, scratch.Get(LOGIN_BUTTON.left + x, LOGIN_BUTTON.top + y));
    Make_Opaque(lit, 0, 0, lit.width, lit.height);
    return lit;
}

Picture Loading_Background() {
    Picture p(640, 480);
    Paint_Landscape(p, 2, false);
    // Darken towards the edges so the bar draws the eye.
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            double d = std::hypot((x - 320) / 320.0, (y - 240) / 240.0);
            Blend(p, x, y, INK, std::clamp(0.25 + 0.45 * d, 0.0, 0.8));
        }
    Paint_Title(p, 320, 120, 40);
    Paint_Divider(p, 200, 440, 160);

    Paint_Plate(p, 160, 204, 320, 88, 0.85);
    const Box& bar = LOADING_BAR;
    // The trough the bar grows in, inside a gold frame around it.
    Fill_Rounded_Rect(p, bar.left - 5, bar.top - 5, bar.Width() + 10, bar.Height() + 10, 4, GOLD_DARK);
    Fill_Rounded_Rect(p, bar.left - 4, bar.top - 4, bar.Width() + 8, bar.Height() + 8, 3, GOLD);
    p.Fill_Rect(bar.left - 2, bar.top - 2, bar.Width() + 4, bar.Height() + 4, Color{40, 30, 16});
    Vertical_Gradient(p, bar.left, bar.top, bar.Width(), bar.Height(), Color{8, 10, 18}, Color{22, 26, 40});
    for (int x = bar.left + 29; x < bar.right; x += 29)
        Draw_Line(p, x - 1, bar.top + 3, x - 1, bar.bottom - 4, Color{30, 34, 52});
    Draw_Text_Centred(p, 243, bar.top + bar.Height() / 2, "載入中", Gold_Text(MING_FONT, 20));

    Text_Style hint = Plain_Text(MING_FONT, 14, Color{206, 198, 222});
    hint.shadow = 1;
    Draw_Text_Centred(p, 320, 322, "正在讀取地圖與角色，請稍候……", hint);
    Make_Opaque(p, 0, 0, p.width, p.height);
    return p;
}

// Five 29-pixel gems: a cut at 29, 87 or 145 pixels always shows whole gems. The gaps between
// them stay black, so the trough shows through the keyed copy.
Picture Loading_Bar() {
    Picture p(145, 35);
    for (int k = 0; k < 5; ++k) {
        const int x = 29 * k + 2, y = 3, w = 25, h = 29;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) {
                if (!In_Rounded_Rect(i, j, x, y, w, h, 5)) continue;
                double t = double(j - y) / (h - 1);
                Color c = Mix(Color{170, 255, 214}, Color{22, 128, 104}, std::pow(t, 0.8));
                if (!In_Rounded_Rect(i, j, x + 1, y + 1, w - 2, h - 2, 4)) c = Color{16, 84, 70};
                p.Set(i, j, c);
            }
        for (int j = y + 3; j < y + 9; ++j)
            for (int i = x + 4; i < x + w - 4; ++i)
                Blend(p, i, j, Color{255, 255, 255}, 0.35 * (1.0 - (j - y - 3) / 6.0));
    }
    return p;   // no Make_Opaque: the gaps are meant to be see-through
}

Picture Status_Panel() {
    Picture p(640, 100);
    // Body: stone from row 8 down; above it only the crest in the middle, so the map shows.
    Vertical_Gradient(p, 0, 8, 640, 92, STONE_LIGHT, STONE_DARK);
    Add_Grain(p, 0, 8, 640, 92, 0.12, 6, 90);
    for (int x = 0; x < 640; x += 80)   // stone joints
        Draw_Line(p, x + (x / 80 % 2) * 40, 12, x + (x / 80 % 2) * 40, 99, Mix(STONE_DARK, INK, 0.5));
    Draw_Line(p, 0, 8, 639, 8, GOLD_LIGHT);
    Draw_Line(p, 0, 9, 639, 9, GOLD);
    Draw_Line(p, 0, 10, 639, 10, GOLD_DARK);
    // The crest above the middle.
    for (int y = 0; y < 9; ++y)
        for (int x = 240; x < 400; ++x) {
            double half = 80.0 * std::sqrt(std::max(0.0, 1.0 - std::pow((8.5 - y) / 9.0, 2)));
            if (std::abs(x + 0.5 - 320) <= half) p.Set(x, y, y < 2 ? GOLD_LIGHT : Mix(GOLD, GOLD_DARK, y / 9.0));
        }
    Fill_Diamond(p, 320, 5, 6, 4, Color{170, 40, 40});

    // Medallions at both ends: the left one a portrait frame, the right one a compass.
    for (int cx : {66, 574}) {
        Fill_Ellipse(p, cx, 55, 40, 40, GOLD_DARK);
        Fill_Ellipse(p, cx, 55, 38, 38, GOLD);
        Fill_Ellipse(p, cx, 55, 35, 35, Color{60, 40, 18});
        for (int y = 20; y < 91; ++y)
            for (int x = cx - 34; x <= cx + 34; ++x)
                if (std::hypot(x - cx, y - 55) < 33.5)
                    p.Set(x, y, Mix(Color{40, 48, 78}, INK, std::hypot(x - cx + 10, y - 45) / 50));
    }
    // Portrait: a hooded figure's silhouette, cut to the medallion.
    Picture figure(80, 80);
    Fill_Ellipse(figure, 40, 33, 12, 14, Color{84, 92, 128});
    Fill_Ellipse(figure, 40, 68, 24, 20, Color{84, 92, 128});
    Fill_Ellipse(figure, 40, 35, 8, 9, Color{28, 30, 46});
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x)
            if (std::hypot(x - 40, y - 40) < 33.5 && !(figure.Get(x, y) == Transparent))
                p.Set(26 + x, 15 + y, figure.Get(x, y));
    // Compass rose.
    Fill_Diamond(p, 574, 55, 6, 28, Color{200, 200, 214});
    Fill_Diamond(p, 574, 55, 28, 6, Color{150, 150, 170});
    Fill_Diamond(p, 574, 41, 4, 13, Color{200, 52, 52});
    Fill_Ellipse(p, 574, 55, 3, 3, GOLD_LIGHT);
    Text_Style dir = Plain_Text(TITLE_FONT, 10, GOLD_LIGHT);
    Draw_Text_Centred(p, 574, 29, "N", dir);

    // The name plate between the portrait and the chat area.
    Text_Style title = Gold_Text(TITLE_FONT, 13);
    Draw_Text_Centred(p, 320, 24, TITLE, title);
    Paint_Divider(p, 160, 258, 24);
    Paint_Divider(p, 382, 480, 24);
    Text_Style small = Plain_Text(MING_FONT, 12, Color{214, 200, 160});
    small.shadow = 1;
    Draw_Text(p, 116, CHAT_LOG.top + 8, "訊息", small);
    Draw_Text(p, 116, CHAT_ENTRY.top + 1, "聊天", small);

    // The last chat line (red, white outline) reads on a dark inset.
    Vertical_Gradient(p, CHAT_LOG.left, CHAT_LOG.top, CHAT_LOG.Width(), CHAT_LOG.Height(), Color{14, 16, 26},
                      Color{24, 28, 42});
    Draw_Bevel(p, CHAT_LOG.left, CHAT_LOG.top, CHAT_LOG.Width(), CHAT_LOG.Height(), Color{12, 12, 18},
               Color{86, 92, 118});
    // The chat entry reaches the bottom edge of the screen: framed on three sides.
    Vertical_Gradient(p, CHAT_ENTRY.left, CHAT_ENTRY.top, CHAT_ENTRY.Width(), CHAT_ENTRY.Height(), Color{34, 38, 60},
                      Color{44, 50, 78});
    Draw_Line(p, CHAT_ENTRY.left, CHAT_ENTRY.top, CHAT_ENTRY.right - 1, CHAT_ENTRY.top, GOLD);
    Draw_Line(p, CHAT_ENTRY.left, CHAT_ENTRY.top, CHAT_ENTRY.left, 99, GOLD);
    Draw_Line(p, CHAT_ENTRY.right - 1, CHAT_ENTRY.top, CHAT_ENTRY.right - 1, 99, GOLD_DARK);

    Make_Opaque(p, 0, 8, 640, 92);
    return p;
}

// The error box: wide enough for a message with a file name, a confirm button exactly on the
// area the error screen tests, rounded corners see-through.
Picture Error_Box() {
    Picture p(360, 100);
    const int radius = 9;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            if (!In_Rounded_Rect(x, y, 0, 0, p.width, p.height, radius)) continue;
            bool rim = !In_Rounded_Rect(x, y, 2, 2, p.width - 4, p.height - 4, radius - 2);
            bool seam = !rim && !In_Rounded_Rect(x, y, 4, 4, p.width - 8, p.height - 8, radius - 4);
            if (rim)
                p.Set(x, y, Mix(GOLD_LIGHT, GOLD_DARK, double(y) / p.height));
            else if (seam)
                p.Set(x, y, Color{46, 20, 16});
            else
                p.Set(x, y, Mix(Color{104, 36, 34}, Color{44, 16, 18}, double(y) / p.height));
        }
    Add_Grain(p, 4, 4, p.width - 8, p.height - 8, 0.07, 4, 120);
    Draw_Line(p, 10, 47, 349, 47, Mix(GOLD, Color{104, 36, 34}, 0.4));
    // A warning seal at the right, away from the text.
    Fill_Diamond(p, 322, 72, 17, 17, GOLD_DARK);
    Fill_Diamond(p, 322, 72, 15, 15, GOLD);
    Fill_Diamond(p, 322, 72, 12, 12, Color{150, 28, 28});
    p.Fill_Rect(320, 62, 4, 13, PARCHMENT);
    p.Fill_Rect(320, 77, 4, 4, PARCHMENT);

    const Box& b = ERROR_CONFIRM;
    Paint_Button(p, b, "確定", false, 14);
    Make_Opaque(p, 0, 0, p.width, p.height);
    // Make_Opaque also filled the corners; cut them out again.
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (!In_Rounded_Rect(x, y, 0, 0, p.width, p.height, radius)) p.Set(x, y, Transparent);
    return p;
}

void Save(const Picture& picture, const std::string& out_dir, const std::string& name) {
    Save_Bmp(picture, (std::filesystem::path(out_dir) / "images" / name).string());
}

}   // namespace

void Make_Ui_Pictures(const std::string& out_dir) {
    std::filesystem::create_directories(std::filesystem::path(out_dir) / "images");
    Picture login = Login_Background();
    Save(login, out_dir, "login.bmp");
    Save(Login_Button_Lit(login), out_dir, "login_enter.bmp");
    Save(Loading_Background(), out_dir, "load_full.bmp");
    Save(Loading_Bar(), out_dir, "load_s.bmp");
    Save(Status_Panel(), out_dir, "s.bmp");
    Save(Error_Box(), out_dir, "err.bmp");
}
