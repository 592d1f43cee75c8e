// map_file.cpp -- the map file reader on any bytes: a model or a Data_Error, never more; a model
// written and read back is the same model, also when read over the model already loaded (the
// reload that reuses the grids' storage).
#include "map/map_file.h"

#include "fuzz/fuzz.h"

namespace {

bool Same_Map(const Map_Model& a, const Map_Model& b) {
    if (a.Map_Image_Count != b.Map_Image_Count || a.Map_Width != b.Map_Width || a.Map_Height != b.Map_Height ||
        a.Map_Images.size() != b.Map_Images.size())
        return false;
    for (size_t i = 0; i < a.Map_Images.size(); ++i)
        if (a.Map_Images[i].file_name != b.Map_Images[i].file_name || a.Map_Images[i].id != b.Map_Images[i].id)
            return false;
    auto same_grid = [](const auto& x, const auto& y) {
        return x.width == y.width && x.height == y.height && x.cells == y.cells;
    };
    return same_grid(a.Ground_Grid, b.Ground_Grid) && same_grid(a.Object_Grid, b.Object_Grid) &&
           same_grid(a.Overlay_Grid, b.Overlay_Grid);
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = Fuzz_Bytes(data, size);
    Map_Model model;
    try {
        Parse_Map_Into(bytes, "fuzz.map", model);
    } catch (const Data_Error&) { return 0; }
    Fuzz_Require(model.Ground_Grid.cells.size() == size_t(model.Map_Width) * size_t(model.Map_Height),
                 "the ground grid holds width x height cells");
    const std::string written = Write_Map(model);
    Map_Model again = Parse_Map(written, "written.map");
    Fuzz_Require(Same_Map(model, again), "a written map reads back as the same model");
    Parse_Map_Into(written, "reloaded.map", again);
    Fuzz_Require(Same_Map(model, again), "a reload over the same map gives the same model");
    return 0;
}
