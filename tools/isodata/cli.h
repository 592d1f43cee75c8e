// cli.h -- isodata's command line: dump, build, check and preview of the game's data files.
#pragma once
#include <ostream>
#include <string>
#include <vector>

// Runs one command line (without the program name). Exit status: 0 done, 1 a file was bad or a
// check found problems, 2 the command line was wrong. default_program_folder is where pictures and
// animation files are looked for unless --program-folder says otherwise.
int Isodata_Main(const std::vector<std::string>& args, const std::string& default_program_folder, std::ostream& out,
                 std::ostream& err);
