// bitmap.h -- pictures loaded from BMP files next to the program.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/surface.h"

enum class Bitmap_Status { Loaded, Missing, Unreadable };

// Loads the picture `name` (resolved against the program folder) into `surface` as RGB565 with
// colour_key as its key. On failure the surface is left as it was and the caller decides what
// the failure means.
Bitmap_Status Load_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface);
// Load_Bitmap for pictures the game cannot do without: a missing one raises error 200 with the
// name, an unreadable one error -32768.
void Require_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface);

// The largest picture the game loads; every picture it ships is far smaller.
constexpr int64_t MAX_PICTURE_SIDE = 32767;   // source rectangles are 16-bit
constexpr int64_t MAX_PICTURE_PIXELS = int64_t(4096) * 4096;

struct Bmp_Size {
    int32_t width = 0, height = 0;
};
// The picture's size as a BMP file's first 26 bytes state it (rows stored either way up): what
// the game checks before it decodes anything. Nothing when the bytes are no BMP header, or state
// an empty picture or one larger than the limits above.
std::optional<Bmp_Size> Bmp_Header_Size(std::string_view bytes);

// Decodes a BMP file into RGB565; nothing when it is not a BMP that can be read, or its header
// states a picture larger than the limits above.
std::optional<Surface> Decode_Bmp(const std::string& host_path);
// The same for a file's bytes already in memory (what Decode_Bmp runs on the file it reads).
std::optional<Surface> Decode_Bmp_Bytes(const std::string& bytes);

// The bytes of a 24-bit BMP file of width x height pixels (rows bottom-up, padded to 4 bytes);
// color_at(x, y) gives each pixel as red + 256 x green + 65536 x blue.
std::string Encode_Bmp(int32_t width, int32_t height, const std::function<uint32_t(int32_t x, int32_t y)>& color_at);
// The same for a surface, its 16-bit pixels widened to 24 bits.
std::string Encode_Bmp(const Surface& picture);
