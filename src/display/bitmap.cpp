// bitmap.cpp -- BMP files next to the program decoded into RGB565 surfaces.
#include "display/bitmap.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "platform/program.h"

namespace {

uint32_t Le32(std::string_view b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

// The pictures the game ships are uncompressed 24-bit BMPs: those are read here in one pass,
// each pixel's channels cut to 5, 6 and 5 bits as SDL's conversion does. Anything else (other
// depths, compression, palettes, a file that does not hold what its header says) is nothing
// here and goes to SDL.
std::optional<Surface> Decode_Plain_Bmp(const std::string& b) {
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return std::nullopt;
    const uint32_t offset = Le32(b, 10), header = Le32(b, 14);
    if (header != 40 && header != 108 && header != 124) return std::nullopt;   // the Windows 3, 4 and 5 headers
    const int32_t width = int32_t(Le32(b, 18)), height = int32_t(Le32(b, 22));
    if (Le16(b, 26) != 1 || Le16(b, 28) != 24 || Le32(b, 30) != 0) return std::nullopt;   // planes, bits, BI_RGB
    if (width <= 0 || height == 0 || height == INT32_MIN || width > 0x7FFF || height > 0x7FFF || height < -0x7FFF)
        return std::nullopt;
    const bool bottom_up = height > 0;
    const uint32_t rows = uint32_t(bottom_up ? height : -height);
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (offset < 14 + header || offset > b.size() || (b.size() - offset) / stride < rows) return std::nullopt;
    Surface s = Make_Surface(width, int32_t(rows));
    for (uint32_t y = 0; y < rows; ++y) {
        const auto* in =
            reinterpret_cast<const uint8_t*>(b.data()) + offset + size_t(bottom_up ? rows - 1 - y : y) * stride;
        uint16_t* out = &s.pixels[size_t(y) * size_t(width)];
        for (int32_t x = 0; x < width; ++x, in += 3)
            out[x] = uint16_t((in[2] >> 3) << 11 | (in[1] >> 2) << 5 | in[0] >> 3);
    }
    return s;
}

}   // namespace

// Read before the decoder allocates for the picture: a damaged header of a few bytes must not
// make the game ask for gigabytes.
std::optional<Bmp_Size> Bmp_Header_Size(std::string_view bytes) {
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return std::nullopt;
    int64_t width, height;
    if (Le32(bytes, 14) == 12) {   // the old core header: 16-bit sides
        width = Le32(bytes, 18) & 0xFFFF;
        height = Le32(bytes, 20) & 0xFFFF;
    } else {
        width = int32_t(Le32(bytes, 18));
        height = int32_t(Le32(bytes, 22));
    }
    if (height < 0) height = -height;   // rows stored top-down
    if (width <= 0 || height <= 0 || width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE ||
        width * height > MAX_PICTURE_PIXELS)
        return std::nullopt;
    return Bmp_Size{int32_t(width), int32_t(height)};
}

std::optional<Surface> Decode_Bmp_Bytes(const std::string& bytes) {
    if (!Bmp_Header_Size(bytes)) return std::nullopt;
    if (std::optional<Surface> plain = Decode_Plain_Bmp(bytes)) return plain;
    SDL_RWops* source = SDL_RWFromConstMem(bytes.data(), int(std::min<size_t>(bytes.size(), INT32_MAX)));
    if (!source) return std::nullopt;
    SDL_Surface* file = SDL_LoadBMP_RW(source, 1);
    if (!file) return std::nullopt;
    SDL_Surface* rgb565 = SDL_ConvertSurfaceFormat(file, SDL_PIXELFORMAT_RGB565, 0);
    SDL_FreeSurface(file);
    if (!rgb565) return std::nullopt;

    std::optional<Surface> out;
    if (SDL_LockSurface(rgb565) == 0) {
        Surface decoded = Make_Surface(rgb565->w, rgb565->h);
        const auto* rows = static_cast<const uint8_t*>(rgb565->pixels);
        for (int32_t y = 0; y < decoded.height; ++y)
            std::memcpy(&decoded.pixels[size_t(y) * size_t(decoded.width)], rows + size_t(y) * size_t(rgb565->pitch),
                        size_t(decoded.width) * sizeof(uint16_t));
        SDL_UnlockSurface(rgb565);
        out = std::move(decoded);
    }
    SDL_FreeSurface(rgb565);
    return out;
}

std::optional<Surface> Decode_Bmp(const std::string& host_path) {
    const std::optional<std::string> bytes = Read_Whole_File(host_path);
    if (!bytes) return std::nullopt;
    return Decode_Bmp_Bytes(*bytes);
}

std::string Encode_Bmp(int32_t width, int32_t height, const std::function<uint32_t(int32_t x, int32_t y)>& color_at) {
    const uint32_t w = uint32_t(std::max(0, width)), h = uint32_t(std::max(0, height));
    const uint32_t stride = (w * 3 + 3) & ~3u;
    std::string bmp = "BM";
    bmp.reserve(54 + size_t(stride) * h);
    // File header, then the 40-byte info header: one plane, 24 bits, no compression, 72 dpi.
    for (const uint32_t v : {54 + stride * h, 0u, 54u, 40u, w, h, 1u | 24u << 16, 0u, stride * h, 2835u, 2835u, 0u, 0u})
        bmp.append({char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF), char(v >> 24)});
    for (uint32_t y = h; y-- > 0;) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t c = color_at(int32_t(x), int32_t(y));
            bmp.append({char((c >> 16) & 0xFF), char((c >> 8) & 0xFF), char(c & 0xFF)});
        }
        bmp.append(stride - w * 3, '\0');
    }
    return bmp;
}

std::string Encode_Bmp(const Surface& picture) {
    return Encode_Bmp(picture.width, picture.height,
                      [&](int32_t x, int32_t y) { return Pixel_To_Color(picture.At(x, y)); });
}

Bitmap_Status Load_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface) {
    const std::optional<std::string> full_path = Resolve_Program_File(name);
    if (!full_path) return Bitmap_Status::Missing;
    std::optional<Surface> decoded = Decode_Bmp(*full_path);
    if (!decoded) return Bitmap_Status::Unreadable;
    decoded->color_key = colour_key;
    surface = std::move(*decoded);
    return Bitmap_Status::Loaded;
}

void Require_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface) {
    switch (Load_Bitmap(name, colour_key, surface)) {
        case Bitmap_Status::Loaded: return;
        case Bitmap_Status::Missing: Raise_Error(ERROR_FILE_MISSING, name);
        case Bitmap_Status::Unreadable: Raise_Error(ERROR_OTHER, u"壞的圖檔 : " + name);
    }
}
