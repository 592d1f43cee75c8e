// check.h -- `isodata check`: everything in a data file that would go wrong in the game.
#pragma once
#include <string>
#include <vector>

#include "tools/isodata/json_form.h"

// The problems of one file, each "<file>: <where>: <what>", in file order. Pictures and the
// animation file are looked for under program_folder as the game does. At most `limit` problems
// are listed; a last line counts the rest. What the game copes with but an author may not mean
// (free cells no player can walk to) goes to `warnings`, when given, in the same form.
std::vector<std::string> Check_File(const std::string& path, File_Type type, const std::string& program_folder,
                                    size_t limit = 200, std::vector<std::string>* warnings = nullptr);
