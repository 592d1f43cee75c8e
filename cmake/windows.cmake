# windows.cmake -- the Windows build, cross-compiled with mingw-w64 (cmake/mingw-w64-x86_64.cmake)
# against the libraries scripts/windows.sh builds into ISO_WIN_PREFIX. Included by CMakeLists.txt
# in place of the Linux libraries; iso_windows_targets() runs at its end.
if(NOT ISO_WIN_PREFIX)
  message(FATAL_ERROR "ISO_WIN_PREFIX is not set: build for Windows with scripts/windows.sh")
endif()

# pkg-config looks only at the libraries built for Windows (SQLite and libsodium are found so).
set(ENV{PKG_CONFIG_LIBDIR} ${ISO_WIN_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
find_package(PkgConfig REQUIRED)
find_package(SDL2 CONFIG REQUIRED)
find_package(SDL2_ttf CONFIG REQUIRED)
# Header-only, from the Debian packages the Linux build uses (scripts/windows.sh links them in).
find_path(ISO_JSON_INCLUDE nlohmann/json.hpp REQUIRED)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json INTERFACE ${ISO_JSON_INCLUDE})

# CLI11, header-only: Debian's headers, copied into the cache by scripts/windows.sh.
if(NOT EXISTS ${ISO_WIN_CLI11}/CLI/CLI.hpp)
  message(FATAL_ERROR "ISO_WIN_CLI11 holds no CLI/CLI.hpp: build for Windows with scripts/windows.sh")
endif()
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${ISO_WIN_CLI11})

# The side port's single header, from Debian's source package (scripts/windows.sh).
if(NOT EXISTS ${ISO_WIN_HTTPLIB}/httplib.h)
  message(FATAL_ERROR "ISO_WIN_HTTPLIB holds no httplib.h: build for Windows with scripts/windows.sh")
endif()
add_library(iso_httplib INTERFACE IMPORTED)
target_include_directories(iso_httplib SYSTEM INTERFACE ${ISO_WIN_HTTPLIB})

add_library(iso_windows INTERFACE)
target_include_directories(iso_windows SYSTEM INTERFACE ${ISO_WIN_PREFIX}/include)
# Windows 7 and later; no min/max macros; windows.h without winsock.h, which Asio replaces.
# The POSIX thread-safe time functions (gmtime_r) the server uses, which mingw's time.h has.
target_compile_definitions(iso_windows INTERFACE _WIN32_WINNT=0x0601 NOMINMAX WIN32_LEAN_AND_MEAN
                                                 _POSIX_THREAD_SAFE_FUNCTIONS=200112L)
# OpenSSL's DLLs (libssl-3-x64.dll, libcrypto-3-x64.dll), found by CMakeLists.txt's find_package;
# crypt32 for the system's root certificates.
if(NOT ISO_WIN_OPENSSL)
  message(FATAL_ERROR "ISO_WIN_OPENSSL is not set: build for Windows with scripts/windows.sh")
endif()
set(OPENSSL_ROOT_DIR ${ISO_WIN_OPENSSL})
set(OPENSSL_USE_STATIC_LIBS OFF)
target_link_libraries(iso_windows INTERFACE SDL2::SDL2 SDL2_ttf::SDL2_ttf ws2_32 mswsock crypt32)
set(ISO_PLATFORM_LIBRARIES iso_windows)
set(ISO_OTHER_PLATFORM_SOURCES "_(posix|iconv|fontconfig)\\.cpp$")   # src/platform variants for Linux

# The C and C++ runtimes and threads linked in: the programs need only the SDL DLLs beside them.
# Release programs go without their symbols (a third of the size).
add_link_options(-static $<$<CONFIG:Release>:-s>)
# The load bots are for Linux servers; the content generator runs on the build machine
# (ISO_HOST_ISOCONTENT) and writes the same world. The real-window test is Linux's; the Windows
# smoke test (tests/windows/smoke.py) stands in for it.
set(ISO_SKIPPED_TOOLS isobot isocontent)
set(ISO_SKIPPED_TESTS window)
# The server's process tests kill and spawn it the POSIX way, with the Linux load bots (and the
# side port's with Linux's Prometheus and Chromium).
set(ISO_SKIPPED_TEST_SOURCES "/tests/server/(ops_)?process_test\\.cpp$")

# What sits beside the programs: the SDL DLLs, and the fallback fonts with their licences.
file(GLOB ISO_WIN_DLLS ${ISO_WIN_PREFIX}/bin/*.dll ${ISO_WIN_OPENSSL}/bin/*.dll)
file(COPY ${ISO_WIN_DLLS} DESTINATION ${ISO_OUT})
foreach(font /usr/share/fonts/truetype/arphic/uming.ttc /usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf)
  file(COPY ${font} DESTINATION ${ISO_OUT}/fonts)
endforeach()
configure_file(/usr/share/doc/fonts-arphic-uming/copyright ${ISO_OUT}/fonts/uming-copyright.txt COPYONLY)
configure_file(/usr/share/doc/fonts-dejavu-core/copyright ${ISO_OUT}/fonts/dejavu-copyright.txt COPYONLY)

function(iso_windows_targets)
  # A window program: no console opens when a player double-clicks it.
  target_link_options(isoclient PRIVATE -mwindows)
endfunction()
