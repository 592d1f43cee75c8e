// world_files.h -- test helpers for the data files: raw little-endian bytes, a throw-away folder,
// a sample map, solid-colour BMP pictures, and the errors a reader raised.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "display/bitmap.h"
#include "errors/errors.h"
#include "map/map.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/platform.h"

namespace world_test {

namespace fs = std::filesystem;

// Builds file bytes field by field, independently of the code under test.
struct Raw {
    std::string bytes;
    Raw& I16(int v) {
        bytes += {char(v & 0xFF), char((v >> 8) & 0xFF)};
        return *this;
    }
    Raw& I32(int v) { return I16(v & 0xFFFF).I16(v >> 16); }
    Raw& I16(std::initializer_list<int> values) {
        for (int v : values) I16(v);
        return *this;
    }
    // A counted string: its byte count (two a character), then UTF-16LE.
    Raw& Str(const std::u16string& s) {
        I16(int(s.size() * 2));
        for (char16_t c : s) I16(int(c));
        return *this;
    }
};

struct Temp_Folder {
    fs::path path = fs::temp_directory_path() / ("isoworld-" + std::to_string(getpid()) + "-" + std::to_string(Next()));
    Temp_Folder() {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Temp_Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
    static int Next() {
        static int counter = 0;
        return counter++;
    }
};

// Two images (ids 7 and 3), a 2 x 1 map; every field holds a distinct value.
inline Raw Two_Cell_Map() {
    Raw r = Raw().I16(2).Str(u"images\\a.bmp").I16(7).Str(u"b").I16(3).I16(2).I16(1);
    // ground: image_id, blocked, text, source_x, source_y
    r.I16(3).I16(-1).Str(u"ab").I16(40).I16(20).I16(5).I16(0).Str(u"").I16(80).I16(-4);
    // objects, then overlay: image_id, offset_x, offset_y, height, width, present, source_x, source_y
    r.I16({7, -10, -30, 50, 40, 1, 11, 12, 9, 9, 9, 9, 9, 0, 9, 9});
    return r.I16({3, 1, 2, 3, 4, -1, 5, 6, 0, 0, 0, 0, 0, 0, 0, 0});
}

// Every cell wall but the corridors (x or y a multiple of 4) and the centre of each 3 x 3 block
// of wall, which no one can walk into or out of: 900 such cells on a side of 120.
inline Map_Model Corridor_World(int16_t side = 120, int16_t image_id = 0) {
    Map_Model m;
    m.Map_Width = m.Map_Height = side;
    m.Ground_Grid.Resize(side, side);
    m.Object_Grid.Resize(side, side);
    m.Overlay_Grid.Resize(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const bool corridor = x % 4 == 0 || y % 4 == 0, centre = x % 4 == 2 && y % 4 == 2;
            m.Ground_Grid(x, y).blocked = corridor || centre ? 0 : -1;
            m.Ground_Grid(x, y).image_id = image_id;
        }
    return m;
}

inline void Write_File(const std::string& host_path, const std::string& bytes) {
    fs::create_directories(fs::path(host_path).parent_path());
    std::ofstream(host_path, std::ios::binary) << bytes;
}

// A 24-bit BMP of w x h pixels, all of colour 0xRRGGBB.
inline void Write_Bmp(const std::string& host_path, int w, int h, uint32_t rgb) {
    Write_File(host_path, Encode_Bmp(w, h, [&](int32_t, int32_t) {
                   return Rgb(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
               }));
}

// The message of the Data_Error fn threw; "" when it returned.
inline std::string Data_Error_Of(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const Data_Error& e) { return e.what(); }
    return "";
}

// Every cut of a valid file before its end is refused, naming the file ("f") and the cut.
inline void Expect_Every_Cut_Refused(const std::string& bytes, const std::function<void(const std::string&)>& parse) {
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        const std::string error = Data_Error_Of([&] { parse(bytes.substr(0, cut)); });
        EXPECT_EQ(error.rfind("f: file ends at byte " + std::to_string(cut), 0), 0u) << "cut at " << cut;
    }
}

}   // namespace world_test
