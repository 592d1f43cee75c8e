// cli.h -- isodata's command line: dump, build, check and preview of the game's data files.
#pragma once
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// Runs one command line (without the program name). Exit status: 0 done, 1 a file was bad or a
// check found problems, 2 the command line was wrong. default_program_folder is where pictures and
// animation files are looked for unless --program-folder says otherwise.
int Isodata_Main(const std::vector<std::string>& args, const std::string& default_program_folder, std::ostream& out,
                 std::ostream& err);

// What `isodata build` does with the text of a JSON document: the bytes of the data file it
// describes, read back as the game reads them; nothing, with the reason in `problem`, when the
// text is no JSON, describes no valid file, or gives one the game could not load. The names
// (UTF-8) are for the messages.
std::optional<std::string> Build_From_Json(const std::string& json_text, const std::string& json_name,
                                           const std::string& out_name, std::string& problem);
