// picture.cpp -- BMP output of the content generator.
#include "tools/isocontent/picture.h"

#include <fstream>
#include <stdexcept>

static void Put16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
static void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}

void Save_Bmp(const Picture& picture, const std::string& host_path) {
    const uint32_t row_bytes = (uint32_t(picture.width) * 3 + 3) & ~3u;
    const uint32_t data_size = row_bytes * uint32_t(picture.height);
    std::string out;
    out.reserve(54 + data_size);
    out += "BM";
    Put32(out, 54 + data_size);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, uint32_t(picture.width));
    Put32(out, uint32_t(picture.height));   // positive: rows stored bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);
    Put32(out, data_size);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = picture.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < picture.width; ++x) {
            Color c = picture.Get(x, y);
            out += char(c.b);
            out += char(c.g);
            out += char(c.r);
        }
        out.append(row_bytes - (out.size() - start), '\0');
    }
    std::ofstream file(host_path, std::ios::binary);
    if (!file || !file.write(out.data(), std::streamsize(out.size())))
        throw std::runtime_error("cannot write " + host_path);
}
