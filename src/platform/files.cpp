// files.cpp -- file services on the host file system.
#include "platform/files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/encoding.h"
#include "platform/platform.h"

std::string Host_Path(const std::u16string& name) {
    std::string path = To_Utf8(name);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

bool File_Exists(const std::string& host_path) {
    std::error_code ec;
    return !host_path.empty() && std::filesystem::is_regular_file(host_path, ec);
}

std::optional<std::string> Resolve_Program_File(const std::u16string& name) {
    return Resolve_Program_File(name, Platform.program_folder);
}

std::optional<std::string> Resolve_Program_File(const std::u16string& name, const std::string& folder) {
    const std::string mapped = Host_Path(name);
    std::string full;
    if (!folder.empty() && mapped.find(folder) != std::string::npos)
        full = mapped;
    else if (name.find(u':') == std::u16string::npos)
        full = folder + "/" + mapped;
    else
        return std::nullopt;
    if (!File_Exists(full)) return std::nullopt;
    return full;
}

std::optional<std::string> Read_Whole_File(const std::string& host_path) {
    std::ifstream in(host_path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::string bytes(size_t(size), '\0');
    in.seekg(0, std::ios::beg);
    if (size > 0 && !in.read(bytes.data(), size)) return std::nullopt;
    return bytes;
}
