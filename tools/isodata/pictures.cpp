// pictures.cpp -- resolving picture names as the game does, and reading the size from a BMP header.
#include "tools/isodata/pictures.h"

#include <fstream>

#include "platform/encoding.h"
#include "platform/files.h"

std::optional<std::string> Resolve_In_Program_Folder(const std::u16string& name, const std::string& program_folder,
                                                     std::string& why) {
    std::optional<std::string> full = Resolve_Program_File(name, program_folder);
    if (!full) {
        const std::string mapped = Host_Path(name);
        const bool inside = !program_folder.empty() && mapped.find(program_folder) != std::string::npos;
        if (!inside && name.find(u':') != std::u16string::npos)
            why = "the name holds \":\" and is outside the program folder, so the game refuses it";
        else
            why = "no file " + (inside ? mapped : program_folder + "/" + mapped);
    }
    return full;
}

std::optional<Bmp_Size> Read_Bmp_Size(const std::string& host_path) {
    std::ifstream in(File_System_Path(host_path), std::ios::binary);
    unsigned char h[26] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    const std::streamsize got = in.gcount();
    if (got < 18 || h[0] != 'B' || h[1] != 'M') return std::nullopt;
    auto u32 = [&](int at) {
        return uint32_t(h[at]) | uint32_t(h[at + 1]) << 8 | uint32_t(h[at + 2]) << 16 | uint32_t(h[at + 3]) << 24;
    };
    const uint32_t header = u32(14);
    if (header == 12 && got >= 22) {   // the old core header: 16-bit sizes
        return Bmp_Size{int32_t(uint32_t(h[18]) | uint32_t(h[19]) << 8),
                        int32_t(uint32_t(h[20]) | uint32_t(h[21]) << 8)};
    }
    if (header < 40 || got < 26) return std::nullopt;
    const int32_t w = int32_t(u32(18)), hgt = int32_t(u32(22));
    if (w <= 0 || hgt == 0 || hgt == INT32_MIN) return std::nullopt;
    return Bmp_Size{w, hgt < 0 ? -hgt : hgt};
}
