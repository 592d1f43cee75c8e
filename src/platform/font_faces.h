// font_faces.h -- the faces inside a TrueType or OpenType font file or collection (.ttc) and the
// names each goes by, read from the file's own tables, so that a face is chosen by its name
// rather than by its place in the file.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct Font_File_Face {
    std::vector<std::u16string> names;   // family, full and typographic family names, in every language
    bool bold = false;                   // the face's own weight is bold (600 or more)
    bool italic = false;
};

// Reads count bytes at offset of a font file; fewer, or none, past its end.
using Font_Reader = std::function<std::string(uint64_t offset, uint32_t count)>;

// The faces in file order (a face's place is its index for the renderer). Damaged or foreign
// bytes give fewer faces or none, never a read outside what `read` returns.
std::vector<Font_File_Face> Read_Font_Faces(const Font_Reader& read);
// The same for a file; none when it cannot be opened.
std::vector<Font_File_Face> Read_Font_File_Faces(const std::string& host_path);

// Whether two face names are the same, ASCII letters in either case.
bool Same_Face_Name(const std::u16string& a, const std::u16string& b);

// How well a face fits a request, higher better: the weight asked for counts most, then upright.
int Face_Fit(const Font_File_Face& face, bool bold);
// The index of the best-fitting face called name (ASCII letters in either case), the first of
// equals; nothing when no face has the name.
std::optional<long> Find_Face_By_Name(const std::vector<Font_File_Face>& faces, const std::u16string& name, bool bold);
