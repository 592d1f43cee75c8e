// settings_file.cpp -- isoclient.ini's bytes, as a player's editor may leave them. Every line
// taken is numbered after the one before, its key in lower case without spaces at its
// ends; the settings read keep their ranges.
#include "fuzz/fuzz.h"
#include "platform/key_value.h"
#include "platform/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = Fuzz_Bytes(data, size);
    int last = 0;
    for (const Key_Value_Line& line : Key_Value_Lines(text)) {
        Fuzz_Require(line.number > last, "lines numbered in order");
        last = line.number;
        // A value's quotes may keep spaces; a key has none at its ends.
        Fuzz_Require(line.key.empty() || (line.key.front() != ' ' && line.key.back() != ' '), "no spaces at the ends");
        for (const char c : line.key) Fuzz_Require(c < 'A' || c > 'Z', "keys in lower case");
    }
    Client_Settings settings;
    std::vector<std::string> problems;
    Parse_Settings(text, settings, problems);
    Fuzz_Require(settings.window_scale >= MIN_WINDOW_SCALE && settings.window_scale <= MAX_WINDOW_SCALE,
                 "the scale in its range");
    Fuzz_Require(settings.server_host.empty() == (settings.server_port == 0), "a host has its port");
    return 0;
}
