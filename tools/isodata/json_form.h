// json_form.h -- the three data files as JSON: what `isodata dump` prints and `isodata build` reads.
#pragma once
#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

#include "characters/animation.h"
#include "characters/character_file.h"
#include "characters/player.h"
#include "map/map_file.h"

enum class File_Type { Map, Ple, Ani };

// "map", "ple", "ani".
const char* Type_Name(File_Type type);
// By extension: .map, .ple, anything else is an animation file.
File_Type Type_From_Name(const std::string& path);
// Nothing unless the text names a type.
bool Parse_Type(const std::string& text, File_Type& type);

// A JSON document that does not describe a valid file: what is wrong and where (a JSON path).
struct Json_Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The parsed file's JSON ("type" first, then the fields by their names; grids as arrays of rows,
// one grid per field). Strings become UTF-8.
nlohmann::ordered_json Map_To_Json(const Map_Model& map);
nlohmann::ordered_json Characters_To_Json(const Character_File& file);
nlohmann::ordered_json Animations_To_Json(const Animation_Data& data);

// The file bytes a JSON document describes; its "type" says which format. Throws Json_Error.
std::string Json_To_File(const nlohmann::json& doc, File_Type& type);
