// encoding.h -- conversions between the UTF-16 text kept in memory and the encodings at the
// edges: UTF-8 (fonts, file names) and code page 950, Big5 (the wire and the error log).
#pragma once
#include <cstdint>
#include <string>

std::string To_Utf8(const std::u16string& text);
std::u16string From_Utf8(const std::string& text);
// A character code page 950 cannot hold becomes "?"; its neighbours are kept intact.
std::string To_Cp950(const std::u16string& text);
// Undecodable bytes become U+FFFD; decoding never stops early.
std::u16string From_Cp950(const std::string& bytes);

// The ordinary decimal text of a number ("7", "-3").
std::u16string Decimal(int32_t value);

// A typed character as the input code the screens take: ASCII as its code, anything else as its
// two-byte code page 950 code read as a signed 16-bit number; 0 when code page 950 has no code
// for it.
int16_t Input_Code(char16_t c);
// The character of an input code (the reverse of Input_Code); 0 for codes that name none.
char16_t Input_Char(int16_t code);
