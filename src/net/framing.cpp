// framing.cpp -- the shape of a message: sending, escaping, cutting messages and fields.
#include <string_view>

#include "net/net.h"
#include "platform/encoding.h"

namespace {

std::u16string Replace_All(const std::u16string& text, std::u16string_view from, std::u16string_view to) {
    std::u16string out;
    out.reserve(text.size() + text.size() / 8);
    size_t pos = 0;
    for (;;) {
        size_t hit = text.find(from, pos);
        if (hit == std::u16string::npos) break;
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text, pos, std::u16string::npos);
    return out;
}

std::u16string Decimal(int16_t value) {
    std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

void Send_Message(const std::u16string& command, const std::u16string& data) {
    if (Net.Offline_Mode) return;
    std::u16string text;
    text.reserve(command.size() + data.size() + 4);
    text += command;
    text += u' ';
    text += data;
    text += u"/e/";
    if (Platform.socket) Platform.socket->Send(To_Cp950(text));
    Do_Events();
}

void Send_Move(int16_t x, int16_t y, int16_t target_x, int16_t target_y) {
    Send_Message(u"/move", Decimal(x) + u"\\" + Decimal(y) + u"\\" + Decimal(target_x) + u"\\" + Decimal(target_y));
}

std::u16string Escape_Text(const std::u16string& text) {
    return Replace_All(Replace_All(text, u"/", u"/#"), u"\\", u"/$");
}

std::u16string Unescape_Text(const std::u16string& text) {
    return Replace_All(Replace_All(text, u"/$", u"\\"), u"/#", u"/");
}

std::u16string Text_Before(const std::u16string& text, const std::u16string& separator) {
    if (text.size() < 2 || separator.empty()) return u"";
    size_t hit = text.find(separator);
    if (hit == std::u16string::npos) return u"";
    return text.substr(0, hit);
}

std::u16string Text_After(const std::u16string& text, const std::u16string& separator) {
    if (text.size() < 2 || separator.empty()) return u"";
    size_t hit = text.find(separator);
    if (hit == std::u16string::npos) return u"";
    return text.substr(hit + 1);
}

std::u16string Get_Field(const std::u16string& text, const std::u16string& separator, int32_t n) {
    if (n < 0 || separator.empty()) return u"";
    size_t start = 0;
    for (int32_t i = 0; i < n; ++i) {
        size_t hit = text.find(separator, start);
        if (hit == std::u16string::npos) return u"";
        start = hit + separator.size();
    }
    size_t end = text.find(separator, start);
    return text.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
}

std::optional<int16_t> Field_Number(const std::u16string& field) {
    size_t i = 0;
    bool negative = false;
    if (i < field.size() && field[i] == u'-') {
        negative = true;
        ++i;
    }
    if (i == field.size()) return std::nullopt;
    int32_t value = 0;
    for (; i < field.size(); ++i) {
        char16_t c = field[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 32768) return std::nullopt;   // stops growth long before int32 could overflow
    }
    if (negative) value = -value;
    if (value > 32767) return std::nullopt;
    return int16_t(value);
}

bool Next_Message(const std::string& buffer, size_t& pos, std::string& message) {
    if (pos > buffer.size()) return false;
    size_t end = buffer.find("/e/", pos);
    if (end == std::string::npos) return false;
    message.assign(buffer, pos, end - pos);
    pos = end + 3;
    return true;
}

void Split_Message(const std::u16string& message, std::u16string& command, std::u16string& data) {
    command = Text_Before(message, u" ");
    data = Text_After(message, u" ");
    for (char16_t& c : command)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
}
