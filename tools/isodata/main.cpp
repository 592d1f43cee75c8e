// main.cpp -- isodata, the content authors' tool for the game's data files.
#include <filesystem>
#include <iostream>

#include "tools/isodata/cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::error_code ec;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) self = std::filesystem::absolute(argv[0], ec);
    return Isodata_Main(args, self.parent_path().string(), std::cout, std::cerr);
}
