// encoding.cpp -- UTF-16 <-> UTF-8, and the typed-character codes built on the code page 950
// conversion (cp950_iconv.cpp or cp950_windows.cpp).
#include "platform/encoding.h"

namespace {

void Append_Utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

}   // namespace

std::string To_Utf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;   // a lone surrogate
        }
        Append_Utf8(out, c);
    }
    return out;
}

std::u16string From_Utf8(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        unsigned char b = text[i];
        int extra = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        char32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
        bool ok = extra >= 0 && i + size_t(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char cont = text[i + k];
            if ((cont & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cont & 0x3F);
        }
        if (!ok) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += size_t(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::u16string Decimal(int32_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

int16_t Input_Code(char16_t c) {
    if (c < 0x80) return int16_t(c);
    std::string bytes = To_Cp950(std::u16string(1, c));
    if (bytes.size() != 2) return 0;
    return int16_t(uint16_t((uint8_t(bytes[0]) << 8) | uint8_t(bytes[1])));
}

char16_t Input_Char(int16_t code) {
    if (code >= 0 && code < 0x80) return char16_t(code);
    if (code >= 0) return 0;
    uint16_t u = uint16_t(code);
    std::string bytes{char(u >> 8), char(u & 0xFF)};
    std::u16string text = From_Cp950(bytes);
    return text.size() == 1 && text[0] != u'\uFFFD' ? text[0] : 0;
}
