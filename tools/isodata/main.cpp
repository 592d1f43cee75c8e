// main.cpp -- isodata, the content authors' tool for the game's data files.
#include <iostream>

#include "platform/files.h"
#include "tools/isodata/cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args = Program_Arguments(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    return Isodata_Main(args, Executable_Folder(), std::cout, std::cerr);
}
