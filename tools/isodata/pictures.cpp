// pictures.cpp -- resolving picture names as the game does, and reading the size from a BMP header.
#include "tools/isodata/pictures.h"

#include <fstream>

#include "platform/encoding.h"
#include "platform/files.h"

std::optional<std::string> Resolve_In_Program_Folder(const std::u16string& name, const std::string& program_folder,
                                                     std::string& why) {
    std::optional<std::string> full = Resolve_Program_File(name, program_folder);
    if (!full) {
        const std::string mapped = Host_Path(name);
        const bool inside = !program_folder.empty() && mapped.find(program_folder) != std::string::npos;
        if (!inside && name.find(u':') != std::u16string::npos)
            why = "the name holds \":\" and is outside the program folder, so the game refuses it";
        else
            why = "no file " + (inside ? mapped : program_folder + "/" + mapped);
    }
    return full;
}

std::optional<Bmp_Size> Read_Bmp_Size(const std::string& host_path) {
    std::ifstream in(File_System_Path(host_path), std::ios::binary);
    char header[26] = {};
    in.read(header, sizeof header);
    return Bmp_Header_Size(std::string_view(header, size_t(in.gcount())));
}
