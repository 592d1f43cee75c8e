// bitmap.cpp -- BMP files next to the program decoded into RGB565 surfaces.
#include "loading/bitmap.h"

#include <SDL.h>

#include <cstring>

#include "errors/errors.h"
#include "platform/files.h"
#include "platform/platform.h"

static const std::u16string ERROR_PICTURE = u"images\\err.bmp";

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

void Load_Bitmap(const std::u16string& name, uint16_t colour_key, Surface& surface) {
    const std::optional<std::string> full_path = Resolve_Program_File(name);
    if (!full_path) {
        // The error screen itself needs this picture: without it there is nothing left to show.
        if (name == ERROR_PICTURE) Quit_Program();
        Raise_Error(200, name);
    }

    std::optional<Surface> decoded = Decode_Bmp(*full_path);
    if (!decoded) {
        // A damaged error picture would send the error screen straight back here.
        if (name == ERROR_PICTURE) Quit_Program();
        Raise_Error(-32768, u"壞的圖檔 : " + name);
    }
    decoded->color_key = colour_key;
    surface = std::move(*decoded);
}
