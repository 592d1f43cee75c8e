// isodata_build.cpp -- `isodata build` on any text: the bytes of a file the game loads, or a
// reason; and the file it built, dumped to JSON and built again, gives the same bytes.
#include "fuzz/fuzz.h"
#include "tools/isodata/cli.h"
#include "tools/isodata/json_form.h"

namespace {

// The JSON that `isodata dump` prints for a file's bytes of the type.
std::string Dump(const std::string& bytes, File_Type type) {
    switch (type) {
        case File_Type::Map: return Map_To_Json(Parse_Map(bytes, "built.map")).dump();
        case File_Type::Ple: return Characters_To_Json(Parse_Character_File(bytes, "built.ple")).dump();
        case File_Type::Ani: return Animations_To_Json(Parse_Animation_File(bytes, "built.ani")).dump();
    }
    return {};
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = Fuzz_Bytes(data, size);
    std::string problem;
    const std::optional<std::string> bytes = Build_From_Json(text, "fuzz.json", "out", problem);
    if (!bytes) {
        Fuzz_Require(!problem.empty(), "a refusal says why");
        return 0;
    }
    File_Type type = File_Type::Ani;
    const nlohmann::json doc = nlohmann::json::parse(text, nullptr, false);
    Fuzz_Require(doc.is_object() && Parse_Type(doc.value("type", ""), type), "a built document names its type");
    const std::optional<std::string> again = Build_From_Json(Dump(*bytes, type), "dumped.json", "out", problem);
    Fuzz_Require(again && *again == *bytes, "a built file dumped and built again gives the same bytes");
    return 0;
}
