// pictures.h -- isodata's view of the pictures a data file names: where they are, their size, their pixels.
#pragma once
#include <optional>
#include <string>

#include "platform/surface.h"

// The host path of a picture or animation file name as the game resolves it against the program
// folder: a name holding the folder is a full path; any other name goes under the folder and may
// not hold ":". Nothing when the name is refused or no file is there; `why` says which.
std::optional<std::string> Resolve_In_Program_Folder(const std::u16string& name, const std::string& program_folder,
                                                     std::string& why);

struct Bmp_Size {
    int32_t width = 0, height = 0;
};
// Width and height from a BMP file's header (rows stored either way up); nothing when the file
// is not a BMP or is too short for its header.
std::optional<Bmp_Size> Read_Bmp_Size(const std::string& host_path);
