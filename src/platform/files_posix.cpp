// files_posix.cpp -- the host's side of file names on POSIX systems: paths are UTF-8 bytes as they
// are, the program's file is /proc/self/exe.
#include "platform/files.h"

std::filesystem::path File_System_Path(const std::string& host_path) { return host_path; }

std::string Host_Path_Of(const std::filesystem::path& path) { return path.native(); }

std::string Executable_Folder() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : exe.parent_path().string();
}

std::vector<std::string> Program_Arguments(int argc, char** argv) { return {argv, argv + argc}; }

void Use_Parent_Console() {}
