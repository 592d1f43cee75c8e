// error_codes.h -- the error codes of the program's fatal errors; a server sends them in "/err".
#pragma once
#include <cstdint>

enum Error_Code : int16_t {
    ERROR_KICKED = 10,          // the server's operator removed the player
    ERROR_DISCONNECTED = 20,    // the connection could not be made, or was lost
    ERROR_VERSION = 100,        // the server refused this version
    ERROR_FILE_MISSING = 200,   // the text is the file's name
    ERROR_OTHER = -32768,       // the text says what went wrong
};
