// bitmap.cpp -- BMP files next to the program decoded into RGB565 surfaces.
#include "display/bitmap.h"

#include <SDL.h>

#include <cstring>

#include "platform/files.h"
#include "platform/program.h"

std::optional<Surface> Decode_Bmp(const std::string& host_path) {
    SDL_Surface* file = SDL_LoadBMP(host_path.c_str());
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
