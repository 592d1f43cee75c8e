// preview.cpp -- rendering a whole map to one picture, and the PNG encoder.
#include "tools/isodata/preview.h"

#include <algorithm>
#include <array>

#include "display/bitmap.h"
#include "platform/encoding.h"
#include "scene/scene.h"
#include "tools/isodata/pictures.h"

Preview Render_Map(const Map_Model& map, const std::string& program_folder) {
    // The extent of everything drawn, with the tile origin of (x, y) at (20 (x - y), 10 (x + y)).
    int64_t left = 0, top = 0, right = 40, bottom = 20;
    auto include = [&](int64_t x, int64_t y, int64_t w, int64_t h) {
        if (w <= 0 || h <= 0) return;
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + w);
        bottom = std::max(bottom, y + h);
    };
    for (int32_t y = 0; y < map.Map_Height; ++y)
        for (int32_t x = 0; x < map.Map_Width; ++x) {
            const int64_t ox = Tile_Left(x, y), oy = Tile_Top(x, y);
            include(ox, oy, 40, 20);
            for (const Cell_Grid<Piece_Cell>* grid : {&map.Object_Grid, &map.Overlay_Grid}) {
                const Piece_Cell& p = (*grid)(x, y);
                if (p.present != 0) include(ox + p.offset_x, oy + p.offset_y, p.width, p.height);
            }
        }
    const int64_t width = right - left, height = bottom - top;
    if (width * height > MAX_PREVIEW_PIXELS)
        throw std::runtime_error("the picture would be " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels, more than " + std::to_string(MAX_PREVIEW_PIXELS));

    Preview out;
    out.picture = Make_Surface(int32_t(width), int32_t(height));
    out.shift_x = int32_t(-left);
    out.shift_y = int32_t(-top);

    std::vector<Surface> images;
    for (const Map_Image& image : map.Map_Images) {
        std::string why;
        std::optional<std::string> path = Resolve_In_Program_Folder(image.file_name, program_folder, why);
        std::optional<Surface> picture = path ? Decode_Bmp(*path) : std::nullopt;
        if (!picture) {
            out.warnings.push_back("picture \"" + To_Utf8(image.file_name) + "\" " +
                                   (path ? "cannot be decoded" : "not found: " + why) + "; its pieces are left out");
            picture = Surface{};
        }
        images.push_back(std::move(*picture));
    }
    auto image_of = [&](int16_t id) -> const Surface& { return images[size_t(Find_Image_Index(map, id))]; };
    // A piece of a picture at the tile origin of (x, y) plus an offset, keyed on black.
    auto draw = [&](int32_t x, int32_t y, int32_t offset_x, int32_t offset_y, const Surface& source, Rect rect) {
        BltFast(out.picture, Tile_Left(x, y) + out.shift_x + offset_x, Tile_Top(x, y) + out.shift_y + offset_y, source,
                rect, BLTFAST_SRCCOLORKEY_WAIT);
    };
    if (images.empty()) return out;
    for (int32_t y = 0; y < map.Map_Height; ++y)
        for (int32_t x = 0; x < map.Map_Width; ++x) {
            const Ground_Cell& g = map.Ground_Grid(x, y);
            draw(x, y, 0, 0, image_of(g.image_id), Rect{g.source_x, g.source_y, g.source_x + 40, g.source_y + 20});
        }
    for (const Cell_Grid<Piece_Cell>* grid : {&map.Object_Grid, &map.Overlay_Grid})
        for (int32_t y = 0; y < map.Map_Height; ++y)
            for (int32_t x = 0; x < map.Map_Width; ++x) {
                const Piece_Cell& p = (*grid)(x, y);
                if (p.present == 0) continue;
                draw(x, y, p.offset_x, p.offset_y, image_of(p.image_id),
                     Rect{p.source_x, p.source_y, p.source_x + p.width, p.source_y + p.height});
            }
    return out;
}

namespace {

void Put32_Be(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((v >> shift) & 0xFF);
}

uint32_t Crc32(const std::string& data, size_t from) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = from; i < data.size(); ++i) c = table[(c ^ uint8_t(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void Put_Chunk(std::string& png, const char* type, const std::string& data) {
    Put32_Be(png, uint32_t(data.size()));
    const size_t start = png.size();
    png += type;
    png += data;
    Put32_Be(png, Crc32(png, start));
}

}   // namespace

std::string Encode_Png(const Surface& picture) {
    // Scanlines: filter byte 0, then RGB.
    std::string raw;
    raw.reserve(size_t(picture.height) * (size_t(picture.width) * 3 + 1));
    for (int32_t y = 0; y < picture.height; ++y) {
        raw += '\0';
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint32_t c = Pixel_To_Color(picture.At(x, y));
            raw.append({char(c & 0xFF), char((c >> 8) & 0xFF), char((c >> 16) & 0xFF)});
        }
    }
    // zlib: header, stored deflate blocks of at most 65535 bytes, Adler-32.
    std::string z = "\x78\x01";
    size_t at = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - at);
        const bool last = at + n == raw.size();
        z += char(last ? 1 : 0);
        z += char(n & 0xFF);
        z += char(n >> 8);
        z += char(~n & 0xFF);
        z += char((~n >> 8) & 0xFF);
        z.append(raw, at, n);
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (char ch : raw) {
        a = (a + uint8_t(ch)) % 65521;
        b = (b + a) % 65521;
    }
    Put32_Be(z, (b << 16) | a);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    Put32_Be(ihdr, uint32_t(picture.width));
    Put32_Be(ihdr, uint32_t(picture.height));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);   // 8 bits, RGB, deflate, no filter choice, no interlace
    Put_Chunk(png, "IHDR", ihdr);
    Put_Chunk(png, "IDAT", z);
    Put_Chunk(png, "IEND", "");
    return png;
}
