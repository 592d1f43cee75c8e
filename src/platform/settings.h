// settings.h -- the client's settings file, isoclient.ini beside the program, for players who
// start it without a command line: lines of "key = value" (the server's address, full screen or
// a window, the window's scale,
// TLS or the bare protocol, the server's published key); main reads it first, then lets the command line override it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Client_Settings {
    std::string server_host;   // empty: offline
    uint16_t server_port = 0;
    bool windowed = false;      // false: full screen
    int32_t window_scale = 2;   // a window is this many times 640 x 480
    bool plain = false;         // the bare protocol instead of TLS
    std::string server_key;     // the fingerprint the server must show ("SHA256:" and 64 hex digits)
};

constexpr int32_t MIN_WINDOW_SCALE = 1, MAX_WINDOW_SCALE = 8;
constexpr const char* SETTINGS_FILE_NAME = "isoclient.ini";
// Beside the program: the keys of servers met before, one "host:port SHA256:..." line each.
constexpr const char* KNOWN_SERVERS_FILE_NAME = "known_servers.txt";

// Applies the lines of text, in order, to settings. A damaged line (no "=", an unknown key, a
// value out of range) leaves settings as they were and adds "line N: why" to problems. The lines'
// rules are platform/key_value.h's.
void Parse_Settings(const std::string& text, Client_Settings& settings, std::vector<std::string>& problems);

// What the command line asks for once it has been applied.
enum class Command_Line { Run, Help, Bad };
// Applies the options of args (the program's name first) over settings, in order: --windowed,
// --fullscreen, --scale N, --connect HOST:PORT, --offline, --plain; --help or -h asks for the help
// text.
// Bad, with why in error, at the first option it cannot take.
Command_Line Apply_Command_Line(const std::vector<std::string>& args, Client_Settings& settings, std::string& error);

// Splits "host:port" (or "[v6 address]:port"); false when it is not that, the port not 1..65535.
bool Parse_Server_Address(const std::string& text, std::string& host, uint16_t& port);
// A whole number in range written in decimal digits only; false otherwise.
bool Parse_Whole_Number(const std::string& text, int32_t low, int32_t high, int32_t& value);
