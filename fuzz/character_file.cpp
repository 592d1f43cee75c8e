// character_file.cpp -- the character file reader on any bytes: a file or a Data_Error; a file
// written and read back is the same file, and every look-up the scene makes on it stays inside.
#include "characters/character_file.h"

#include "fuzz/fuzz.h"
#include "map/map_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = Fuzz_Bytes(data, size);
    Character_File file;
    try {
        file = Parse_Character_File(bytes, "fuzz.ple");
    } catch (const Data_Error&) { return 0; }
    Fuzz_Require(file.Sprite_Types.size() == size_t(file.Sprite_Type_Count), "one entry per sprite type");
    const Character_File again = Parse_Character_File(Write_Character_File(file), "written.ple");
    Fuzz_Require(again == file, "a written character file reads back as the same file");
    for (const Sprite_Type& type : file.Sprite_Types) {
        Fuzz_Require(type.actions.size() == size_t(type.action_count), "one entry per action");
        const int16_t walk = Find_Action(u"walk", type);
        Fuzz_Require(walk >= 0 && size_t(walk) < type.actions.size(), "Find_Action gives an action of the type");
    }
    return 0;
}
