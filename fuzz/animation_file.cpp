// animation_file.cpp -- the animation file reader on any bytes: the tables or a Data_Error; tables
// written and read back are the same tables.
#include "characters/animation.h"
#include "fuzz/fuzz.h"
#include "map/map_file.h"

namespace {

bool Same_Tables(const Animation_Data& a, const Animation_Data& b) {
    if (a.sheet_count != b.sheet_count || a.sequence_count != b.sequence_count || a.Sequences != b.Sequences ||
        a.Sheets.size() != b.Sheets.size())
        return false;
    for (size_t i = 0; i < a.Sheets.size(); ++i)
        if (a.Sheets[i].file_name != b.Sheets[i].file_name || a.Sheets[i].id != b.Sheets[i].id) return false;
    return true;
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = Fuzz_Bytes(data, size);
    Animation_Data tables;
    try {
        tables = Parse_Animation_File(bytes, "fuzz.ani");
    } catch (const Data_Error&) { return 0; }
    Fuzz_Require(
        tables.Sheets.size() == size_t(tables.sheet_count) && tables.Sequences.size() == size_t(tables.sequence_count),
        "one entry per sheet and per sequence");
    for (const Sequence& s : tables.Sequences)
        Fuzz_Require(!s.frames.empty() && s.frames.size() == size_t(s.frame_count), "every sequence has its frames");
    const Animation_Data again = Parse_Animation_File(Write_Animation_File(tables), "written.ani");
    Fuzz_Require(Same_Tables(tables, again), "written tables read back as the same tables");
    return 0;
}
