// surface.cpp -- pixel copies and fills. The keyed copy is the frame's hot loop: prepared pictures
// are copied run by run (shown runs stored whole, keyed runs skipped unread), others chunk by chunk
// with the key blended in, each with the widest vectors the processor offers.
#include "platform/surface.h"

#include <algorithm>
#include <cstring>

namespace {

// One copy after clipping: `rows` rows of `width` pixels. src and runs point at the rectangle's
// top-left pixel and share the source's stride; runs is null when the source is not prepared.
struct Copy_Job {
    uint16_t* dst;
    size_t dst_stride;
    const uint16_t* src;
    const uint8_t* runs;
    size_t src_stride;
    int64_t width, rows;
    uint16_t key;
};

// n >= 1 shown pixels, stored whole; the destination is never read. Pieces of `bytes` may
// overlap the piece before, which rewrites the same values.
template <size_t bytes>
[[gnu::always_inline]] inline void Copy_Run(uint16_t* d, const uint16_t* s, int64_t n) {
    constexpr int64_t lanes = int64_t(bytes / 2);
    if (n >= lanes) {
        int64_t i = 0;
        for (; i + lanes < n; i += lanes) std::memcpy(d + i, s + i, bytes);
        std::memcpy(d + n - lanes, s + n - lanes, bytes);
    } else if (lanes > 8 && n >= 8) {
        std::memcpy(d, s, 16);
        std::memcpy(d + n - 8, s + n - 8, 16);
    } else if (n >= 4) {
        std::memcpy(d, s, 8);
        std::memcpy(d + n - 4, s + n - 4, 8);
    } else if (n >= 2) {
        std::memcpy(d, s, 4);
        std::memcpy(d + n - 2, s + n - 2, 4);
    } else {
        d[0] = s[0];
    }
}

template <size_t bytes>
[[gnu::always_inline]] inline void Keyed_Runs(const Copy_Job& job) {
    const int64_t w = job.width;
    for (int64_t row = 0; row < job.rows; ++row) {
        __builtin_prefetch(job.dst + size_t(row) * job.dst_stride, 1);
        __builtin_prefetch(job.dst + size_t(row) * job.dst_stride + w - 1, 1);
    }
    for (int64_t row = 0; row < job.rows; ++row) {
        const uint16_t* s = job.src + size_t(row) * job.src_stride;
        const uint8_t* runs = job.runs + size_t(row) * job.src_stride;
        uint16_t* d = job.dst + size_t(row) * job.dst_stride;
        int64_t x = 0;
        while (x < w) {
            const uint8_t run = runs[x];
            const int64_t n = (run & ~RUN_KEYED) + 1;
            if (run & RUN_KEYED) {
                x += n;
                continue;
            }
            const int64_t end = std::min(x + n, w);
            Copy_Run<bytes>(d + x, s + x, end - x);
            x = end;
        }
    }
}

using Lanes8 = uint16_t __attribute__((vector_size(16)));
using Lanes16 = uint16_t __attribute__((vector_size(32)));

template <class Lanes>
[[gnu::always_inline]] inline void Blend(Lanes& out, const uint16_t* d, const uint16_t* s, const Lanes& key) {
    Lanes source, dest;
    std::memcpy(&source, s, sizeof source);
    std::memcpy(&dest, d, sizeof dest);
    const Lanes hidden = (Lanes)(source == key);
    out = (source & ~hidden) | (dest & hidden);
}

// Rows at least one chunk wide: whole chunks, then a last chunk flush with the row's end. That
// one is read before the row is written, so overlapping it never reads a half-written chunk.
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
    const Lanes key = Lanes{} + job.key;
    for (int64_t row = 0; row < job.rows; ++row) {
        const uint16_t* s = job.src + size_t(row) * job.src_stride;
        uint16_t* d = job.dst + size_t(row) * job.dst_stride;
        Lanes last, chunk;
        Blend(last, d + w - lanes, s + w - lanes, key);
        for (int64_t i = 0; i + lanes < w; i += lanes) {
            Blend(chunk, d + i, s + i, key);
            std::memcpy(d + i, &chunk, sizeof chunk);
        }
        std::memcpy(d + w - lanes, &last, sizeof last);
    }
}

void Keyed_Copy_Baseline(const Copy_Job& job) {
    if (job.runs)
        Keyed_Runs<16>(job);
    else
        Keyed_Blend<Lanes8>(job);
}

[[gnu::target("avx2")]] void Keyed_Copy_Avx2(const Copy_Job& job) {
    if (job.runs)
        Keyed_Runs<32>(job);
    else
        Keyed_Blend<Lanes16>(job);
}

struct Copy_Paths {
    Vector_Width widest = Vector_Width::Baseline;
    void (*keyed)(const Copy_Job&) = Keyed_Copy_Baseline;
    Vector_Width used = Vector_Width::Baseline;

    Copy_Paths() {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2")) widest = Vector_Width::Avx2;
        Use(widest);
    }
    void Use(Vector_Width width) {
        used = width;
        keyed = width == Vector_Width::Avx2 ? Keyed_Copy_Avx2 : Keyed_Copy_Baseline;
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
                 nullptr,
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
    if (Keyed_Copy_Prepared(source)) job.runs = &source.runs[first];
    Paths().keyed(job);
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

void Prepare_Keyed_Copy(Surface& surface) {
    surface.runs.clear();
    surface.runs_pixels = nullptr;
    const size_t w = size_t(surface.width);
    if (w == 0 || surface.pixels.size() != w * size_t(surface.height)) return;
    surface.runs.resize(surface.pixels.size());
    const uint16_t key = surface.color_key;
    for (size_t row = 0; row < size_t(surface.height); ++row) {
        const uint16_t* p = &surface.pixels[row * w];
        uint8_t* runs = &surface.runs[row * w];
        // From the right, so each pixel learns how long its run goes on.
        uint32_t length = 0;
        bool keyed = false;
        for (size_t x = w; x-- > 0;) {
            const bool here = p[x] == key;
            length = here == keyed ? std::min(length + 1, 128u) : 1;
            keyed = here;
            runs[x] = uint8_t((length - 1) | (keyed ? RUN_KEYED : 0));
        }
    }
    surface.runs_key = key;
    surface.runs_pixels = surface.pixels.data();
}

bool Keyed_Copy_Prepared(const Surface& surface) {
    return !surface.runs.empty() && surface.runs.size() == surface.pixels.size() &&
           surface.runs_key == surface.color_key && surface.runs_pixels == surface.pixels.data();
}

Vector_Width Widest_Vector_Width() { return Paths().widest; }

Vector_Width Use_Vector_Width(Vector_Width width) {
    Copy_Paths& paths = Paths();
    const Vector_Width before = paths.used;
    if (width == Vector_Width::Baseline || paths.widest == Vector_Width::Avx2) paths.Use(width);
    return before;
}
