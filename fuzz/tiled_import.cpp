// tiled_import.cpp -- `isodata import-tiled` on the bytes of a .tmx or .tmj (no other file
// exists): a map the game loads, or a Tiled_Error saying why.
#include "fuzz/fuzz.h"
#include "tools/isodata/tiled.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = Fuzz_Bytes(data, size);
    const File_Reader read = [&](const std::string& path) -> std::optional<std::string> {
        if (path == "fuzz.tmx") return bytes;
        return std::nullopt;
    };
    try {
        const Tiled_Import imported = Import_Tiled("fuzz.tmx", read, "out", "fuzz");
        Fuzz_Require(imported.pictures.empty(), "no picture file exists, so no sheet is made");
        const std::string file = Write_Map(imported.map);
        Fuzz_Require(Write_Map(Parse_Map(file, "fuzz.map")) == file, "the imported map reads back as itself");
    } catch (const Tiled_Error& e) {
        Fuzz_Require(std::string(e.what()).rfind("fuzz.tmx", 0) == 0, "an error names the file");
    } catch (const Data_Error&) {   // a text too long for the map file
    }
    return 0;
}
