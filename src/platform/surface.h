// surface.h -- 16-bit RGB565 pictures and the copies between them (the display's surfaces).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Left, top, right, bottom; right and bottom exclusive.
struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const Rect&) const = default;
};

// A picture in the display's pixel format. Pixel value 0 (black) is the colour key of every
// picture the program loads.
struct Surface {
    int32_t width = 0, height = 0;
    std::vector<uint16_t> pixels;   // row by row, width pixels each
    uint16_t color_key = 0;

    uint16_t& At(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    uint16_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// How BltFast copies: 16 every pixel, 17 all but the pixels equal to the source's colour key.
enum : int32_t { BLTFAST_WAIT = 16, BLTFAST_SRCCOLORKEY_WAIT = 17 };

Surface Make_Surface(int32_t width, int32_t height, uint16_t fill = 0);

// A colour red + 256 x green + 65536 x blue, as the 16-bit pixel the display stores.
uint16_t Color_To_Pixel(uint32_t color);
// A stored pixel widened back to a colour, each channel scaled to 0..255.
uint32_t Pixel_To_Color(uint16_t pixel);
uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b);

// Copies the source rectangle to (x, y). Callers clip to the screen first; whatever still lies
// outside either surface (damaged data) is left out rather than read or written.
void BltFast(Surface& dest, int32_t x, int32_t y, const Surface& source, Rect source_rect, int32_t flags);
// Fills a rectangle with a raw pixel value, cut to the surface.
void BltColorFill(Surface& dest, Rect rect, uint16_t pixel);
// Paints `pixel` wherever a mask of width x height bytes (row by row, nonzero where it covers)
// covers, its top-left corner at (x, y), cut to the surface. Text is drawn with it.
void Blit_Mask(Surface& dest, int64_t x, int64_t y, const uint8_t* bits, int32_t width, int32_t height, uint16_t pixel);
// Byte column byte_col of row `row` as stored (two bytes a pixel, low byte first); 0 outside.
uint8_t Surface_Byte(const Surface& surface, int32_t row, int32_t byte_col);

// The vector instructions the copies use: the widest the processor has, chosen at start. Tests
// switch to the narrower ones to check every path.
enum class Vector_Width : uint8_t { Baseline, Avx2 };
Vector_Width Widest_Vector_Width();
// Returns the width in use before; a width the processor lacks is refused (the old one stays).
Vector_Width Use_Vector_Width(Vector_Width width);
