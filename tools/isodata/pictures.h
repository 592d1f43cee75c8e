// pictures.h -- isodata's view of the pictures a data file names: where they are, their size, their pixels.
#pragma once
#include <optional>
#include <string>

#include "display/bitmap.h"

// The host path of a picture or animation file name as the game resolves it against the program
// folder: a name holding the folder is a full path; any other name goes under the folder and may
// not hold ":". Nothing when the name is refused or no file is there; `why` says which.
std::optional<std::string> Resolve_In_Program_Folder(const std::u16string& name, const std::string& program_folder,
                                                     std::string& why);

// Width and height from a BMP file's header, checked as the game checks it (Bmp_Header_Size);
// nothing when the file cannot be read or its header is refused.
std::optional<Bmp_Size> Read_Bmp_Size(const std::string& host_path);
