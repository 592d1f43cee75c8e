// wire.h -- the game's wire format, shared by the client, the server and the bots: command names,
// the terminator and the field separator, escaping, framing and cutting of messages, and fields.
// It keeps no state; a connection's unfinished bytes live in the caller's Message_Stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The version the client sends in "/ver" and the server accepts.
inline constexpr const char16_t* GAME_VERSION = u"0.1 beta";

// Command words, always sent in lower case.
inline constexpr const char16_t* CMD_VER = u"/ver";           // client: version (escaped)
inline constexpr const char16_t* CMD_VEROK = u"/verok";       // server: version accepted
inline constexpr const char16_t* CMD_ID = u"/id";             // client: identifier (escaped)
inline constexpr const char16_t* CMD_IDOK = u"/idok";         // server: identifier accepted
inline constexpr const char16_t* CMD_PASS = u"/pass";         // client: password (escaped)
inline constexpr const char16_t* CMD_PLSTART = u"/plstart";   // server: own id; the game starts
inline constexpr const char16_t* CMD_READY = u"/ready";       // client: the game screen runs
inline constexpr const char16_t* CMD_SETPL = u"/setpl";       // server: id\name, a new other player
inline constexpr const char16_t* CMD_SETPLXY = u"/setplxy";   // server: id\x\y, placed at once
inline constexpr const char16_t* CMD_DELPL = u"/delpl";       // server: table position to remove
inline constexpr const char16_t* CMD_MOVE = u"/move";         // both: a walk (see the handlers)
inline constexpr const char16_t* CMD_GOT = u"/got";           // client: x\y, its walk has ended
inline constexpr const char16_t* CMD_SAY = u"/say";           // both: chat text (escaped)
inline constexpr const char16_t* CMD_ERR = u"/err";           // server: code\description

// Ends every message; no byte of it can be part of a double-byte code page 950 character.
inline constexpr std::string_view WIRE_TERMINATOR = "/e/";
inline constexpr std::u16string_view TEXT_TERMINATOR = u"/e/";
// Between the fields of a message's data.
inline constexpr const char16_t* FIELD_SEPARATOR = u"\\";
inline constexpr char FIELD_SEPARATOR_BYTE = '\\';

// command + " " + data + "/e/", as text.
std::u16string Frame_Text(std::u16string_view command, std::u16string_view data);
// The same in code page 950: the bytes that go on the wire.
std::string Encode_Message(std::u16string_view command, std::u16string_view data);
// The bytes of a message whose data is code page 950 bytes already (text passed on as received).
std::string Frame_Bytes(std::u16string_view command, std::string_view data);

// "/" -> "/#", then "\" -> "/$"; Unescape_Text is the exact mirror.
std::u16string Escape_Text(std::u16string_view text);
std::u16string Unescape_Text(std::u16string_view text);

// Text before / after the first separator; "" when text has fewer than two characters, the
// separator is empty or absent. Text_After starts one character past the separator's first
// character, so "a/e/b" cut at "/e/" gives "e/b".
std::u16string Text_Before(const std::u16string& text, const std::u16string& separator);
std::u16string Text_After(const std::u16string& text, const std::u16string& separator);
// Field n (0-based) of text cut at separator; "" when absent or n is negative.
std::u16string Get_Field(const std::u16string& text, const std::u16string& separator, int32_t n);
// A numeric field: optional "-" then one or more decimal digits, within -32768..32767 ("07" is
// 7). Anything else ("+7", " 7", "7x", "", "70000") is no number.
std::optional<int16_t> Field_Number(std::u16string_view field);
// Fields 0..count-1 of data as numbers; false when any of them is no number.
bool Number_Fields(const std::u16string& data, int16_t* out, size_t count);
// Numbers in decimal joined with the field separator: {3, -1} gives "3\-1".
std::u16string Join_Numbers(std::initializer_list<int32_t> values);

// The command word (before the first space, as sent) and the data (after it) of a converted
// message, as views into it; both "" when the message has no space or fewer than two characters.
struct Message_Parts {
    std::u16string_view command, data;
};
Message_Parts Split_Message(std::u16string_view message);
// The same with the command word lower-cased (ASCII letters only), in copies.
void Split_Message(const std::u16string& message, std::u16string& command, std::u16string& data);
// A command word against a command name, the word's ASCII capitals taken as small letters.
bool Is_Command(std::u16string_view word, std::u16string_view name);

// Cuts the next whole message (without its "/e/") from buffer at pos and moves pos past it;
// false, pos unchanged, when no terminator follows. Works on raw code page 950 bytes.
bool Next_Message(const std::string& buffer, size_t& pos, std::string& message);

// The bytes of one connection that are not handled yet: the unterminated tail of the last
// receipt, or whole messages a caller has not reached.
struct Message_Stream {
    std::string bytes;   // from pos on
    size_t pos = 0;
    size_t discarding = 0;   // while an oversized message is thrown away: its bytes so far
};

enum class Cut_Result { None, Message, Oversized };

// Takes the next message from the stream. A message longer than `limit` bytes is never
// returned: Oversized reports it (its size in `size`) once its terminator has come, and while
// it is still arriving its bytes are thrown away as they come, so the stream never holds more
// than limit + a receipt. A terminator split across two receipts is always found, so the
// message after an oversized one is never lost. Message: `message` holds it, without "/e/".
Cut_Result Cut_Message(Message_Stream& stream, size_t limit, std::string& message, size_t& size);
// True when a whole message waits in the stream.
bool Has_Whole_Message(const Message_Stream& stream);
