// cp950.cpp -- code page 950 both ways, on any bytes. The first byte chooses the direction; the
// rest is wire bytes or UTF-16LE text. Wire bytes decode to at most one character a byte, and
// those characters encode and decode again to themselves ("?" for one without a code); text
// encodes to bytes that decode to its characters, one for one, and framed it is cut back as one
// message; a typed character's input code names that character's code again.
#include "fuzz/fuzz.h"
#include "platform/encoding.h"
#include "wire/wire.h"

namespace {

// Each character of `back` is the one of `text` at its place, or "?" where text had one that the
// code page has no code for. A surrogate pair of text is one character.
bool Same_Or_Unknown(const std::u16string& text, const std::u16string& back) {
    size_t i = 0, j = 0;
    for (; i < text.size() && j < back.size(); ++j) {
        const char16_t c = text[i];
        const bool pair =
            c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
        if (pair) {
            if (back[j] != u'?') return false;
            i += 2;
            continue;
        }
        if (back[j] != c && !(back[j] == u'?' && c >= 0x80)) return false;
        ++i;
    }
    return i == text.size() && j == back.size();
}

void Wire_Bytes(const std::string& bytes) {
    const std::u16string text = From_Cp950(bytes);
    Fuzz_Require(text.size() <= bytes.size(), "at most one character a byte");
    std::u16string known = text;
    for (char16_t& c : known)
        if (c == u'\uFFFD') c = u'?';
    Fuzz_Require(Same_Or_Unknown(known, From_Cp950(To_Cp950(text))), "decoded text encodes and decodes to itself");
}

void Text(const std::u16string& text) {
    const std::string bytes = To_Cp950(text);
    Fuzz_Require(Same_Or_Unknown(text, From_Cp950(bytes)), "text encodes to bytes that decode to its characters");
    // Escaped text can hold no terminator, whatever its characters' bytes.
    Message_Stream stream;
    stream.bytes = Encode_Message(CMD_SAY, Escape_Text(text));
    std::string message;
    size_t length = 0;
    const Cut_Result cut = Cut_Message(stream, stream.bytes.size(), message, length);
    std::u16string command, data;
    Split_Message(From_Cp950(message), command, data);
    Fuzz_Require(cut == Cut_Result::Message && stream.bytes.empty() && command == CMD_SAY &&
                     Unescape_Text(data) == From_Cp950(bytes),
                 "an escaped text framed is cut back as one message holding it");
    for (const char16_t c : text) {
        const int16_t code = Input_Code(c);
        if (code == 0) continue;
        const char16_t typed = Input_Char(code);
        Fuzz_Require(typed != 0 && Input_Code(typed) == code, "an input code names a character with that code");
    }
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        Wire_Bytes(Fuzz_Bytes(data + 1, size - 1));
    } else {
        std::u16string text((size - 1) / 2, u'\0');
        for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
        Text(text);
    }
    return 0;
}
