// key_value.cpp -- the lines of the settings files.
#include "platform/key_value.h"

#include <algorithm>

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

}   // namespace

std::vector<Key_Value_Line> Key_Value_Lines(const std::string& text) {
    std::vector<Key_Value_Line> lines;
    size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (int number = 1; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#' || (line.front() == '[' && line.back() == ']')) continue;
        Key_Value_Line entry{number, true, "", "", line};
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            entry.pair = false;
            lines.push_back(std::move(entry));
            continue;
        }
        entry.key = Lower(Trim(line.substr(0, equals)));
        std::string value = line.substr(equals + 1);
        for (size_t hash = value.find('#'); hash != std::string::npos; hash = value.find('#', hash + 1))
            if (hash > 0 && (value[hash - 1] == ' ' || value[hash - 1] == '\t')) {
                value.erase(hash);
                break;
            }
        value = Trim(value);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        entry.value = std::move(value);
        lines.push_back(std::move(entry));
    }
    return lines;
}

std::optional<bool> Parse_Yes_No(const std::string& text) {
    const std::string v = Lower(text);
    if (v == "yes" || v == "true" || v == "on" || v == "1") return true;
    if (v == "no" || v == "false" || v == "off" || v == "0") return false;
    return std::nullopt;
}
