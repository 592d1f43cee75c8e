// settings.cpp -- the settings file's lines.
#include "platform/settings.h"

#include <algorithm>

#include "platform/tls_common.h"

namespace {

std::string Trim(const std::string& text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return text;
}

// The text as it may go to a terminal: control characters shown as "?".
std::string Printable(std::string text) {
    for (char& c : text)
        if ((unsigned char)c < 0x20 || c == 0x7F) c = '?';
    return text;
}

// Why the line cannot be taken; empty when it was applied.
std::string Apply(const std::string& key, const std::string& value, Client_Settings& settings) {
    if (key == "server") {
        if (value.empty()) {
            settings.server_host.clear();   // said outright: offline
            settings.server_port = 0;
            return "";
        }
        if (!Parse_Server_Address(value, settings.server_host, settings.server_port))
            return "server wants HOST:PORT, got '" + Printable(value) + "'";
        return "";
    }
    if (key == "fullscreen") {
        const std::string v = Lower(value);
        if (v == "yes" || v == "true" || v == "on" || v == "1") {
            settings.windowed = false;
        } else if (v == "no" || v == "false" || v == "off" || v == "0") {
            settings.windowed = true;
        } else {
            return "fullscreen wants yes or no, got '" + Printable(value) + "'";
        }
        return "";
    }
    if (key == "plain") {
        const std::string v = Lower(value);
        if (v == "yes" || v == "true" || v == "on" || v == "1") {
            settings.plain = true;
        } else if (v == "no" || v == "false" || v == "off" || v == "0") {
            settings.plain = false;
        } else {
            return "plain wants yes or no, got '" + Printable(value) + "'";
        }
        return "";
    }
    if (key == "server_key") {
        const std::string fingerprint = Normal_Fingerprint(value);
        if (fingerprint.empty() && !value.empty())
            return "server_key wants SHA256: and 64 hex digits, got '" + Printable(value) + "'";
        settings.server_key = fingerprint;
        return "";
    }
    if (key == "scale") {
        if (!Parse_Whole_Number(value, MIN_WINDOW_SCALE, MAX_WINDOW_SCALE, settings.window_scale))
            return "scale wants a whole number from " + std::to_string(MIN_WINDOW_SCALE) + " to " +
                   std::to_string(MAX_WINDOW_SCALE) + ", got '" + Printable(value) + "'";
        return "";
    }
    return "unknown key '" + Printable(key) + "'";
}

}   // namespace

bool Parse_Whole_Number(const std::string& text, int32_t low, int32_t high, int32_t& value) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    const int32_t n = std::stoi(text);
    if (n < low || n > high) return false;
    value = n;
    return true;
}

bool Parse_Server_Address(const std::string& text, std::string& host, uint16_t& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    std::string name = text.substr(0, colon);
    if (name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    int32_t number = 0;
    if (name.empty() || !Parse_Whole_Number(text.substr(colon + 1), 1, 65535, number)) return false;
    host = name;
    port = uint16_t(number);
    return true;
}

void Parse_Settings(const std::string& text, Client_Settings& settings, std::vector<std::string>& problems) {
    size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (int line_number = 1; start <= text.size(); ++line_number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#' || (line.front() == '[' && line.back() == ']')) continue;
        const size_t equals = line.find('=');
        std::string why = equals == std::string::npos
                              ? "not 'key = value': '" + Printable(line) + "'"
                              : Apply(Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)), settings);
        if (!why.empty()) problems.push_back("line " + std::to_string(line_number) + ": " + why);
    }
}

Command_Line Apply_Command_Line(const std::vector<std::string>& args, Client_Settings& settings, std::string& error) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (arg == "--help" || arg == "-h") return Command_Line::Help;
        if (arg == "--windowed" || arg == "--fullscreen") {
            settings.windowed = arg == "--windowed";
        } else if (arg == "--scale" && has_value) {
            if (!Parse_Whole_Number(args[++i], MIN_WINDOW_SCALE, MAX_WINDOW_SCALE, settings.window_scale)) {
                error = "--scale wants " + std::to_string(MIN_WINDOW_SCALE) + " to " +
                        std::to_string(MAX_WINDOW_SCALE) + ", got '" + Printable(args[i]) + "'";
                return Command_Line::Bad;
            }
        } else if (arg == "--connect" && has_value) {
            if (!Parse_Server_Address(args[++i], settings.server_host, settings.server_port)) {
                error = "--connect wants HOST:PORT, got '" + Printable(args[i]) + "'";
                return Command_Line::Bad;
            }
        } else if (arg == "--plain") {
            settings.plain = true;
        } else if (arg == "--offline") {
            settings.server_host.clear();
            settings.server_port = 0;
        } else {
            error = "unknown option '" + Printable(arg) + "'";
            return Command_Line::Bad;
        }
    }
    return Command_Line::Run;
}
