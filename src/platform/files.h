// files.h -- the runtime's file services: names with "\" mapped to the host, existence tests,
// whole-file reads and writes, the program's folder and command line. Paths are host paths in
// UTF-8; on Windows they reach the file system through the wide-character functions, so a name
// outside the system's code page (the error log's Chinese names) works whatever that page is.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

// The host path of a program file name: each "\" becomes "/". UTF-16 to UTF-8.
std::string Host_Path(const std::u16string& name);
// The file-system path of a host path, and back (malformed UTF-8 becomes U+FFFD on Windows).
std::filesystem::path File_System_Path(const std::string& host_path);
std::string Host_Path_Of(const std::filesystem::path& path);
// True when a regular file exists at the host path.
bool File_Exists(const std::string& host_path);
// True when a folder exists at the host path.
bool Folder_Exists(const std::string& host_path);
// Creates one folder (its parent must exist); true when it exists afterwards.
bool Make_Folder(const std::string& host_path);
// Where a file the program ships (a picture, the animation file) is: a name holding the program
// folder is a full path; any other name lies under the program folder and may not hold ":" (no
// escaping to another drive or root). Nothing when the name is refused or no file is there.
std::optional<std::string> Resolve_Program_File(const std::u16string& name, const std::string& program_folder);
// The same against the running program's folder.
std::optional<std::string> Resolve_Program_File(const std::u16string& name);
// The file's bytes, or nothing when it cannot be opened.
std::optional<std::string> Read_Whole_File(const std::string& host_path);
// Replaces the file's contents with bytes (creating it); false when it cannot be written.
bool Write_Whole_File(const std::string& host_path, const std::string& bytes);
// Adds bytes at the end of the file (creating it); false when it cannot be written.
bool Append_To_File(const std::string& host_path, const std::string& bytes);

// The folder that holds the running program's file, as a host path without a trailing
// separator; "." when the system does not say.
std::string Executable_Folder();
// The command line in UTF-8, the program's name first: on Windows read again from the wide
// command line, since argv holds it in the system's code page.
std::vector<std::string> Program_Arguments(int argc, char** argv);
// A Windows window program started from a console writes its standard output and error there
// (unless they are redirected); elsewhere this does nothing.
void Use_Parent_Console();

// ---- Files read in pieces (a large map, parsed as it comes in) ----

// A file open for reading front to back; closed when it goes.
struct Input_File {
    std::ifstream file;
    uint64_t size = 0;   // at opening
};
// Opens the file and takes its size; nothing when it cannot be opened.
std::optional<Input_File> Open_Input_File(const std::string& host_path);
// Reads up to max bytes from where the last read ended; fewer only at the file's end (or a fault).
size_t Read_Input(Input_File& input, char* into, size_t max);
