// text.h -- fonts found by face name (platform/fonts.h), strings rendered once into glyph masks and kept in a cache.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fonts.h"   // Resolve_Face: the file behind a face name
#include "platform/surface.h"

// A font object: face name, size in points (at 96 dpi) and weight.
struct Font_Spec {
    std::u16string face;
    int16_t size = 12;
    bool bold = false;
    bool operator==(const Font_Spec&) const = default;
};

// The pixels a string covers in one font: 1 where a glyph is, 0 elsewhere. Colour comes at blit time.
struct Text_Mask {
    int32_t width = 0, height = 0;
    int32_t top = 0;             // the first row's place below the drawing position (< 0: above)
    std::vector<uint8_t> bits;   // row by row, width bytes each
    double measured_width = 0;   // the text's advance width (what Text_Width reports)
    double line_height = 0;      // the font's height (what Text_Height reports)
    // The mask moved one pixel left, right, up and down, all four at once: (width + 2) x (height
    // + 2) bytes from one pixel left of and above the mask's own corner (Make_Outline). An outlined
    // text then takes two paintings instead of five.
    std::vector<uint8_t> outline;
};

// The mask of text in font, rendered on first use and then taken from the cache. Null when the
// font cannot be opened (reported once on stderr). The pointer stays valid until the next call.
// Only the first TEXT_RENDER_LIMIT units are rendered; the measured width covers all of it.
const Text_Mask* Find_Text_Mask(const Font_Spec& font, const std::u16string& text);
constexpr size_t TEXT_RENDER_LIMIT = 4096;

// Makes mask.outline from mask.bits; the cache does it for every string it renders.
void Make_Outline(Text_Mask& mask);
// What Blit_Text_Mask at (x - 1, y), (x + 1, y), (x, y - 1) and (x, y + 1) paints, in one painting
// of the outline (those four where the mask has none).
void Blit_Text_Outline(Surface& dest, int32_t x, int32_t y, const Text_Mask& mask, uint16_t pixel);

// Paints the mask's pixels for text drawn at (x, y) with pixel, cut to the surface.
void Blit_Text_Mask(Surface& dest, int32_t x, int32_t y, const Text_Mask& mask, uint16_t pixel);

// The cache of rendered strings: bounded by entries and bytes, least recently used goes first.
constexpr size_t TEXT_CACHE_MAX_ENTRIES = 4096;
constexpr size_t TEXT_CACHE_MAX_BYTES = size_t(32) << 20;
void Clear_Text_Cache();
size_t Text_Cache_Entries();
size_t Text_Cache_Bytes();
// How many strings have been rasterised since the program started (a cache miss each).
uint64_t Text_Renders();
