// map_file.h -- the map model and its file format (read and write), and the little-endian fields
// and counted strings every data file is made of. No state: the server and the tools use it too.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/surface.h"

// A damaged data file: what is wrong and where. Readers throw it; the game turns it into error
// -32768 on the error screen, the tools print it.
struct Data_Error : std::runtime_error {
    std::u16string summary;   // what is wrong, short enough for the error screen's box
    // detail: UTF-8, with the file, the field and the byte, for the tools and the terminal.
    explicit Data_Error(const std::string& detail, std::u16string short_text = DAMAGED)
        : std::runtime_error(detail), summary(std::move(short_text)) {}
    static constexpr const char16_t* DAMAGED = u"檔案損壞";
    static constexpr const char16_t* TRUNCATED = u"檔案不完整";
    static constexpr const char16_t* BAD_COUNT = u"數量錯誤";
    static constexpr const char16_t* MAP_TOO_LARGE = u"地圖太大";
};

// Reads little-endian fields front to back from a file's bytes: all at hand (a file already in
// memory), or brought in pieces from an open file, so that a large file is never held twice. Every
// read past the end throws Data_Error naming the file and the field.
struct Byte_Reader {
    Byte_Reader(const std::string& all, std::string name)
        : data(all.data()), size(all.size()), file_size(all.size()), file_name(std::move(name)) {}
    // Reads `input` as the fields are taken, keeping the bytes at hand in `piece`.
    Byte_Reader(Input_File& input, std::vector<char>& piece, std::string name)
        : file_size(size_t(input.size)), file_name(std::move(name)), source(&input), buffer(&piece) {}

    const char* data = nullptr;   // the bytes at hand
    size_t size = 0;              // how many
    size_t pos = 0;               // the next one to take, within data
    size_t offset = 0;            // the file position of data[0]; 0 while everything is at hand
    size_t file_size = 0;
    std::string file_name;   // UTF-8, for messages

    size_t At() const { return offset + pos; }
    size_t Remaining() const { return file_size - At(); }
    // At least n bytes at hand from pos on; false when the file ends first.
    bool Have(size_t n) { return size - pos >= n || (source && Bring(n)); }
    int16_t Int16(std::string_view field);
    // An int16 count that a valid file never has below 1; a smaller one throws Data_Error.
    int16_t Count(std::string_view field);
    // A counted string: int16 byte count, then that many bytes of UTF-16LE; a count of 0 or less
    // is "" and consumes only the count. An odd count keeps the whole characters and drops the
    // lone last byte (still consumed).
    std::u16string Counted_String(std::string_view field);
    // Throws Data_Error: "<file>: file ends at byte <size>, inside <what> (from byte <start>)".
    [[noreturn]] void Fail_Short(std::string_view what, size_t start) const;

private:
    bool Bring(size_t n);
    Input_File* source = nullptr;   // null: everything is at hand
    std::vector<char>* buffer = nullptr;
};

inline std::u16string Read_Counted_String(Byte_Reader& reader) { return reader.Counted_String("a counted string"); }

// Appends little-endian fields; the exact mirror of Byte_Reader.
struct Byte_Writer {
    std::string bytes;
    void Int16(int16_t value);
    // Throws Data_Error for a text longer than 16383 characters (its byte count would not fit).
    void Counted_String(const std::u16string& text);
};

struct Map_Image {
    std::u16string file_name;
    int16_t id = 0;
    Surface surface;
};

struct Ground_Cell {
    int16_t source_x = 0, source_y = 0;
    int16_t blocked = 0;   // 0 free, -1 blocked
    int16_t image_id = 0;
    std::u16string text;
    bool operator==(const Ground_Cell&) const = default;
};

struct Piece_Cell {
    int16_t source_x = 0, source_y = 0, offset_x = 0, offset_y = 0, width = 0, height = 0;
    int16_t present = 0, image_id = 0;
    bool operator==(const Piece_Cell&) const = default;
};

// A grid indexed (x, y), stored row by row.
template <class Cell>
struct Cell_Grid {
    int32_t width = 0, height = 0;
    std::vector<Cell> cells;
    void Resize(int32_t w, int32_t h) {
        width = w;
        height = h;
        cells.assign(size_t(w) * size_t(h), Cell{});
    }
    Cell& operator()(int32_t x, int32_t y) { return cells[size_t(y) * size_t(width) + size_t(x)]; }
    const Cell& operator()(int32_t x, int32_t y) const { return cells[size_t(y) * size_t(width) + size_t(x)]; }
};

constexpr int16_t MAX_MAP_SIDE = 1600;   // larger maps overflow the scene's 16-bit arithmetic

struct Map_Model {
    int16_t Map_Image_Count = 0;
    std::vector<Map_Image> Map_Images;
    // The index into Map_Images that Find_Image_Index gives for each id (entry id + 32768), made
    // by Index_Map_Images when the file is parsed, so that drawing resolves a cell's picture
    // without a search. Empty in a model built by hand: the look-up then scans.
    std::vector<int16_t> Image_Index;
    int16_t Map_Width = 0, Map_Height = 0;
    Cell_Grid<Ground_Cell> Ground_Grid;
    Cell_Grid<Piece_Cell> Object_Grid;
    Cell_Grid<Piece_Cell> Overlay_Grid;
};

// Index of the first image of the model with the id; 0 when none has it.
int16_t Find_Image_Index(const Map_Model& model, int16_t id);
// Makes model.Image_Index from Map_Images; called again by whoever changes the images' ids.
void Index_Map_Images(Map_Model& model);

// Parses a map file's bytes (the surfaces stay empty). Throws Data_Error on a damaged file:
// shorter than its counts, N, W or H below 1, or W or H above MAX_MAP_SIDE.
Map_Model Parse_Map(const std::string& bytes, const std::string& file_name);
// Parses into an existing model, reusing its grids' storage when the size is unchanged (a reload
// of the same map allocates nothing). On Data_Error the model is left half-filled.
void Parse_Map_Into(const std::string& bytes, const std::string& file_name, Map_Model& model);
// The same from an open file, read a piece at a time as the parse goes, so that a large map's
// bytes are never all held at once; the errors are the same as for the file's bytes.
void Parse_Map_File_Into(Input_File& input, const std::string& file_name, Map_Model& model);
// The model's cells repeated across and down to fill width x height cells (its images kept), for
// large test and load worlds.
Map_Model Repeat_Map(const Map_Model& model, int16_t width, int16_t height);
// The file bytes of a model; Parse_Map(Write_Map(m)) gives m back. The counts come from the
// tables and grids; Data_Error when the grids disagree on the size or a text is too long.
std::string Write_Map(const Map_Model& model);
