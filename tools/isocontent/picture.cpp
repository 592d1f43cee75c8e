// picture.cpp -- painting helpers and BMP output of the content generator.
#include "tools/isocontent/picture.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <utility>

#include "display/bitmap.h"
#include "display/text.h"
#include "platform/encoding.h"

static uint8_t Clamp_Byte(double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

Color Mix(Color a, Color b, double t) {
    return Color{Clamp_Byte(a.r + (b.r - a.r) * t), Clamp_Byte(a.g + (b.g - a.g) * t),
                 Clamp_Byte(a.b + (b.b - a.b) * t)};
}

void Blend(Picture& picture, int x, int y, Color c, double alpha) {
    if (!picture.Inside(x, y)) return;
    picture.Set(x, y, Mix(picture.Get(x, y), c, std::clamp(alpha, 0.0, 1.0)));
}

void Vertical_Gradient(Picture& picture, int x, int y, int w, int h, Color top, Color bottom) {
    for (int j = 0; j < h; ++j) {
        Color c = Mix(top, bottom, h > 1 ? double(j) / double(h - 1) : 0.0);
        for (int i = 0; i < w; ++i) picture.Set(x + i, y + j, c);
    }
}

void Draw_Line(Picture& picture, int x0, int y0, int x1, int y1, Color c) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        picture.Set(x0, y0, c);
        if (x0 == x1 && y0 == y1) break;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

bool In_Rounded_Rect(int px, int py, int x, int y, int w, int h, int radius) {
    if (px < x || py < y || px >= x + w || py >= y + h) return false;
    radius = std::min({radius, w / 2, h / 2});
    // Distance from the centre of the nearest corner circle, measured from pixel centres.
    double cx = std::clamp(px + 0.5, double(x + radius), double(x + w - radius));
    double cy = std::clamp(py + 0.5, double(y + radius), double(y + h - radius));
    double ddx = px + 0.5 - cx, ddy = py + 0.5 - cy;
    return ddx * ddx + ddy * ddy <= double(radius) * radius;
}

void Fill_Rounded_Rect(Picture& picture, int x, int y, int w, int h, int radius, Color c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (In_Rounded_Rect(i, j, x, y, w, h, radius)) picture.Set(i, j, c);
}

void Draw_Bevel(Picture& picture, int x, int y, int w, int h, Color light, Color dark) {
    if (w <= 0 || h <= 0) return;
    Draw_Line(picture, x, y, x + w - 1, y, light);
    Draw_Line(picture, x, y, x, y + h - 1, light);
    Draw_Line(picture, x, y + h - 1, x + w - 1, y + h - 1, dark);
    Draw_Line(picture, x + w - 1, y, x + w - 1, y + h - 1, dark);
}

void Fill_Ellipse(Picture& picture, int cx, int cy, int rx, int ry, Color c) {
    if (rx <= 0 || ry <= 0) return;
    for (int j = -ry; j <= ry; ++j)
        for (int i = -rx; i <= rx; ++i)
            if (double(i) * i / (double(rx) * rx) + double(j) * j / (double(ry) * ry) <= 1.0)
                picture.Set(cx + i, cy + j, c);
}

void Fill_Diamond(Picture& picture, int cx, int cy, int rx, int ry, Color c) {
    if (rx <= 0 || ry <= 0) return;
    for (int j = -ry; j <= ry; ++j)
        for (int i = -rx; i <= rx; ++i)
            if (double(std::abs(i)) / rx + double(std::abs(j)) / ry <= 1.0) picture.Set(cx + i, cy + j, c);
}

double Noise_Hash(int x, int y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B1u ^ uint32_t(x) * 0x85EBCA77u ^ uint32_t(y) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return double(h) / 4294967295.0;
}

double Smooth_Noise(double x, double y, int scale, uint32_t seed) {
    if (scale < 1) scale = 1;
    double fx = x / scale, fy = y / scale;
    int ix = int(std::floor(fx)), iy = int(std::floor(fy));
    double tx = fx - ix, ty = fy - iy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    double a = Noise_Hash(ix, iy, seed), b = Noise_Hash(ix + 1, iy, seed);
    double c = Noise_Hash(ix, iy + 1, seed), d = Noise_Hash(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

void Add_Grain(Picture& picture, int x, int y, int w, int h, double amount, int scale, uint32_t seed) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) {
            if (!picture.Inside(i, j)) continue;
            double n = 0.65 * Smooth_Noise(i, j, scale, seed) + 0.35 * Noise_Hash(i, j, seed + 1);
            double f = 1.0 + amount * (2.0 * n - 1.0);
            Color c = picture.Get(i, j);
            picture.Set(i, j, Color{Clamp_Byte(c.r * f), Clamp_Byte(c.g * f), Clamp_Byte(c.b * f)});
        }
}

void Make_Opaque(Picture& picture, int x, int y, int w, int h) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) {
            if (!picture.Inside(i, j)) continue;
            Color c = picture.Get(i, j);
            if ((c.r >> 3) == 0 && (c.g >> 2) == 0 && (c.b >> 3) == 0) picture.Set(i, j, Near_Black);
        }
}

// Opened fonts by pattern and size, kept for the run of the generator and closed at its end.
static TTF_Font* Open_Font(const std::string& face_name, bool bold, int size) {
    struct Closer {
        void operator()(TTF_Font* f) const { TTF_CloseFont(f); }
    };
    static std::map<std::tuple<std::string, bool, int>, std::unique_ptr<TTF_Font, Closer>> fonts;
    auto key = std::make_tuple(face_name, bold, size);
    if (auto it = fonts.find(key); it != fonts.end()) return it->second.get();

    TTF_Font* font = nullptr;
    if (TTF_WasInit() || TTF_Init() == 0) {
        if (auto face = Resolve_Face(From_Utf8(face_name), bold))
            font = TTF_OpenFontIndex(face->file.c_str(), size, face->index);
    }
    fonts[key].reset(font);
    return font;
}

// Paints the alpha of a rendered text surface (ARGB8888) onto the picture, coloured per row.
static void Paint_Glyphs(Picture& picture, int x, int y, SDL_Surface* glyphs, Color top, Color bottom) {
    if (SDL_LockSurface(glyphs) != 0) return;
    const auto* bytes = static_cast<const uint8_t*>(glyphs->pixels);
    for (int j = 0; j < glyphs->h; ++j) {
        Color c = Mix(top, bottom, glyphs->h > 1 ? double(j) / (glyphs->h - 1) : 0.0);
        const auto* row = reinterpret_cast<const uint32_t*>(bytes + size_t(j) * size_t(glyphs->pitch));
        for (int i = 0; i < glyphs->w; ++i) {
            uint8_t r, g, b, a;
            SDL_GetRGBA(row[i], glyphs->format, &r, &g, &b, &a);
            if (a) Blend(picture, x + i, y + j, c, a / 255.0);
        }
    }
    SDL_UnlockSurface(glyphs);
}

bool Draw_Text(Picture& picture, int x, int y, const std::string& utf8, const Text_Style& style) {
    TTF_Font* font = Open_Font(style.font, style.bold, style.size);
    if (!font || utf8.empty()) return false;
    const SDL_Color white{255, 255, 255, 255};
    auto paint = [&](int outline, int dx, int dy, Color top, Color bottom) {
        TTF_SetFontOutline(font, outline);
        SDL_Surface* glyphs = TTF_RenderUTF8_Blended(font, utf8.c_str(), white);
        TTF_SetFontOutline(font, 0);
        if (!glyphs) return false;
        Paint_Glyphs(picture, x + dx - outline, y + dy - outline, glyphs, top, bottom);
        SDL_FreeSurface(glyphs);
        return true;
    };
    if (style.shadow) paint(style.outline, style.shadow, style.shadow, style.shadow_color, style.shadow_color);
    if (style.outline) paint(style.outline, 0, 0, style.outline_color, style.outline_color);
    return paint(0, 0, 0, style.top, style.bottom);
}

bool Draw_Text_Centred(Picture& picture, int cx, int cy, const std::string& utf8, const Text_Style& style) {
    TTF_Font* font = Open_Font(style.font, style.bold, style.size);
    int w = 0, h = 0;
    if (!font || TTF_SizeUTF8(font, utf8.c_str(), &w, &h) != 0) return false;
    return Draw_Text(picture, cx - w / 2, cy - h / 2, utf8, style);
}

void Save_Bmp(const Picture& picture, const std::string& host_path) {
    const std::string out = Encode_Bmp(picture.width, picture.height, [&](int32_t x, int32_t y) {
        const Color c = picture.Get(x, y);
        return Rgb(c.r, c.g, c.b);
    });
    std::ofstream file(host_path, std::ios::binary);
    if (!file || !file.write(out.data(), std::streamsize(out.size())))
        throw std::runtime_error("cannot write " + host_path);
}
