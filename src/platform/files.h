// files.h -- the runtime's file services: names with "\" mapped to the host, existence tests,
// whole-file reads.
#pragma once
#include <optional>
#include <string>

// The host path of a program file name: each "\" becomes "/". UTF-16 to UTF-8.
std::string Host_Path(const std::u16string& name);
// True when a regular file exists at the host path.
bool File_Exists(const std::string& host_path);
// Where a file the program ships (a picture, the animation file) is: a name holding the program
// folder is a full path; any other name lies under the program folder and may not hold ":" (no
// escaping to another drive or root). Nothing when the name is refused or no file is there.
std::optional<std::string> Resolve_Program_File(const std::u16string& name, const std::string& program_folder);
// The same against the running program's folder.
std::optional<std::string> Resolve_Program_File(const std::u16string& name);
// The file's bytes, or nothing when it cannot be opened.
std::optional<std::string> Read_Whole_File(const std::string& host_path);
