// tiled.h -- maps in the Tiled map editor's formats: what `isodata export-tiled` writes and
// `isodata import-tiled` reads (TMX and Tiled's JSON, tilesets embedded or in .tsx/.tsj files).
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "map/map_file.h"

// A Tiled file that cannot become a map: "<file>: <element>: <what>".
struct Tiled_Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws Tiled_Error "<where>: <what>".
[[noreturn]] inline void Tiled_Fail(const std::string& where, const std::string& what) {
    throw Tiled_Error(where + ": " + what);
}

// The bytes of a file by its path; nothing when it cannot be read. Tests and the fuzz harness
// hand in files from memory.
using File_Reader = std::function<std::optional<std::string>(const std::string& path)>;

struct Tiled_Property {
    std::string name, type, value;   // value as text whatever its type
};
using Tiled_Properties = std::vector<Tiled_Property>;

struct Tiled_Tile {
    int64_t id = 0;
    std::string image;   // path as resolved from the tileset's folder; "" in a one-picture tileset
    std::string trans;   // colour key as rrggbb, "" for none
    Tiled_Properties properties;
};

struct Tiled_Tileset {
    std::string where;    // "<file>: tileset \"name\"", for messages
    std::string folder;   // the folder its pictures are named from
    int64_t first_gid = 0;
    std::string name;
    int64_t tile_width = 0, tile_height = 0, columns = 0, tile_count = 0, spacing = 0, margin = 0;
    int64_t offset_x = 0, offset_y = 0;
    std::string object_alignment;    // "" when unspecified
    std::string image, trans;        // a one-picture tileset: the picture, cut into a grid
    std::vector<Tiled_Tile> tiles;   // the tiles that have pictures (a collection) or properties
};

struct Tiled_Object {
    int64_t id = 0;
    uint32_t gid = 0;   // 0: not a tile object
    double x = 0, y = 0, width = 0, height = 0, rotation = 0;
    bool visible = true, has_text = false;
    std::string text;
    Tiled_Properties properties;
};

struct Tiled_Layer {
    bool tiles = true;   // a tile layer; else an object layer
    std::string name, where;
    int64_t width = 0, height = 0;
    std::vector<uint32_t> gids;   // width x height, row by row, flip bits kept
    std::vector<Tiled_Object> objects;
};

struct Tiled_Map {
    std::string file;
    int64_t width = 0, height = 0;
    Tiled_Properties properties;
    std::vector<Tiled_Tileset> tilesets;   // in first-gid order as the file lists them
    std::vector<Tiled_Layer> layers;       // tile and object layers, groups flattened
    std::vector<std::string> notes;        // layers left out
};

// Reads a TMX or JSON map (told apart by the first character) and its external tilesets, layer
// data decoded (CSV, XML, base64 plain or with zlib, gzip or zstd). Throws Tiled_Error for what
// the game cannot have: an orientation other than isometric, tiles other than 40 x 20, an
// infinite map, a map or layer beyond the map file's sizes, a missing tileset, damaged data.
Tiled_Map Read_Tiled_Map(const std::string& path, const File_Reader& read);

struct Tiled_Import {
    Map_Model map;
    std::vector<std::pair<std::string, std::string>> pictures;   // host path, BMP bytes
    std::vector<std::string> notes;
};
// The map file's model of a Tiled map, and the 24-bit BMP sheets for tiles that came as pictures
// (under program_folder/images, named after map_stem). Throws Tiled_Error.
Tiled_Import Import_Tiled(const std::string& path, const File_Reader& read, const std::string& program_folder,
                          const std::string& map_stem);

// The files of a map in Tiled's form, relative to the folder they go into: NAME.tmx, its
// tilesets and their pictures, cut from the map's pictures under program_folder. Throws
// Tiled_Error when a picture cannot be read.
std::vector<std::pair<std::string, std::string>> Export_Tiled(const Map_Model& map, const std::string& program_folder,
                                                              const std::string& name);

// The map's geometry in Tiled. Game pixels put the tile origin of cell (x, y) at
// (20 (x - y), 10 (x + y)); Tiled's object coordinates on an isometric map of 40 x 20 tiles put
// a point at game pixel (px - py + 20, (px + py) / 2).
struct Tiled_Point {
    double x = 0, y = 0;
};
inline Tiled_Point Game_To_Tiled(double game_x, double game_y) {
    return {(game_x - 20 + 2 * game_y) / 2, (2 * game_y - game_x + 20) / 2};
}
inline Tiled_Point Tiled_To_Game(double px, double py) { return {px - py + 20, (px + py) / 2}; }
// The cell a piece of w x h drawn at game pixel (left, top) stands on: the one under a point
// just above its bottom middle.
void Foot_Cell(double left, double top, double w, double h, int64_t& cell_x, int64_t& cell_y);
// A text Tiled keeps exactly (no control characters, lone surrogates or surrounding blanks);
// others travel also as hex code units in a property named NAME_utf16.
bool Tiled_Keeps(const std::u16string& text);
std::string Utf16_Hex(const std::u16string& text);
