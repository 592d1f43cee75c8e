// options.h -- isoserver's settings: one table of options that the command line and the
// configuration file ("key = value" lines) both fill, and the help text made from it.
#pragma once
#include <string>
#include <vector>

#include "game.h"
#include "net.h"

struct Server_Config {
    Game_Options game;
    Net_Options net;
    std::string map_file = "data/testmap.map";
    std::string db_file;              // "": isoserver.db beside the map
    std::string tls_cert, tls_key;    // "": made beside the database
    bool stdin_commands = false;      // the end of standard input ends the server
    std::string http;                 // the side port's ADDR:PORT; "": none
    std::string name;                 // on the status page; "": the host name
    int32_t backup_every_hours = 0;   // 0: no backups by the server itself
    size_t backup_keep = 7;
    std::vector<std::string> command;   // what follows the options ("user add NAME")
};

// Fills `config` from the arguments (and the file of "--config FILE", read where it stands, so
// later options override it). 0: go on; 1: help printed, stop with status 0; 2: an error,
// printed on standard error.
int Parse_Arguments(int argc, char** argv, Server_Config& config);
// Applies the "key = value" lines of a configuration file; false with the reasons in `error`.
bool Apply_Config_Text(const std::string& text, const std::string& file_name, Server_Config& config,
                       std::string& error);
std::string Help_Text();
// The database file: --db, else isoserver.db in the map's folder.
std::string Database_Path(const Server_Config& config);
