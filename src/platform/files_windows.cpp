// files_windows.cpp -- the host's side of file names on Windows: UTF-8 host paths become UTF-16
// paths, which std::filesystem and the file streams hand to the wide-character functions
// (CreateFileW, _wfopen), so no name goes through the system's code page.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>

#include "platform/encoding.h"
#include "platform/files.h"

std::filesystem::path File_System_Path(const std::string& host_path) {
    const std::u16string wide = From_Utf8(host_path);
    return std::filesystem::path(std::wstring(wide.begin(), wide.end()));
}

std::string Host_Path_Of(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    return To_Utf8(std::u16string(wide.begin(), wide.end()));
}

std::string Executable_Folder() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), DWORD(name.size()));
        if (n == 0) return ".";
        if (n < name.size()) {
            name.resize(n);
            break;
        }
        name.resize(name.size() * 2);   // cut short: try a longer buffer
    }
    // With "/" between its parts, as the program's own names are mapped (see Host_Path).
    std::string folder = Host_Path_Of(std::filesystem::path(name).parent_path());
    for (char& c : folder)
        if (c == '\\') c = '/';
    return folder;
}

std::vector<std::string> Program_Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {argv, argv + argc};
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
        const std::wstring one = wide[i];
        arguments.push_back(To_Utf8(std::u16string(one.begin(), one.end())));
    }
    LocalFree(wide);
    return arguments;
}

void Use_Parent_Console() {
    // A handle that leads somewhere (a file, a pipe, Wine's terminal) stays as it is.
    auto unconnected = [](DWORD which) {
        HANDLE h = GetStdHandle(which);
        return h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) == FILE_TYPE_UNKNOWN;
    };
    const bool out = unconnected(STD_OUTPUT_HANDLE), err = unconnected(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    if (out) std::freopen("CONOUT$", "w", stdout);
    if (err) std::freopen("CONOUT$", "w", stderr);
}
