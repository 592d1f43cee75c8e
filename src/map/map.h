// map.h -- the loaded map: reading the data files with their errors, the map and its pictures.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "map/map_file.h"

// The bytes of a data file at host_path; error 200 with `name` when it is not there (or the
// name was refused: no path).
std::string Read_Data_File(const std::u16string& name, const std::optional<std::string>& host_path);
// Runs parse; when it throws Data_Error, clear() drops what was half-read, the detail goes to
// standard error and error -32768 opens the error screen with the summary and `name`.
void Parse_Or_Raise(const std::u16string& name, const std::function<void()>& parse, void (*clear)());

extern Map_Model Map;   // the loaded map
void Reset_Map();

// Reads the map file (resolved against the current folder) into Map, then its images.
// Missing file: error 200 with the name; damaged file: error -32768.
void Load_Map(const std::u16string& path);
void Load_Map_Images();
// Index of the first image with the id; 0 when none has it.
int16_t Find_Map_Image(int16_t id);
