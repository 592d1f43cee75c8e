// png.h -- PNG pictures through libpng: previews written, authors' tile pictures read.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/surface.h"

// 8-bit red, green, blue, alpha, row by row.
struct Rgba_Picture {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// A 24-bit PNG file of the surface.
std::string Encode_Png(const Surface& picture);
// A PNG file with alpha.
std::string Encode_Png(const Rgba_Picture& picture);
// Any PNG libpng reads, as RGBA; nothing (with the reason in `why`) when it is not one, or it is
// larger than the game's pictures may be.
std::optional<Rgba_Picture> Decode_Png(const std::string& bytes, std::string& why);
