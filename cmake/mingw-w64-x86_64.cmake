# mingw-w64-x86_64.cmake -- cross-compiles for 64-bit Windows with Debian's mingw-w64 toolchain
# (the posix threads variant: std::thread and Asio need it). ISO_WIN_PREFIX names the folder
# where scripts/windows.sh installed the libraries built for Windows, ISO_WIN_OPENSSL OpenSSL's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ISO_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ISO_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ISO_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ISO_MINGW}-windres)

# try_compile projects see the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ISO_WIN_PREFIX ISO_WIN_OPENSSL)
set(CMAKE_FIND_ROOT_PATH /usr/${ISO_MINGW} ${ISO_WIN_PREFIX} ${ISO_WIN_OPENSSL})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
