// png.cpp -- PNG encoding and decoding with libpng's simplified interface.
#include "tools/isodata/png.h"

#include <png.h>

#include "display/bitmap.h"

namespace {

std::string Write_Image(png_image& image, const void* pixels) {
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr)) return {};
    std::string out(size, '\0');
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, pixels, 0, nullptr)) return {};
    out.resize(size);
    return out;
}

}   // namespace

std::string Encode_Png(const Surface& picture) {
    std::vector<uint8_t> rgb(size_t(picture.width) * size_t(picture.height) * 3);
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        const uint32_t c = Pixel_To_Color(picture.pixels[i]);
        rgb[i * 3] = uint8_t(c), rgb[i * 3 + 1] = uint8_t(c >> 8), rgb[i * 3 + 2] = uint8_t(c >> 16);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.width);
    image.height = png_uint_32(picture.height);
    image.format = PNG_FORMAT_RGB;
    return Write_Image(image, rgb.data());
}

std::string Encode_Png(const Rgba_Picture& picture) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(picture.width);
    image.height = png_uint_32(picture.height);
    image.format = PNG_FORMAT_RGBA;
    return Write_Image(image, picture.rgba.data());
}

std::optional<Rgba_Picture> Decode_Png(const std::string& bytes, std::string& why) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        why = std::string("not a PNG libpng can read (") + image.message + ")";
        return std::nullopt;
    }
    if (int64_t(image.width) > MAX_PICTURE_SIDE || int64_t(image.height) > MAX_PICTURE_SIDE ||
        int64_t(image.width) * int64_t(image.height) > MAX_PICTURE_PIXELS) {
        png_image_free(&image);
        why = "a picture of " + std::to_string(image.width) + " x " + std::to_string(image.height) +
              ", larger than the game takes";
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    Rgba_Picture out{int32_t(image.width), int32_t(image.height), {}};
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        why = std::string("a damaged PNG (") + image.message + ")";
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}
