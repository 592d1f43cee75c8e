// world_files.h -- test helpers for the data files: raw little-endian bytes, a throw-away folder,
// tiny BMP pictures, and the error an operation raised (read back from the error log).
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "errors/errors.h"
#include "platform/encoding.h"
#include "platform/platform.h"

namespace world_test {

namespace fs = std::filesystem;

// Builds file bytes field by field, independently of the code under test.
struct Raw {
    std::string bytes;
    Raw& I16(int v) {
        bytes += char(v & 0xFF);
        bytes += char((v >> 8) & 0xFF);
        return *this;
    }
    // A counted string with its byte count: two bytes a character.
    Raw& Str(const std::u16string& s) {
        I16(int(s.size() * 2));
        for (char16_t c : s) I16(int(c));
        return *this;
    }
    Raw& Byte(int v) {
        bytes += char(v);
        return *this;
    }
};

class Temp_Folder {
public:
    fs::path path;
    Temp_Folder() {
        static std::atomic<int> counter{0};
        path = fs::temp_directory_path() /
               ("isoworld-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Temp_Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

inline void Write_File(const std::string& host_path, const std::string& bytes) {
    fs::create_directories(fs::path(host_path).parent_path());
    std::ofstream(host_path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// A 24-bit BMP of w x h pixels; colour(x, y) gives 0xRRGGBB.
inline void Write_Bmp(const std::string& host_path, int w, int h,
                      const std::function<uint32_t(int, int)>& colour) {
    const uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
    Raw b;
    auto u32 = [&](uint32_t v) { b.I16(int(v & 0xFFFF)).I16(int(v >> 16)); };
    b.bytes += "BM";
    u32(54 + stride * uint32_t(h));
    u32(0);
    u32(54);
    u32(40);
    u32(uint32_t(w));
    u32(uint32_t(h));
    b.I16(1).I16(24);
    u32(0);
    u32(stride * uint32_t(h));
    u32(2835);
    u32(2835);
    u32(0);
    u32(0);
    for (int y = h - 1; y >= 0; --y) {
        for (int x = 0; x < w; ++x) {
            uint32_t c = colour(x, y);
            b.Byte(int(c & 0xFF)).Byte(int((c >> 8) & 0xFF)).Byte(int((c >> 16) & 0xFF));   // B, G, R
        }
        b.bytes.append(stride - uint32_t(w) * 3, '\0');
    }
    Write_File(host_path, b.bytes);
}

// Runs fn, which must end the program through Raise_Error; returns the error log's text (the
// log lands under the program folder, which must be a throw-away folder). "" when fn returned.
inline std::u16string Raised_Error(const std::function<void()>& fn) {
    const fs::path err = fs::path(Platform.program_folder) / "Err";
    std::error_code ec;
    fs::remove_all(err, ec);
    try {
        fn();
    } catch (const Program_End&) {
        std::string log;
        for (const auto& entry : fs::directory_iterator(err, ec)) {
            std::ifstream in(entry.path(), std::ios::binary);
            log.append(std::istreambuf_iterator<char>(in), {});
        }
        return From_Cp950(log);
    }
    return u"";
}

}  // namespace world_test
