// wire.cpp -- the wire format: framing, escaping, cutting messages and fields.
#include "wire/wire.h"

#include <algorithm>

#include "platform/encoding.h"

namespace {

std::u16string Replace_All(std::u16string_view text, std::u16string_view from, std::u16string_view to) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 8);
    size_t pos = 0;
    for (;;) {
        const size_t hit = text.find(from, pos);
        if (hit == std::u16string_view::npos) break;
        out.append(text.substr(pos, hit - pos));
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text.substr(pos));
    return out;
}

// Drops the handled bytes once they are many, or all of them when nothing is left.
void Compact(Message_Stream& stream) {
    if (stream.pos == stream.bytes.size()) {
        stream.bytes.clear();
        stream.pos = 0;
    } else if (stream.pos >= 4096 && stream.pos * 2 >= stream.bytes.size()) {
        stream.bytes.erase(0, stream.pos);
        stream.pos = 0;
    }
}

}   // namespace

std::u16string Frame_Text(std::u16string_view command, std::u16string_view data) {
    std::u16string text;
    text.reserve(command.size() + data.size() + 1 + TEXT_TERMINATOR.size());
    text += command;
    text += u' ';
    text += data;
    text += TEXT_TERMINATOR;
    return text;
}

std::string Encode_Message(std::u16string_view command, std::u16string_view data) {
    return To_Cp950(Frame_Text(command, data));
}

std::string Frame_Bytes(std::u16string_view command, std::string_view data) {
    std::string bytes;
    bytes.reserve(command.size() + data.size() + 1 + WIRE_TERMINATOR.size());
    for (const char16_t c : command) bytes += char(c);   // command words are ASCII
    bytes += ' ';
    bytes += data;
    bytes += WIRE_TERMINATOR;
    return bytes;
}

std::u16string Escape_Text(std::u16string_view text) {
    return Replace_All(Replace_All(text, u"/", u"/#"), u"\\", u"/$");
}

std::u16string Unescape_Text(std::u16string_view text) {
    return Replace_All(Replace_All(text, u"/$", u"\\"), u"/#", u"/");
}

std::u16string Text_Before(const std::u16string& text, const std::u16string& separator) {
    if (text.size() < 2 || separator.empty()) return u"";
    const size_t hit = text.find(separator);
    if (hit == std::u16string::npos) return u"";
    return text.substr(0, hit);
}

std::u16string Text_After(const std::u16string& text, const std::u16string& separator) {
    if (text.size() < 2 || separator.empty()) return u"";
    const size_t hit = text.find(separator);
    if (hit == std::u16string::npos) return u"";
    return text.substr(hit + 1);
}

std::u16string Get_Field(const std::u16string& text, const std::u16string& separator, int32_t n) {
    if (n < 0 || separator.empty()) return u"";
    size_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        const size_t hit = text.find(separator, start);
        if (hit == std::u16string::npos) return u"";
        start = hit + separator.size();
    }
    const size_t end = text.find(separator, start);
    return text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

std::optional<int16_t> Field_Number(std::u16string_view field) {
    size_t i = 0;
    bool negative = false;
    if (i < field.size() && field[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i == field.size()) return std::nullopt;
    int32_t value = 0;
    for (; i < field.size(); ++i) {
        const char16_t c = field[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 32768) return std::nullopt;   // stops growth long before int32 could overflow
    }
    if (negative) value = -value;
    if (value > 32767) return std::nullopt;
    return int16_t(value);
}

bool Number_Fields(const std::u16string& data, int16_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const std::optional<int16_t> value = Field_Number(Get_Field(data, FIELD_SEPARATOR, int32_t(i)));
        if (!value) return false;
        out[i] = *value;
    }
    return true;
}

std::u16string Join_Numbers(std::initializer_list<int32_t> values) {
    std::u16string out;
    for (const int32_t v : values) {
        if (!out.empty()) out += FIELD_SEPARATOR;
        out += Decimal(v);
    }
    return out;
}

Message_Parts Split_Message(std::u16string_view message) {
    const size_t space = message.size() < 2 ? std::u16string_view::npos : message.find(u' ');
    if (space == std::u16string_view::npos) return {};
    return {message.substr(0, space), message.substr(space + 1)};
}

void Split_Message(const std::u16string& message, std::u16string& command, std::u16string& data) {
    const Message_Parts parts = Split_Message(std::u16string_view(message));
    command.assign(parts.command);
    data.assign(parts.data);
    for (char16_t& c : command)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
}

bool Is_Command(std::u16string_view word, std::u16string_view name) {
    if (word.size() != name.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        char16_t c = word[i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != name[i]) return false;
    }
    return true;
}

bool Next_Message(const std::string& buffer, size_t& pos, std::string& message) {
    if (pos > buffer.size()) return false;
    const size_t end = buffer.find(WIRE_TERMINATOR, pos);
    if (end == std::string::npos) return false;
    message.assign(buffer, pos, end - pos);
    pos = end + WIRE_TERMINATOR.size();
    return true;
}

Cut_Result Cut_Message(Message_Stream& stream, size_t limit, std::string& message, size_t& size) {
    // The last bytes of an unfinished receipt may be the start of a terminator.
    constexpr size_t KEEP = WIRE_TERMINATOR.size() - 1;
    std::string& bytes = stream.bytes;
    stream.pos = std::min(stream.pos, bytes.size());
    const size_t end = bytes.find(WIRE_TERMINATOR, stream.pos);
    if (end == std::string::npos) {
        const size_t tail = bytes.size() - stream.pos;
        if (stream.discarding > 0 || tail > limit) {
            // Too long already: thrown away as it comes, all but what may start the terminator.
            const size_t keep = std::min(KEEP, tail);
            stream.discarding += tail - keep;
            bytes.erase(0, bytes.size() - keep);
            stream.pos = 0;
        }
        return Cut_Result::None;
    }
    const size_t length = stream.discarding + (end - stream.pos);
    const size_t start = stream.pos;
    stream.discarding = 0;
    stream.pos = end + WIRE_TERMINATOR.size();
    if (length > limit) {
        size = length;
        Compact(stream);
        return Cut_Result::Oversized;
    }
    message.assign(bytes, start, end - start);
    size = length;
    Compact(stream);
    return Cut_Result::Message;
}

bool Has_Whole_Message(const Message_Stream& stream) {
    return stream.pos <= stream.bytes.size() && stream.bytes.find(WIRE_TERMINATOR, stream.pos) != std::string::npos;
}
