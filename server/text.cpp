// text.cpp -- quoting client text for the log, the rules for names, operator text on the wire.
#include "text.h"

#include <cstdio>

#include "platform/encoding.h"
#include "wire/wire.h"

std::string Quote_Text(const std::u16string& text, size_t max) {
    std::u16string shown;
    for (size_t i = 0; i < text.size() && i < max; ++i) {
        const char16_t c = text[i];
        if (c == u'"' || c == u'\\') {
            shown += u'\\';
            shown += c;
        } else if (c == u'\n') {
            shown += u"\\n";
        } else if (c == u'\r') {
            shown += u"\\r";
        } else if (c == u'\t') {
            shown += u"\\t";
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029 ||
                   (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
            // Terminal controls, and the marks that reorder text on the operator's screen.
            char hex[12];
            std::snprintf(hex, sizeof hex, c < 0x100 ? "\\x%02X" : "\\u%04X", unsigned(c));
            shown += From_Utf8(hex);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            shown += u'?';   // half of a pair: never printed alone
        } else {
            shown += c;
        }
    }
    std::string out;
    out.reserve(shown.size() * 3 + 2);
    out += '"';
    out += To_Utf8(shown);
    out += '"';
    if (text.size() > max) out += "... (" + std::to_string(text.size()) + " characters)";
    return out;
}

std::string Quote_Bytes(std::string_view bytes, size_t max) {
    // Four bytes a character at most in code page 950 text; more is never shown.
    const size_t take = std::min(bytes.size(), max * 4 + 4);
    std::string out = Quote_Text(From_Cp950(std::string(bytes.substr(0, take))), max);
    if (take < bytes.size() && out.back() == '"') out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

std::string Name_Problem(const std::u16string& name, size_t max_chars) {
    if (name.empty()) return "empty";
    if (name.size() > max_chars) return "longer than " + std::to_string(max_chars) + " characters";
    for (const char16_t c : name) {
        if (c < 0x20 || c == 0x7F) return "a control character";
        if (c == u'\\') return "a backslash";
        if (c == 0xFFFD) return "bytes that are no text";
    }
    const std::string bytes = To_Cp950(name);
    if (From_Cp950(bytes) != name) return "characters that code page 950 cannot hold";
    // In "/setpl" the name is the last field, followed by the terminator.
    if ((bytes + std::string(WIRE_TERMINATOR)).find(WIRE_TERMINATOR) != bytes.size()) return "the terminator in it";
    if (bytes.back() == '/') return "a \"/\" at its end";
    return "";
}

std::u16string Field_Safe(const std::u16string& text) {
    std::u16string out;
    for (const char16_t c : text)
        if (c >= 0x20 && c != 0x7F && c != u'\\' && c != u'/') out += c;
    return out;
}
