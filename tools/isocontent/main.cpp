// main.cpp -- isocontent: writes the bundled default content (pictures, map, characters) into a
// program folder.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "tools/isocontent/picture.h"

static void Print_Help() {
    std::puts(
        "isocontent -- generates the default pictures and world of isoclient\n"
        "\n"
        "usage: isocontent OUT_DIR\n"
        "\n"
        "Creates OUT_DIR/images (the screens' pictures, tile and sprite sheets) and OUT_DIR/data\n"
        "(the map and character files). Existing files of the same names are replaced. The output\n"
        "is the same on every run.");
}

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        Print_Help();
        return 0;
    }
    if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') {
        std::fprintf(stderr, "isocontent: expected one argument, the output folder (see --help)\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    try {
        std::filesystem::create_directories(out / "images");
        std::filesystem::create_directories(out / "data");
        Make_Ui_Pictures(out.string());
        Make_World(out.string());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "isocontent: %s\n", e.what());
        return 1;
    }
    return 0;
}
