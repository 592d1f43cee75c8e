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
    // Made by Prepare_Keyed_Copy when a picture is loaded, so keyed copies move whole runs of
    // shown pixels and skip the keyed ones unread: per pixel, the length of the run it starts, less
    // one (runs longer than 128 are counted as 128), with RUN_KEYED added for a run of key pixels.
    // Used only while the key and the pixel storage are the ones it was made for; whoever changes
    // pixels in place afterwards prepares again.
    std::vector<uint8_t> runs;
    uint16_t runs_key = 0;
    const uint16_t* runs_pixels = nullptr;

    uint16_t& At(int32_t x, int32_t y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    uint16_t At(int32_t x, int32_t y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

constexpr uint8_t RUN_KEYED = 0x80;

// Copy flags of BltFast: 16 copies every pixel, 17 skips pixels equal to the source's colour key.
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
// Byte column byte_col of row `row` as stored (two bytes a pixel, low byte first); 0 outside.
uint8_t Surface_Byte(const Surface& surface, int32_t row, int32_t byte_col);

// Finds the runs of the surface's pixels for its current colour key (see Surface::runs).
void Prepare_Keyed_Copy(Surface& surface);
bool Keyed_Copy_Prepared(const Surface& surface);

// The vector instructions the copies use: the widest the processor has, chosen at start. Tests
// switch to the narrower ones to check every path.
enum class Vector_Width : uint8_t { Baseline, Avx2 };
Vector_Width Widest_Vector_Width();
// Returns the width in use before; a width the processor lacks is refused (the old one stays).
Vector_Width Use_Vector_Width(Vector_Width width);
