// bitmap.cpp -- picture loading as the game does it, on any bytes: the BMP decoder gives an RGB565
// surface of its stated size or nothing; the surface is drawn keyed onto a back buffer across its
// edges; a small picture encoded again decodes to the same pixels.
#include "display/bitmap.h"

#include "fuzz/fuzz.h"
#include "platform/surface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::optional<Surface> picture = Decode_Bmp_Bytes(Fuzz_Bytes(data, size));
    if (!picture) return 0;
    Fuzz_Require(picture->width >= 0 && picture->height >= 0 &&
                     picture->pixels.size() == size_t(picture->width) * size_t(picture->height),
                 "a decoded picture holds width x height pixels");
    picture->color_key = 0;
    static Surface back_buffer = Make_Surface(640, 480);
    const Rect whole{0, 0, picture->width, picture->height};
    for (auto [x, y] : {std::pair{0, 0}, std::pair{-7, -3}, std::pair{630, 475}})
        BltFast(back_buffer, x, y, *picture, whole, BLTFAST_SRCCOLORKEY_WAIT);
    if (picture->pixels.size() <= 4096) {
        const std::optional<Surface> again = Decode_Bmp_Bytes(Encode_Bmp(*picture));
        Fuzz_Require(again && again->width == picture->width && again->height == picture->height &&
                         again->pixels == picture->pixels,
                     "a picture encoded again decodes to the same pixels");
    }
    return 0;
}
