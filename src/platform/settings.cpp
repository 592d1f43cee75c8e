// settings.cpp -- the settings file's lines.
#include "platform/settings.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "platform/key_value.h"
#include "platform/tls_common.h"

namespace {

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
        const std::optional<bool> yes = Parse_Yes_No(value);
        if (!yes) return "fullscreen wants yes or no, got '" + Printable(value) + "'";
        settings.windowed = !*yes;
        return "";
    }
    if (key == "plain") {
        const std::optional<bool> yes = Parse_Yes_No(value);
        if (!yes) return "plain wants yes or no, got '" + Printable(value) + "'";
        settings.plain = *yes;
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
    for (const Key_Value_Line& line : Key_Value_Lines(text)) {
        const std::string why =
            line.pair ? Apply(line.key, line.value, settings) : "not 'key = value': '" + Printable(line.text) + "'";
        if (!why.empty()) problems.push_back("line " + std::to_string(line.number) + ": " + why);
    }
}

Command_Line Apply_Command_Line(const std::vector<std::string>& args, Client_Settings& settings, std::string& error) {
    CLI::App app("isoclient");
    app.allow_windows_style_options(false);   // "/name" is a file's name, not an option
    app.set_help_flag();                      // the help text is main's
    app.allow_extras();                       // told below, in our words
    bool help = false;
    app.add_flag("-h,--help", help);
    // Each option applies as it comes, so that a later one overrides an earlier one.
    const auto windowed = [&settings](bool yes) { return [&settings, yes](int64_t) { settings.windowed = yes; }; };
    app.add_flag_function("--windowed", windowed(true))->trigger_on_parse();
    app.add_flag_function("--fullscreen", windowed(false))->trigger_on_parse();
    app.add_flag_function("--plain", [&settings](int64_t) { settings.plain = true; })->trigger_on_parse();
    app.add_flag_function("--offline",
                          [&settings](int64_t) {
                              settings.server_host.clear();
                              settings.server_port = 0;
                          })
        ->trigger_on_parse();
    app.add_option_function<std::string>(
           "--scale",
           [&settings](const std::string& value) {
               if (!Parse_Whole_Number(value, MIN_WINDOW_SCALE, MAX_WINDOW_SCALE, settings.window_scale))
                   throw CLI::ValidationError("--scale wants " + std::to_string(MIN_WINDOW_SCALE) + " to " +
                                              std::to_string(MAX_WINDOW_SCALE) + ", got '" + Printable(value) + "'");
           })
        ->trigger_on_parse();
    app.add_option_function<std::string>(
           "--connect",
           [&settings](const std::string& value) {
               if (!Parse_Server_Address(value, settings.server_host, settings.server_port))
                   throw CLI::ValidationError("--connect wants HOST:PORT, got '" + Printable(value) + "'");
           })
        ->trigger_on_parse();
    for (const std::string& arg : args)
        if (arg.starts_with("--") && arg.find('=') != std::string::npos) {   // "--scale 2" only
            error = "unknown option '" + Printable(arg) + "'";
            return Command_Line::Bad;
        }
    std::vector<std::string> reversed(args.rbegin(), args.rend());   // as CLI11 takes them
    if (!reversed.empty()) reversed.pop_back();                      // the program's name
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch& e) {
        // An option without its value: "--scale: 1 required TEXT missing".
        const std::string what = e.what();
        error = "unknown option '" + what.substr(0, what.find(':')) + "'";
        return Command_Line::Bad;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return Command_Line::Bad;
    }
    if (help) return Command_Line::Help;
    if (!app.remaining().empty()) {
        error = "unknown option '" + Printable(app.remaining().front()) + "'";
        return Command_Line::Bad;
    }
    return Command_Line::Run;
}
