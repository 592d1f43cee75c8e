// bitmap.h -- pictures loaded from BMP files next to the program.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "display/surface.h"

// Loads the picture `name` (resolved against the program folder) into `surface` as RGB565 with
// colour_key as its key. A missing file raises error 200 with the name; a missing
// "images\err.bmp" ends the program; an unreadable picture raises error -32768.
void Load_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface);

// Decodes a BMP file into RGB565; nothing when it is not a BMP that can be read.
std::optional<Surface> Decode_Bmp(const std::string& host_path);
