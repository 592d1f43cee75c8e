// program_folder.h -- test helpers: a throw-away program folder with the generated error picture,
// tiny BMP files, the error log's files, and running a screen until the program ends.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fixture.h"
#include "platform/encoding.h"

namespace fs = std::filesystem;

struct Rgb24 {
    uint8_t r, g, b;
};

// Writes a 24-bit bottom-up BMP; rows[y][x].
inline void Write_Bmp(const fs::path& path, const std::vector<std::vector<Rgb24>>& rows) {
    const uint32_t h = uint32_t(rows.size()), w = h ? uint32_t(rows[0].size()) : 0;
    const uint32_t stride = (w * 3 + 3) & ~3u, size = 54 + stride * h;
    std::string b;
    auto u16 = [&](uint32_t v) { b += char(v & 0xFF); b += char((v >> 8) & 0xFF); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    b += "BM";
    u32(size); u32(0); u32(54); u32(40); u32(w); u32(h); u16(1); u16(24); u32(0);
    u32(stride * h); u32(2835); u32(2835); u32(0); u32(0);
    for (uint32_t y = h; y-- > 0;) {
        for (const Rgb24& c : rows[y]) { b += char(c.b); b += char(c.g); b += char(c.r); }
        b.append(stride - w * 3, '\0');
    }
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary).write(b.data(), std::streamsize(b.size()));
}

inline std::vector<std::vector<Rgb24>> Solid(int w, int h, Rgb24 c) {
    return std::vector<std::vector<Rgb24>>(size_t(h), std::vector<Rgb24>(size_t(w), c));
}

// Headless_Test with the program folder moved to a fresh temporary folder holding only
// images/err.bmp (copied from the build's generated pictures).
class Program_Folder_Test : public Headless_Test {
protected:
    fs::path folder;

    void SetUp() override {
        Headless_Test::SetUp();
        std::string pattern = (fs::temp_directory_path() / "isoclient-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        fs::create_directories(folder / "images");
        fs::copy_file(fs::path(ISO_OUT_DIR) / "images" / "err.bmp", folder / "images" / "err.bmp");
        Platform.program_folder = folder.string();
    }
    void TearDown() override {
        Headless_Test::TearDown();
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    // Runs the call, which must end the program; the status it ends with, or -1 if it returned.
    int Run_To_End(const std::function<void()>& call) {
        try {
            call();
        } catch (const Program_End& end) {
            return end.status;
        }
        return -1;
    }

    // Every file of the log folder, name (UTF-8) to contents.
    std::map<std::string, std::string> Log_Files() const {
        std::map<std::string, std::string> files;
        std::error_code ec;
        if (!fs::is_directory(folder / "Err", ec)) return files;
        for (const auto& entry : fs::directory_iterator(folder / "Err")) {
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    // The one log entry's text decoded from code page 950, or nothing when not exactly one file.
    std::optional<std::u16string> Only_Log() const {
        auto files = Log_Files();
        if (files.size() != 1) return std::nullopt;
        return From_Cp950(files.begin()->second);
    }
};

inline std::u16string Log_Entry(int code, const std::u16string& message) {
    return u"錯誤編號 : " + From_Utf8(std::to_string(code)) + u"\r\n事件描述 : " + message + u"\r\n" +
           std::u16string(82, u'-') + u"\r\n";
}
