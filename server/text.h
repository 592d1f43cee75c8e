// text.h -- what the server does with text that comes from clients or the operator: quoting it
// for the log, checking names, and making operator text safe to send.
#pragma once
#include <string>
#include <string_view>

// Received bytes (code page 950) as one quoted, printable UTF-8 text for the log: in double
// quotes, control characters, quotes and backslashes escaped (\n, \xNN, \", \\), at most `max`
// characters, longer text cut with "..." and its byte count.
std::string Quote_Bytes(std::string_view bytes, size_t max = 60);
// The same for text already in UTF-16.
std::string Quote_Text(const std::u16string& text, size_t max = 60);

// Why a name may not be used, in English for the log; "" when it may. A name must be 1 to
// max_chars characters that code page 950 holds, without "\" or control characters, and its
// bytes followed by the terminator must hold the terminator only at their end: it goes out
// unescaped in "/setpl".
std::string Name_Problem(const std::u16string& name, size_t max_chars);

// Operator text for a field that goes out unescaped (a refusal's description): without "\",
// "/" or control characters, which would break the field or the frame.
std::u16string Field_Safe(const std::u16string& text);
