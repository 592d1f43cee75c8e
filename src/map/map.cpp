// map.cpp -- the data files read with their errors, and the loaded map with its pictures.
#include "map/map.h"

#include <cstdio>

#include "display/bitmap.h"
#include "platform/files.h"
#include "platform/program.h"

std::string Read_Data_File(const std::u16string& name, const std::optional<std::string>& host_path) {
    std::optional<std::string> bytes;
    if (host_path && File_Exists(*host_path)) bytes = Read_Whole_File(*host_path);
    if (!bytes) Raise_Error(ERROR_FILE_MISSING, name);
    return std::move(*bytes);
}

void Parse_Or_Raise(const std::u16string& name, const std::function<void()>& parse, void (*clear)()) {
    std::optional<Data_Error> damage;
    try {
        parse();
    } catch (const Data_Error& e) { damage = e; }
    // Raised outside the handler: the error screen runs a whole frame loop.
    if (damage) {
        clear();
        std::fprintf(stderr, "isoclient: %s\n", damage->what());
        Raise_Error(ERROR_OTHER, damage->summary + u" : " + name);
    }
}

void Load_Map(const std::u16string& path) {
    const std::string host = Host_Path(path);
    {
        // Parsed as it is read: a large map's bytes are never held whole beside the model.
        std::optional<Input_File> input;
        if (File_Exists(host)) input = Open_Input_File(host);
        if (!input) Raise_Error(ERROR_FILE_MISSING, path);
        Parse_Or_Raise(
            path, [&] { Parse_Map_File_Into(*input, host, Map); }, Reset_Map);
    }   // the file closes before the pictures load
    Load_Map_Images();
}

void Load_Map_Images() {
    for (Map_Image& image : Map.Map_Images) Require_Bitmap(image.file_name, 0, image.surface);
}

int16_t Find_Map_Image(int16_t id) { return Find_Image_Index(Map, id); }
