// surface.cpp -- pixel copies and fills. The keyed copy is the frame's hot loop: it is written so
// the compiler vectorises it.
#include "platform/surface.h"

#include <algorithm>

Surface Make_Surface(int32_t width, int32_t height, uint16_t fill) {
    Surface s;
    s.width = std::max(0, width);
    s.height = std::max(0, height);
    s.pixels.assign(size_t(s.width) * size_t(s.height), fill);
    return s;
}

uint16_t Color_To_Pixel(uint32_t color) {
    uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

uint32_t Pixel_To_Color(uint16_t p) {
    const uint32_t r = p >> 11, g = (p >> 5) & 0x3F, b = p & 0x1F;
    return Rgb(uint8_t(r * 255 / 31), uint8_t(g * 255 / 63), uint8_t(b * 255 / 31));
}

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(r) + 256u * g + 65536u * b; }

void BltFast(Surface& dest, int32_t x, int32_t y, const Surface& source, Rect r, int32_t flags) {
    // Cut the rectangle to the source, then the destination, moving the position with it.
    int64_t left = r.left, top = r.top, right = r.right, bottom = r.bottom;
    int64_t dx = x, dy = y;
    if (left < 0) {
        dx -= left;
        left = 0;
    }
    if (top < 0) {
        dy -= top;
        top = 0;
    }
    right = std::min<int64_t>(right, source.width);
    bottom = std::min<int64_t>(bottom, source.height);
    if (dx < 0) {
        left -= dx;
        dx = 0;
    }
    if (dy < 0) {
        top -= dy;
        dy = 0;
    }
    right = std::min<int64_t>(right, left + (dest.width - dx));
    bottom = std::min<int64_t>(bottom, top + (dest.height - dy));
    if (right <= left || bottom <= top) return;

    const int64_t w = right - left;
    const uint16_t key = source.color_key;
    const bool keyed = (flags & 1) != 0;
    for (int64_t row = 0; row < bottom - top; ++row) {
        const uint16_t* __restrict src = &source.pixels[size_t(top + row) * size_t(source.width) + size_t(left)];
        uint16_t* __restrict dst = &dest.pixels[size_t(dy + row) * size_t(dest.width) + size_t(dx)];
        if (keyed) {
            for (int64_t i = 0; i < w; ++i) dst[i] = src[i] == key ? dst[i] : src[i];
        } else {
            std::copy(src, src + w, dst);
        }
    }
}

void BltColorFill(Surface& dest, Rect r, uint16_t pixel) {
    int32_t left = std::max(0, r.left), top = std::max(0, r.top);
    int32_t right = std::min(dest.width, r.right), bottom = std::min(dest.height, r.bottom);
    if (right <= left || bottom <= top) return;
    for (int32_t y = top; y < bottom; ++y)
        std::fill(&dest.pixels[size_t(y) * dest.width + left], &dest.pixels[size_t(y) * dest.width + right], pixel);
}

uint8_t Surface_Byte(const Surface& surface, int32_t row, int32_t byte_col) {
    if (row < 0 || row >= surface.height || byte_col < 0 || byte_col >= 2 * surface.width) return 0;
    uint16_t p = surface.At(byte_col / 2, row);
    return (byte_col & 1) ? uint8_t(p >> 8) : uint8_t(p & 0xFF);
}
