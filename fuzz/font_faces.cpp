// font_faces.cpp -- a font file's bytes, as a machine's font folder may hold them. A leading part
// of the file gives no more faces than the whole (its names may differ: a table listed twice is
// read from the last listing that is there); a face found by its own name is one of the faces.
#include "platform/font_faces.h"

#include "fuzz/fuzz.h"

namespace {

std::vector<Font_File_Face> Faces_Of(const std::string& file) {
    return Read_Font_Faces([&file](uint64_t offset, uint32_t count) {
        return offset >= file.size() ? std::string() : file.substr(size_t(offset), count);
    });
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string file = Fuzz_Bytes(data + 2, size - 2);
    const std::vector<Font_File_Face> all = Faces_Of(file);
    const std::vector<Font_File_Face> part = Faces_Of(file.substr(0, file.size() * (data[0] | data[1] << 8) / 65536));
    Fuzz_Require(part.size() <= all.size(), "a cut file gives no more faces");
    for (const Font_File_Face& face : all)
        for (const std::u16string& name : face.names) {
            const std::optional<long> index = Find_Face_By_Name(all, name, face.bold);
            Fuzz_Require(index && size_t(*index) < all.size(), "a face's own name finds a face");
        }
    return 0;
}
