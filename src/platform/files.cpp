// files.cpp -- file services on the host file system, through std::filesystem paths (wide on
// Windows: see files_windows.cpp).
#include "platform/files.h"

#include <algorithm>
#include <fstream>

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
    return !host_path.empty() && std::filesystem::is_regular_file(File_System_Path(host_path), ec);
}

bool Folder_Exists(const std::string& host_path) {
    std::error_code ec;
    return !host_path.empty() && std::filesystem::is_directory(File_System_Path(host_path), ec);
}

bool Make_Folder(const std::string& host_path) {
    std::error_code ec;
    std::filesystem::create_directory(File_System_Path(host_path), ec);
    return Folder_Exists(host_path);
}

std::optional<std::string> Resolve_Program_File(const std::u16string& name) {
    return Resolve_Program_File(name, Platform.program_folder);
}

std::optional<std::string> Resolve_Program_File(const std::u16string& name, const std::string& folder) {
    const std::string mapped = Host_Path(name);
#ifdef _WIN32
    // A folder as Windows writes it, with "\", is compared as the program's names are mapped.
    std::string folder_mapped = folder;
    std::replace(folder_mapped.begin(), folder_mapped.end(), '\\', '/');
#else
    const std::string& folder_mapped = folder;
#endif
    std::string full;
    if (!folder.empty() && mapped.find(folder_mapped) != std::string::npos)
        full = mapped;
    else if (name.find(u':') == std::u16string::npos)
        full = folder + "/" + mapped;
    else
        return std::nullopt;
    if (!File_Exists(full)) return std::nullopt;
    return full;
}

std::optional<std::string> Read_Whole_File(const std::string& host_path) {
    std::ifstream in(File_System_Path(host_path), std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    std::string bytes(size_t(size), '\0');
    in.seekg(0, std::ios::beg);
    if (size > 0 && !in.read(bytes.data(), size)) return std::nullopt;
    return bytes;
}

static bool Write_File(const std::string& host_path, const std::string& bytes, std::ios::openmode mode) {
    std::ofstream out(File_System_Path(host_path), std::ios::binary | mode);
    if (!out) return false;
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    return !out.fail();
}

bool Write_Whole_File(const std::string& host_path, const std::string& bytes) {
    return Write_File(host_path, bytes, std::ios::trunc);
}

bool Append_To_File(const std::string& host_path, const std::string& bytes) {
    return Write_File(host_path, bytes, std::ios::app);
}

std::optional<Input_File> Open_Input_File(const std::string& host_path) {
    Input_File input;
    const std::filesystem::path path = File_System_Path(host_path);
    input.file.open(path, std::ios::binary);
    if (!input.file) return std::nullopt;
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return std::nullopt;
    input.size = uint64_t(size);
    return input;
}

size_t Read_Input(Input_File& input, char* into, size_t max) {
    input.file.read(into, std::streamsize(max));
    return size_t(input.file.gcount());
}
