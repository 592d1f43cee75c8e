// program_folder.h -- test helpers: a throw-away program folder with the generated error picture,
// tiny BMP files, the error log's files, and running a screen until the program ends.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>

#include "display/bitmap.h"
#include "fixture.h"
#include "map/world_files.h"
#include "platform/encoding.h"
#include "platform/files.h"

namespace fs = std::filesystem;

using Rgb24 = std::array<uint8_t, 3>;              // red, green, blue
using Picture = std::vector<std::vector<Rgb24>>;   // rows[y][x]

// Writes a 24-bit BMP.
inline void Write_Bmp(const fs::path& path, const Picture& rows) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        << Encode_Bmp(rows.empty() ? 0 : int32_t(rows[0].size()), int32_t(rows.size()), [&](int32_t x, int32_t y) {
               const Rgb24& c = rows[size_t(y)][size_t(x)];
               return Rgb(c[0], c[1], c[2]);
           });
}

inline Picture Solid(int w, int h, Rgb24 c) { return Picture(size_t(h), std::vector<Rgb24>(size_t(w), c)); }

// Headless_Test with the program folder moved to a fresh temporary folder holding only
// images/err.bmp (copied from the build's generated pictures).
class Program_Folder_Test : public Headless_Test {
protected:
    world_test::Temp_Folder temp;
    const fs::path folder = temp.path;

    void SetUp() override {
        Headless_Test::SetUp();
        fs::create_directories(folder / "images");
        fs::copy_file(fs::path(ISO_OUT_DIR) / "images" / "err.bmp", folder / "images" / "err.bmp");
        Platform.program_folder = Host_Path_Of(folder);
    }

    // Runs the call, which must raise an error; the log it leaves.
    std::u16string Raised(const std::function<void()>& call) {
        fs::remove_all(folder / "Err");
        window.held.insert(VK_ESCAPE);   // the error screen ends at its first frame
        Run_Until_End(call);
        return Only_Log();
    }

    // The log's text, decoded from code page 950, when it is one file; else how many files there are.
    std::u16string Only_Log() const {
        std::error_code missing;   // no log folder: no files
        const std::vector<fs::path> files(fs::directory_iterator(folder / "Err", missing), fs::directory_iterator());
        if (files.size() != 1) return From_Utf8(std::to_string(files.size())) + u" files";
        return From_Cp950(Read_Whole_File(Host_Path_Of(files[0])).value_or(""));
    }
};

inline std::u16string Log_Entry(int code, const std::u16string& message) {
    return u"錯誤編號 : " + From_Utf8(std::to_string(code)) + u"\r\n事件描述 : " + message + u"\r\n" +
           std::u16string(82, u'-') + u"\r\n";
}
