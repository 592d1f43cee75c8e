// cp950_windows.cpp -- code page 950 through Windows' own conversion functions. A whole string is
// tried first; only when something in it fails is it taken one character at a time, so a failure
// never spills into its neighbours.
#include <windows.h>

#include "platform/encoding.h"

namespace {

constexpr UINT CP_BIG5 = 950;
constexpr size_t WHOLE_LIMIT = size_t(1) << 28;   // longer strings go piece by piece (the count is an int)

bool Is_High_Surrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool Is_Low_Surrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

// Appends the code page 950 bytes of count UTF-16 units; false (appending nothing) when any has
// no code. No best-fit: a character without its own code is not turned into a look-alike.
bool Encode(const char16_t* text, int count, std::string& out) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    BOOL used_default = FALSE;
    const int size =
        WideCharToMultiByte(CP_BIG5, WC_NO_BEST_FIT_CHARS, wide, count, nullptr, 0, nullptr, &used_default);
    if (size <= 0 || used_default) return false;
    const size_t start = out.size();
    out.resize(start + size_t(size));
    used_default = FALSE;
    const int written =
        WideCharToMultiByte(CP_BIG5, WC_NO_BEST_FIT_CHARS, wide, count, &out[start], size, nullptr, &used_default);
    if (written != size || used_default) {
        out.resize(start);
        return false;
    }
    return true;
}

// Appends the UTF-16 text of count bytes; false (appending nothing) when any of them is undecodable.
bool Decode(const char* bytes, int count, std::u16string& out) {
    const int size = MultiByteToWideChar(CP_BIG5, MB_ERR_INVALID_CHARS, bytes, count, nullptr, 0);
    if (size <= 0) return false;
    const size_t start = out.size();
    out.resize(start + size_t(size));
    if (MultiByteToWideChar(CP_BIG5, MB_ERR_INVALID_CHARS, bytes, count, reinterpret_cast<wchar_t*>(&out[start]),
                            size) != size) {
        out.resize(start);
        return false;
    }
    return true;
}

}   // namespace

std::string To_Cp950(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    if (text.empty() || (text.size() < WHOLE_LIMIT && Encode(text.data(), int(text.size()), out))) return out;
    for (size_t i = 0; i < text.size();) {
        // A surrogate pair is one character; a lone half is none and has no code.
        const bool pair = Is_High_Surrogate(text[i]) && i + 1 < text.size() && Is_Low_Surrogate(text[i + 1]);
        const int units = pair ? 2 : 1;
        const bool lone = !pair && (Is_High_Surrogate(text[i]) || Is_Low_Surrogate(text[i]));
        if (lone || !Encode(&text[i], units, out)) out += '?';
        i += size_t(units);
    }
    return out;
}

std::u16string From_Cp950(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    if (bytes.empty() || (bytes.size() < WHOLE_LIMIT && Decode(bytes.data(), int(bytes.size()), out))) return out;
    for (size_t i = 0; i < bytes.size();) {
        // A lead byte with its trail byte is one character; when they do not decode together,
        // U+FFFD stands for the lead byte and the trail byte is read again on its own.
        if (IsDBCSLeadByteEx(CP_BIG5, BYTE(bytes[i])) && i + 1 < bytes.size() && Decode(&bytes[i], 2, out)) {
            i += 2;
            continue;
        }
        if (!Decode(&bytes[i], 1, out)) out += u'\uFFFD';
        ++i;
    }
    return out;
}
