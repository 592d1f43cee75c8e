// cli.cpp -- isodata's commands and their arguments.
#include "tools/isodata/cli.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>
#include <optional>

#include "display/bitmap.h"
#include "platform/files.h"
#include "tools/isodata/check.h"
#include "tools/isodata/json_form.h"
#include "tools/isodata/png.h"
#include "tools/isodata/preview.h"
#include "tools/isodata/tiled.h"

namespace {

const char* const USAGE =
    "usage: isodata COMMAND [OPTIONS] ARGUMENTS\n"
    "Reads and writes the game's data files: maps (.map), character files (.ple) and animation files\n"
    "(.ani or any other name).\n"
    "\n"
    "commands:\n"
    "  dump FILE                  print the file as JSON\n"
    "  build FILE.json OUT        write the data file a JSON document describes\n"
    "  check FILE...              list everything in the files that would go wrong in the game\n"
    "  preview MAP OUT.png        draw the whole map into one picture (.bmp for a BMP file)\n"
    "  export-tiled MAP DIR       write DIR/NAME.tmx, a map the Tiled editor opens, with its tilesets\n"
    "  import-tiled FILE MAP      write the map a Tiled map (.tmx, .tmj or .json) describes\n"
    "\n"
    "Run 'isodata COMMAND --help' for a command's options.\n";

const char* const DUMP_HELP =
    "usage: isodata dump [--type map|ple|ani] FILE\n"
    "Prints FILE as JSON on standard output. The type comes from the extension (.map, .ple, anything\n"
    "else is an animation file) unless --type gives it. Fields keep the names the game uses; strings\n"
    "are UTF-8; a map's grids are one array of rows per field (\"ground\": {\"blocked\": [[0, -1, ...], ...]});\n"
    "an action's \"sequence_ids\" are for the directions 1 to 8. 'isodata build' turns the JSON back into\n"
    "the same bytes.\n";

const char* const BUILD_HELP =
    "usage: isodata build FILE.json OUT\n"
    "Writes the data file that FILE.json describes (its \"type\" says which format) to OUT. Counts\n"
    "(\"image_count\", \"frame_count\", ...) may be left out; when given they must match their arrays.\n"
    "A document that would give a file the game cannot load is refused.\n";

const char* const CHECK_HELP =
    "usage: isodata check [--type map|ple|ani] [--program-folder DIR] FILE...\n"
    "Validates each file: its counts and size, ids that resolve (image, sheet and sequence ids), and\n"
    "the pictures it names, which must exist under the program folder and contain every rectangle\n"
    "that cells and frames cut out of them. A character file is checked against its animation file.\n"
    "Prints each problem as FILE: WHERE: WHAT. The program folder defaults to the folder holding\n"
    "isodata. Exit status 1 when there is any problem.\n";

const char* const PREVIEW_HELP =
    "usage: isodata preview [--program-folder DIR] MAP OUT.png\n"
    "Draws the whole map as the game draws it (ground, then objects, then overlay, row by row) into\n"
    "one picture and writes it as PNG, or as BMP when OUT ends in .bmp. The picture is the box around\n"
    "the map's diamond, as Tiled's tmxrasterizer frames it; pieces reaching beyond it are cut off.\n"
    "Pictures are looked for under the program folder (default: the folder holding isodata).\n";

const char* const EXPORT_HELP =
    "usage: isodata export-tiled [--program-folder DIR] MAP OUT_DIR\n"
    "Writes OUT_DIR/NAME.tmx (NAME from MAP) for the Tiled map editor: an isometric map of 40 x 20\n"
    "tiles with the layers ground, objects, overlay, blocked and texts, the tilesets ground.tsx,\n"
    "pieces.tsx and blocked.tsx, and their pictures cut from the map's pictures (looked for under the\n"
    "program folder). 'isodata import-tiled' of the result gives MAP back byte for byte.\n";

const char* const IMPORT_HELP =
    "usage: isodata import-tiled [--program-folder DIR] FILE MAP\n"
    "Writes MAP from a Tiled map, TMX or JSON, with tilesets embedded or in .tsx/.tsj files and layer\n"
    "data in any encoding Tiled writes. Tiles that isodata exported keep their place in the game's\n"
    "pictures; tiles that come as pictures (PNG or BMP) are put on new 24-bit BMP sheets, black being\n"
    "transparent, written to images/ under the program folder as images/NAME_0.bmp, ... Nothing is\n"
    "written when the map cannot be made.\n";

struct Options {
    std::optional<File_Type> type;
    std::string program_folder;
    std::vector<std::string> positional;
    bool help = false;
};

// Options of a command; false (with a message) on an unknown or incomplete option.
bool Parse_Options(const std::vector<std::string>& args, bool allow_type, bool allow_folder, Options& o,
                   std::ostream& err) {
    const std::string command = "isodata " + args[0] + ": ";
    const char* const type_needs = "--type needs map, ple or ani";
    CLI::App app(command);
    app.allow_windows_style_options(false);   // "/name" is a file's name, not an option
    app.set_help_flag();                      // each command's help text is ours
    app.allow_extras();                       // told below, in our words
    app.add_flag("-h,--help", o.help);
    if (allow_type)
        app.add_option_function<std::string>("--type",
                                             [&o, type_needs](const std::string& name) {
                                                 File_Type t;
                                                 if (!Parse_Type(name, t)) throw CLI::ValidationError(type_needs);
                                                 o.type = t;
                                             })
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    if (allow_folder)
        app.add_option("--program-folder", o.program_folder)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("arguments", o.positional);
    std::vector<std::string> reversed(args.rbegin(), args.rend() - 1);   // as CLI11 takes them
    std::string unknown;
    for (const std::string& a : args)
        if (a.starts_with("--") && a.find('=') != std::string::npos && unknown.empty())
            unknown = a;   // "--type map" only
    try {
        if (unknown.empty()) app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // An option without its value: "--type: 1 required TEXT missing".
        err << command << (std::string(e.what()).starts_with("--type") ? type_needs : "--program-folder needs a folder")
            << "\n";
        return false;
    } catch (const CLI::ParseError& e) {
        err << command << e.what() << "\n";
        return false;
    }
    for (const std::string& a : app.remaining())
        if (unknown.empty() && a.size() > 1 && a[0] == '-') unknown = a;
    if (!unknown.empty()) {
        err << command << "unknown option " << unknown << "\n";
        return false;
    }
    return true;
}

// JSON with arrays of plain values on one line, so a grid prints one row a line.
void Print_Json(const nlohmann::ordered_json& j, std::ostream& out, int indent) {
    const std::string pad(size_t(indent) * 2, ' '), inner(size_t(indent + 1) * 2, ' ');
    if (j.is_object()) {
        if (j.empty()) {
            out << "{}";
            return;
        }
        out << "{\n";
        size_t i = 0;
        for (auto it = j.begin(); it != j.end(); ++it, ++i) {
            out << inner << nlohmann::json(it.key()).dump() << ": ";
            Print_Json(it.value(), out, indent + 1);
            out << (i + 1 < j.size() ? ",\n" : "\n");
        }
        out << pad << "}";
    } else if (j.is_array()) {
        bool flat = true;
        for (const auto& e : j) flat = flat && !e.is_structured();
        if (flat) {
            out << "[";
            for (size_t i = 0; i < j.size(); ++i) out << (i ? ", " : "") << j[i].dump();
            out << "]";
            return;
        }
        out << "[\n";
        for (size_t i = 0; i < j.size(); ++i) {
            out << inner;
            Print_Json(j[i], out, indent + 1);
            out << (i + 1 < j.size() ? ",\n" : "\n");
        }
        out << pad << "]";
    } else {
        out << j.dump();
    }
}

bool Write_Bytes(const std::string& path, const std::string& bytes, std::ostream& err) {
    if (!Write_Whole_File(path, bytes)) {
        err << "isodata: cannot write " << path << "\n";
        return false;
    }
    return true;
}

std::optional<std::string> Read_Input(const std::string& path, std::ostream& err) {
    std::optional<std::string> bytes = File_Exists(path) ? Read_Whole_File(path) : std::nullopt;
    if (!bytes) err << "isodata: cannot read " << path << "\n";
    return bytes;
}

int Dump(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    if (!Parse_Options(args, true, false, o, err)) return 2;
    if (o.help) {
        out << DUMP_HELP;
        return 0;
    }
    if (o.positional.size() != 1) {
        err << "isodata dump: needs exactly one FILE\n" << DUMP_HELP;
        return 2;
    }
    const std::string& path = o.positional[0];
    const File_Type type = o.type.value_or(Type_From_Name(path));
    std::optional<std::string> bytes = Read_Input(path, err);
    if (!bytes) return 1;
    try {
        nlohmann::ordered_json j;
        std::string again;
        switch (type) {
            case File_Type::Map: {
                Map_Model m = Parse_Map(*bytes, path);
                j = Map_To_Json(m);
                again = Write_Map(m);
                break;
            }
            case File_Type::Ple: {
                Character_File c = Parse_Character_File(*bytes, path);
                j = Characters_To_Json(c);
                again = Write_Character_File(c);
                break;
            }
            case File_Type::Ani: {
                Animation_Data a = Parse_Animation_File(*bytes, path);
                j = Animations_To_Json(a);
                again = Write_Animation_File(a);
                break;
            }
        }
        Print_Json(j, out, 0);
        out << "\n";
        if (again != *bytes)
            err << "isodata dump: note: " << path
                << " holds bytes the JSON cannot carry (bytes after the last field, or a string with an odd or "
                   "negative byte count); building from this JSON gives a different file\n";
    } catch (const Data_Error& e) {
        err << "isodata dump: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    if (!Parse_Options(args, false, false, o, err)) return 2;
    if (o.help) {
        out << BUILD_HELP;
        return 0;
    }
    if (o.positional.size() != 2) {
        err << "isodata build: needs FILE.json and OUT\n" << BUILD_HELP;
        return 2;
    }
    std::optional<std::string> text = Read_Input(o.positional[0], err);
    if (!text) return 1;
    std::string problem;
    const std::optional<std::string> bytes = Build_From_Json(*text, o.positional[0], o.positional[1], problem);
    if (!bytes) {
        err << "isodata build: " << problem << "\n";
        return 1;
    }
    return Write_Bytes(o.positional[1], *bytes, err) ? 0 : 1;
}

int Check(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
          std::ostream& err) {
    Options o;
    o.program_folder = default_folder;
    if (!Parse_Options(args, true, true, o, err)) return 2;
    if (o.help) {
        out << CHECK_HELP;
        return 0;
    }
    if (o.positional.empty()) {
        err << "isodata check: needs at least one FILE\n" << CHECK_HELP;
        return 2;
    }
    size_t total = 0;
    for (const std::string& path : o.positional) {
        std::vector<std::string> warnings;
        const std::vector<std::string> problems =
            Check_File(path, o.type.value_or(Type_From_Name(path)), o.program_folder, 200, &warnings);
        for (const std::string& line : problems) out << line << "\n";
        for (const std::string& line : warnings) out << line << "\n";   // reported, not failed
        if (problems.empty()) out << path << ": ok\n";
        total += problems.size();
    }
    return total > 0 ? 1 : 0;
}

int Preview_Command(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
                    std::ostream& err) {
    Options o;
    o.program_folder = default_folder;
    if (!Parse_Options(args, false, true, o, err)) return 2;
    if (o.help) {
        out << PREVIEW_HELP;
        return 0;
    }
    if (o.positional.size() != 2) {
        err << "isodata preview: needs MAP and OUT\n" << PREVIEW_HELP;
        return 2;
    }
    const std::string& out_path = o.positional[1];
    std::optional<std::string> bytes = Read_Input(o.positional[0], err);
    if (!bytes) return 1;
    try {
        const Map_Model map = Parse_Map(*bytes, o.positional[0]);
        const Preview preview = Render_Map(map, o.program_folder);
        for (const std::string& w : preview.warnings) err << "isodata preview: " << w << "\n";
        const bool bmp = out_path.size() >= 4 && (out_path.compare(out_path.size() - 4, 4, ".bmp") == 0 ||
                                                  out_path.compare(out_path.size() - 4, 4, ".BMP") == 0);
        const std::string picture = bmp ? Encode_Bmp(preview.picture) : Encode_Png(preview.picture);
        if (picture.empty()) {
            err << "isodata preview: libpng could not encode the picture\n";
            return 1;
        }
        if (!Write_Bytes(out_path, picture, err)) return 1;
        out << "wrote " << out_path << " (" << preview.picture.width << " x " << preview.picture.height << ")\n";
    } catch (const Data_Error& e) {
        err << "isodata preview: " << e.what() << "\n";
        return 1;
    } catch (const std::runtime_error& e) {
        err << "isodata preview: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

bool Write_Files(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& files,
                 std::ostream& err) {
    for (const auto& [name, bytes] : files) {
        std::string path = folder;
        if (!path.empty()) path += '/';
        path += name;
        std::error_code ec;
        std::filesystem::create_directories(File_System_Path(path).parent_path(), ec);
        if (!Write_Bytes(path, bytes, err)) return false;
    }
    return true;
}

std::string Stem_Of(const std::string& path) {
    std::string stem = Host_Path_Of(File_System_Path(path).stem());
    return stem.empty() ? "map" : stem;
}

int Export_Tiled_Command(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
                         std::ostream& err) {
    Options o;
    o.program_folder = default_folder;
    if (!Parse_Options(args, false, true, o, err)) return 2;
    if (o.help) {
        out << EXPORT_HELP;
        return 0;
    }
    if (o.positional.size() != 2) {
        err << "isodata export-tiled: needs MAP and OUT_DIR\n" << EXPORT_HELP;
        return 2;
    }
    const std::string& path = o.positional[0];
    std::optional<std::string> bytes = Read_Input(path, err);
    if (!bytes) return 1;
    try {
        const Map_Model map = Parse_Map(*bytes, path);
        const std::string name = Stem_Of(path);
        const auto files = Export_Tiled(map, o.program_folder, name);
        if (!Write_Files(o.positional[1], files, err)) return 1;
        out << "wrote " << o.positional[1] << "/" << name << ".tmx and " << files.size() - 1 << " more files\n";
    } catch (const Data_Error& e) {
        err << "isodata export-tiled: " << e.what() << "\n";
        return 1;
    } catch (const Tiled_Error& e) {
        err << "isodata export-tiled: " << path << ": " << e.what() << "\n";
        return 1;
    }
    return 0;
}

int Import_Tiled_Command(const std::vector<std::string>& args, const std::string& default_folder, std::ostream& out,
                         std::ostream& err) {
    Options o;
    o.program_folder = default_folder;
    if (!Parse_Options(args, false, true, o, err)) return 2;
    if (o.help) {
        out << IMPORT_HELP;
        return 0;
    }
    if (o.positional.size() != 2) {
        err << "isodata import-tiled: needs FILE and MAP\n" << IMPORT_HELP;
        return 2;
    }
    const std::string& map_path = o.positional[1];
    try {
        const Tiled_Import imported = Import_Tiled(
            o.positional[0], [](const std::string& p) { return File_Exists(p) ? Read_Whole_File(p) : std::nullopt; },
            o.program_folder, Stem_Of(map_path));
        for (const std::string& note : imported.notes) err << "isodata import-tiled: note: " << note << "\n";
        const std::string bytes = Write_Map(imported.map);
        Parse_Map(bytes, map_path);   // only maps the game loads
        if (!Write_Files("", imported.pictures, err) || !Write_Bytes(map_path, bytes, err)) return 1;
        out << "wrote " << map_path << " (" << imported.map.Map_Width << " x " << imported.map.Map_Height;
        if (!imported.pictures.empty()) out << ", " << imported.pictures.size() << " new pictures";
        out << ")\n";
    } catch (const Tiled_Error& e) {
        err << "isodata import-tiled: " << e.what() << "\n";
        return 1;
    } catch (const Data_Error& e) {
        err << "isodata import-tiled: the game could not load the result: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

}   // namespace

std::optional<std::string> Build_From_Json(const std::string& json_text, const std::string& json_name,
                                           const std::string& out_name, std::string& problem) {
    const nlohmann::json doc = nlohmann::json::parse(json_text, nullptr, false);
    if (doc.is_discarded()) {
        problem = json_name + " is not valid JSON";
        return std::nullopt;
    }
    try {
        File_Type type;
        std::string bytes = Json_To_File(doc, type);
        switch (type) {   // only files the game can load
            case File_Type::Map: Parse_Map(bytes, out_name); break;
            case File_Type::Ple: Parse_Character_File(bytes, out_name); break;
            case File_Type::Ani: Parse_Animation_File(bytes, out_name); break;
        }
        return bytes;
    } catch (const Json_Error& e) { problem = json_name + ": " + e.what(); } catch (const Data_Error& e) {
        problem = std::string("the game could not load the result: ") + e.what();
    }
    return std::nullopt;
}

int Isodata_Main(const std::vector<std::string>& args, const std::string& default_program_folder, std::ostream& out,
                 std::ostream& err) {
    if (args.empty()) {
        err << USAGE;
        return 2;
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << USAGE;
        return 0;
    }
    if (command == "dump") return Dump(args, out, err);
    if (command == "build") return Build(args, out, err);
    if (command == "check") return Check(args, default_program_folder, out, err);
    if (command == "preview") return Preview_Command(args, default_program_folder, out, err);
    if (command == "export-tiled") return Export_Tiled_Command(args, default_program_folder, out, err);
    if (command == "import-tiled") return Import_Tiled_Command(args, default_program_folder, out, err);
    err << "isodata: unknown command \"" << command << "\"\n" << USAGE;
    return 2;
}
