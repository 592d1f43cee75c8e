// surface.cpp -- pixel copies and fills. The keyed copy is the frame's hot loop: rows are copied
// chunk by chunk with the key blended in, without a branch on the pixels, with the widest vectors
// the processor offers.
#include "platform/surface.h"

#include <algorithm>
#include <cstring>

namespace {

// One copy after clipping: `rows` rows of `width` pixels, src at the rectangle's top-left pixel.
struct Copy_Job {
    uint16_t* dst;
    size_t dst_stride;
    const uint16_t* src;
    size_t src_stride;
    int64_t width, rows;
    uint16_t key;
};

using Lanes8 = uint16_t __attribute__((vector_size(16)));
using Lanes16 = uint16_t __attribute__((vector_size(32)));

template <class Lanes>
[[gnu::always_inline]] inline void Blend(Lanes& out, const uint16_t* d, const uint16_t* s, const Lanes& key) {
    Lanes source, dest;
    std::memcpy(&source, s, sizeof source);
    std::memcpy(&dest, d, sizeof dest);
    out = source == key ? dest : source;
}

// Columns a .. b - 1 of a row, at least one chunk wide: whole chunks, then a last chunk flush with
// b. That one is read before the row is written, so overlapping it never reads a half-written chunk.
template <class Lanes>
[[gnu::always_inline]] inline void Blend_Span(uint16_t* d, const uint16_t* s, int64_t a, int64_t b, const Lanes& key) {
    constexpr int64_t lanes = int64_t(sizeof(Lanes) / 2);
    Lanes last, chunk;
    Blend(last, d + b - lanes, s + b - lanes, key);
    for (int64_t i = a; i + lanes < b; i += lanes) {
        Blend(chunk, d + i, s + i, key);
        std::memcpy(d + i, &chunk, sizeof chunk);
    }
    std::memcpy(d + b - lanes, &last, sizeof last);
}

template <class Lanes>
[[gnu::always_inline]] inline void Keyed_Blend(const Copy_Job& job) {
    constexpr int64_t lanes = int64_t(sizeof(Lanes) / 2);
    const int64_t w = job.width;
    if (w < lanes) {
        for (int64_t row = 0; row < job.rows; ++row) {
            const uint16_t* s = job.src + size_t(row) * job.src_stride;
            uint16_t* d = job.dst + size_t(row) * job.dst_stride;
            for (int64_t i = 0; i < w; ++i)
                if (s[i] != job.key) d[i] = s[i];
        }
        return;
    }
    // Locals: the stores could otherwise be taken to change the job.
    const Lanes key = Lanes{} + job.key;
    uint16_t* d = job.dst;
    const uint16_t* s = job.src;
    const size_t dst_stride = job.dst_stride, src_stride = job.src_stride;
    for (int64_t row = job.rows; row > 0; --row, d += dst_stride, s += src_stride) Blend_Span(d, s, 0, w, key);
}

template <class Wide>
[[gnu::always_inline]] inline void Keyed_Copy(const Copy_Job& job) {
    if (job.width < int64_t(sizeof(Wide) / 2))
        Keyed_Blend<Lanes8>(job);
    else
        Keyed_Blend<Wide>(job);
}

void Keyed_Copy_Baseline(const Copy_Job& job) { Keyed_Copy<Lanes8>(job); }

[[gnu::target("avx2")]] void Keyed_Copy_Avx2(const Copy_Job& job) { Keyed_Copy<Lanes16>(job); }

// A mask painted after clipping: `rows` rows of `width` pixels, bits at the first one painted.
struct Mask_Job {
    uint16_t* dst;
    size_t dst_stride;
    const uint8_t* bits;
    size_t bits_stride;
    int64_t width, rows;
    uint16_t pixel;
};

using Bytes8 = uint8_t __attribute__((vector_size(8)));
using Bytes16 = uint8_t __attribute__((vector_size(16)));

// The mask bytes that go with a chunk of pixels.
template <class Lanes>
struct Mask_Bytes;
template <>
struct Mask_Bytes<Lanes8> {
    using Type = Bytes8;
};
template <>
struct Mask_Bytes<Lanes16> {
    using Type = Bytes16;
};

template <class Lanes>
[[gnu::always_inline]] inline void Paint(Lanes& out, const uint16_t* d, const uint8_t* m, const Lanes& pixel) {
    typename Mask_Bytes<Lanes>::Type cover;
    Lanes dest;
    std::memcpy(&cover, m, sizeof cover);
    std::memcpy(&dest, d, sizeof dest);
    out = __builtin_convertvector(cover, Lanes) != 0 ? pixel : dest;
}

// As Blend_Span: the last chunk, flush with the row's end, is read before the row is written.
template <class Lanes>
[[gnu::always_inline]] inline void Paint_Mask(const Mask_Job& job) {
    constexpr int64_t lanes = int64_t(sizeof(Lanes) / 2);
    const int64_t w = job.width;
    if (w < lanes) {
        for (int64_t row = 0; row < job.rows; ++row) {
            const uint8_t* m = job.bits + size_t(row) * job.bits_stride;
            uint16_t* d = job.dst + size_t(row) * job.dst_stride;
            for (int64_t i = 0; i < w; ++i)
                if (m[i]) d[i] = job.pixel;
        }
        return;
    }
    const Lanes pixel = Lanes{} + job.pixel;
    const uint8_t* m = job.bits;
    uint16_t* d = job.dst;
    const size_t bits_stride = job.bits_stride, dst_stride = job.dst_stride;
    for (int64_t row = job.rows; row > 0; --row, m += bits_stride, d += dst_stride) {
        Lanes last, chunk;
        Paint(last, d + w - lanes, m + w - lanes, pixel);
        for (int64_t i = 0; i + lanes < w; i += lanes) {
            Paint(chunk, d + i, m + i, pixel);
            std::memcpy(d + i, &chunk, sizeof chunk);
        }
        std::memcpy(d + w - lanes, &last, sizeof last);
    }
}

void Paint_Mask_Baseline(const Mask_Job& job) { Paint_Mask<Lanes8>(job); }

[[gnu::target("avx2")]] void Paint_Mask_Avx2(const Mask_Job& job) {
    if (job.width < 16)
        Paint_Mask<Lanes8>(job);
    else
        Paint_Mask<Lanes16>(job);
}

struct Copy_Paths {
    Vector_Width widest = Vector_Width::Baseline;
    void (*keyed)(const Copy_Job&) = Keyed_Copy_Baseline;
    void (*mask)(const Mask_Job&) = Paint_Mask_Baseline;
    Vector_Width used = Vector_Width::Baseline;

    Copy_Paths() {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) widest = Vector_Width::Avx2;
        Use(widest);
    }
    void Use(Vector_Width width) {
        used = width;
        keyed = width == Vector_Width::Avx2 ? Keyed_Copy_Avx2 : Keyed_Copy_Baseline;
        mask = width == Vector_Width::Avx2 ? Paint_Mask_Avx2 : Paint_Mask_Baseline;
    }
};

Copy_Paths& Paths() {
    static Copy_Paths paths;
    return paths;
}

}   // namespace

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

    const size_t first = size_t(top) * size_t(source.width) + size_t(left);
    Copy_Job job{&dest.pixels[size_t(dy) * size_t(dest.width) + size_t(dx)],
                 size_t(dest.width),
                 &source.pixels[first],
                 size_t(source.width),
                 right - left,
                 bottom - top,
                 source.color_key};
    const bool keyed = (flags & 1) != 0;
    if (&dest == &source) {
        // A copy inside one picture, rows in order (the only case where the two may overlap).
        for (int64_t row = 0; row < job.rows; ++row) {
            const uint16_t* s = job.src + size_t(row) * job.src_stride;
            uint16_t* d = job.dst + size_t(row) * job.dst_stride;
            if (!keyed) {
                std::memmove(d, s, size_t(job.width) * sizeof(uint16_t));
                continue;
            }
            for (int64_t i = 0; i < job.width; ++i)
                if (s[i] != job.key) d[i] = s[i];
        }
        return;
    }
    if (!keyed) {
        for (int64_t row = 0; row < job.rows; ++row)
            std::memcpy(job.dst + size_t(row) * job.dst_stride, job.src + size_t(row) * job.src_stride,
                        size_t(job.width) * sizeof(uint16_t));
        return;
    }
    Paths().keyed(job);
}

void BltColorFill(Surface& dest, Rect r, uint16_t pixel) {
    int32_t left = std::max(0, r.left), top = std::max(0, r.top);
    int32_t right = std::min(dest.width, r.right), bottom = std::min(dest.height, r.bottom);
    if (right <= left || bottom <= top) return;
    for (int32_t y = top; y < bottom; ++y)
        std::fill(&dest.pixels[size_t(y) * dest.width + left], &dest.pixels[size_t(y) * dest.width + right], pixel);
}

void Blit_Mask(Surface& dest, int64_t x, int64_t y, const uint8_t* bits, int32_t width, int32_t height,
               uint16_t pixel) {
    const int64_t x0 = std::max<int64_t>(0, x), x1 = std::min<int64_t>(dest.width, x + width);
    const int64_t y0 = std::max<int64_t>(0, y), y1 = std::min<int64_t>(dest.height, y + height);
    if (x1 <= x0 || y1 <= y0) return;
    const Mask_Job job{&dest.pixels[size_t(y0) * size_t(dest.width) + size_t(x0)],
                       size_t(dest.width),
                       bits + size_t(y0 - y) * size_t(width) + size_t(x0 - x),
                       size_t(width),
                       x1 - x0,
                       y1 - y0,
                       pixel};
    Paths().mask(job);
}

uint8_t Surface_Byte(const Surface& surface, int32_t row, int32_t byte_col) {
    if (row < 0 || row >= surface.height || byte_col < 0 || byte_col >= 2 * surface.width) return 0;
    uint16_t p = surface.At(byte_col / 2, row);
    return (byte_col & 1) ? uint8_t(p >> 8) : uint8_t(p & 0xFF);
}

Vector_Width Widest_Vector_Width() { return Paths().widest; }

Vector_Width Use_Vector_Width(Vector_Width width) {
    Copy_Paths& paths = Paths();
    const Vector_Width before = paths.used;
    if (width == Vector_Width::Baseline || paths.widest == Vector_Width::Avx2) paths.Use(width);
    return before;
}
