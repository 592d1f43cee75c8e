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

// Writes the picture as an uncompressed 24-bit BMP; throws std::runtime_error when it cannot.
void Save_Bmp(const Picture& picture, const std::string& host_path);

// The two halves of the bundled content; out_dir is the program folder (images/ and data/ go under it).
void Make_Ui_Pictures(const std::string& out_dir);
void Make_World(const std::string& out_dir);
