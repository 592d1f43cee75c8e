// bitmap.h -- pictures loaded from BMP files next to the program.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/surface.h"

enum class Bitmap_Status { Loaded, Missing, Unreadable };

// Loads the picture `name` (resolved against the program folder) into `surface` as RGB565 with
// colour_key as its key. On failure the surface is left as it was and the caller decides what
// the failure means.
Bitmap_Status Load_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface);
// Load_Bitmap for pictures the game cannot do without: a missing one raises error 200 with the
// name, an unreadable one error -32768.
void Require_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface);

// Decodes a BMP file into RGB565; nothing when it is not a BMP that can be read.
std::optional<Surface> Decode_Bmp(const std::string& host_path);
