// key_value.h -- the "key = value" lines of isoclient.ini and of isoserver's configuration file,
// read by the same rules: a UTF-8 byte order mark and CR LF line ends are taken; blank lines,
// lines starting with "#" or ";" and "[section]" lines are skipped; a "#" after a space starts a
// comment; spaces around keys and values go, and so do double quotes around a value; keys are
// compared in lower case.
#pragma once
#include <optional>
#include <string>
#include <vector>

struct Key_Value_Line {
    int number = 0;     // from 1
    bool pair = true;   // false: the line has no "=" (`text` holds it)
    std::string key, value, text;
};

std::vector<Key_Value_Line> Key_Value_Lines(const std::string& text);
// yes, true, on, 1 and no, false, off, 0, in any case.
std::optional<bool> Parse_Yes_No(const std::string& text);
