// picture.h -- 24-bit pictures the content generator paints and saves as BMP files.
// Pure black (0, 0, 0) is see-through when the game copies a picture with its colour key; any
// colour whose 16-bit form is not 0 is drawn, so opaque dark areas use Near_Black or lighter.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Color {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

constexpr Color Transparent{0, 0, 0};
constexpr Color Near_Black{8, 8, 8};   // the darkest colour that survives the 16-bit colour key

struct Picture {
    int width = 0, height = 0;
    std::vector<Color> pixels;

    Picture() = default;
    Picture(int w, int h, Color fill = Transparent) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // Writes outside the picture are ignored, reads outside give Transparent.
    void Set(int x, int y, Color c) {
        if (Inside(x, y)) pixels[size_t(y) * size_t(width) + size_t(x)] = c;
    }
    Color Get(int x, int y) const { return Inside(x, y) ? pixels[size_t(y) * size_t(width) + size_t(x)] : Transparent; }
    void Fill_Rect(int x, int y, int w, int h, Color c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) Set(i, j, c);
    }
    // Copies another picture's pixels in, skipping its Transparent ones.
    void Paste(const Picture& src, int x, int y) {
        for (int j = 0; j < src.height; ++j)
            for (int i = 0; i < src.width; ++i)
                if (!(src.Get(i, j) == Transparent)) Set(x + i, y + j, src.Get(i, j));
    }
};

// Painting helpers shared by the generator's pictures. Everything outside the picture is ignored.

// a + (b - a) * t, t from 0 to 1.
Color Mix(Color a, Color b, double t);
// Paints c over the pixel with opacity alpha (0 to 1).
void Blend(Picture& picture, int x, int y, Color c, double alpha);
// Rows from top to bottom colour.
void Vertical_Gradient(Picture& picture, int x, int y, int w, int h, Color top, Color bottom);
// A one-pixel line, end points included.
void Draw_Line(Picture& picture, int x0, int y0, int x1, int y1, Color c);
// The rectangle (x, y, w, h) with its corners rounded off by radius; corners stay untouched.
void Fill_Rounded_Rect(Picture& picture, int x, int y, int w, int h, int radius, Color c);
// True when (px, py) lies in the rounded rectangle of Fill_Rounded_Rect.
bool In_Rounded_Rect(int px, int py, int x, int y, int w, int h, int radius);
// A one-pixel frame: light on the top and left edges, dark on the bottom and right (raised);
// swap them for a sunken frame.
void Draw_Bevel(Picture& picture, int x, int y, int w, int h, Color light, Color dark);
void Fill_Ellipse(Picture& picture, int cx, int cy, int rx, int ry, Color c);
// A diamond (rhombus) centred on (cx, cy) with half-width rx and half-height ry.
void Fill_Diamond(Picture& picture, int cx, int cy, int rx, int ry, Color c);
// Smooth deterministic noise in 0..1 (value noise on a grid of `scale` pixels).
double Smooth_Noise(double x, double y, int scale, uint32_t seed);
// A deterministic pseudo-random number in 0..1 for a cell and seed.
double Noise_Hash(int x, int y, uint32_t seed);
// Multiplies each pixel of the area by a noise grain of +-amount (0..1), for stone or cloth.
void Add_Grain(Picture& picture, int x, int y, int w, int h, double amount, int scale, uint32_t seed);
// Replaces every pixel of the area whose 16-bit form would be 0 (see-through) by Near_Black.
void Make_Opaque(Picture& picture, int x, int y, int w, int h);

// Text drawn with a system font (a face name such as "DejaVu Serif"), anti-aliased,
// filled with a vertical gradient, with an optional outline and drop shadow.
struct Text_Style {
    std::string font = "DejaVu Sans";   // a face name, found through fontconfig
    bool bold = false;
    int size = 16;   // pixels
    Color top{255, 255, 255}, bottom{255, 255, 255};
    int outline = 0;   // outline width in pixels, 0 for none
    Color outline_color = Near_Black;
    int shadow = 0;   // shadow offset in pixels, 0 for none
    Color shadow_color = Near_Black;
};
// Draws the UTF-8 text with its top-left corner at (x, y). False (and nothing drawn) when the
// font cannot be found or opened, so pictures degrade to plain ornaments on a bare system.
bool Draw_Text(Picture& picture, int x, int y, const std::string& utf8, const Text_Style& style);
// Draws the text centred on (cx, cy).
bool Draw_Text_Centred(Picture& picture, int cx, int cy, const std::string& utf8, const Text_Style& style);

// Writes the picture as an uncompressed 24-bit BMP; throws std::runtime_error when it cannot.
void Save_Bmp(const Picture& picture, const std::string& host_path);

// The two halves of the bundled content; out_dir is the program folder (images/ and data/ go under it).
void Make_Ui_Pictures(const std::string& out_dir);
void Make_World(const std::string& out_dir);
