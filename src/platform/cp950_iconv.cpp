// cp950_iconv.cpp -- code page 950 through iconv, one character at a time where a character may
// fail, so a failure never spills into its neighbours.
#include <iconv.h>

#include <cerrno>
#include <mutex>

#include "platform/encoding.h"

namespace {

// iconv reports a failed open as (iconv_t)-1.
const iconv_t NO_CONVERTER = reinterpret_cast<iconv_t>(-1);   // NOLINT(performance-no-int-to-ptr): iconv's own value

// An iconv descriptor opened once per direction and reused.
struct Converter {
    iconv_t cd;
    Converter(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Converter() {
        if (cd != NO_CONVERTER) iconv_close(cd);
    }
    // Converts all of in; returns false at the first sequence it cannot convert, with `used`
    // the input bytes consumed so far and out holding what was converted before it.
    bool Run(const char* in, size_t in_len, std::string& out, size_t& used) {
        used = 0;
        if (cd == NO_CONVERTER) return false;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in);
        size_t left = in_len;
        char buffer[256];
        while (left > 0) {
            char* dst = buffer;
            size_t room = sizeof buffer;
            size_t r = iconv(cd, &src, &left, &dst, &room);
            out.append(buffer, size_t(dst - buffer));
            if (r == size_t(-1) && errno != E2BIG) {
                used = in_len - left;
                return false;
            }
        }
        used = in_len;
        return true;
    }
};

Converter& Utf16_To_Cp950() {
    static Converter c("CP950", "UTF-16LE");
    return c;
}
Converter& Cp950_To_Utf16() {
    static Converter c("UTF-16LE", "CP950");
    return c;
}

std::string Utf16_Bytes(const char16_t* text, size_t count) {
    std::string bytes;
    bytes.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        bytes += char(text[i] & 0xFF);
        bytes += char(text[i] >> 8);
    }
    return bytes;
}

}   // namespace

std::string To_Cp950(const std::u16string& text) {
    static std::mutex lock;   // the tools may convert from more than one thread
    std::lock_guard guard(lock);
    std::string out;
    out.reserve(text.size() * 2);
    std::string bytes = Utf16_Bytes(text.data(), text.size());
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t used = 0;
        if (Utf16_To_Cp950().Run(bytes.data() + pos, bytes.size() - pos, out, used)) break;
        pos += used;
        // Skip the one character (two units for a surrogate pair) that has no code.
        char16_t c = char16_t(uint8_t(bytes[pos]) | (uint8_t(bytes[pos + 1]) << 8));
        char16_t next = pos + 3 < bytes.size() ? char16_t(uint8_t(bytes[pos + 2]) | (uint8_t(bytes[pos + 3]) << 8)) : 0;
        pos += (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) ? 4 : 2;
        out += '?';
    }
    return out;
}

std::u16string From_Cp950(const std::string& bytes) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::string out;
    out.reserve(bytes.size() * 2);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t used = 0;
        if (Cp950_To_Utf16().Run(bytes.data() + pos, bytes.size() - pos, out, used)) break;
        pos += used;
        // An undecodable lead byte: U+FFFD, then go on with the very next byte.
        out += char(0xFD);
        out += char(0xFF);
        pos += 1;
    }
    std::u16string text(out.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(uint8_t(out[2 * i]) | (uint8_t(out[2 * i + 1]) << 8));
    return text;
}
