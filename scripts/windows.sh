#!/usr/bin/env bash
# windows.sh -- the Windows build: cross-compiles isoclient.exe, isoserver.exe and isodata.exe for
# 64-bit Windows with Debian's mingw-w64 and packs build-win/isoclient-win64.zip.
#
#   scripts/windows.sh          build the programs and the zip
#   scripts/windows.sh --test   also build the unit tests and run them, and the smoke test, under Wine
#
# The libraries Debian ships no mingw build of (SDL2, SDL2_ttf, FreeType, GoogleTest, OpenSSL,
# SQLite and libsodium for the server, pugixml, libpng and zstd for isodata) are built from Debian's own sources, at the versions pinned below,
# once: they are kept in a cache outside the clone (ISO_WIN_CACHE, default /var/cache/isoclient-win,
# or ~/.cache/isoclient-win without root), in a folder named after their versions, and rebuilt
# only when that folder is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
run_tests=0
case "${1:-}" in
    --test) run_tests=1 ;;
    "") ;;
    *) echo "usage: scripts/windows.sh [--test]" >&2; exit 2 ;;
esac
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

scripts/deps.sh --windows

# ---- the pinned sources: Debian source package, version, SHA-256 of its .dsc, the package the
# Linux build links (whose version should be the same). dpkg-source checks every file the .dsc
# lists against the .dsc's own checksums.
sources=(
    "freetype 2.12.1+dfsg-5+deb12u4 eead829b4bc79107e8e79c4da006110dffe264f9d48b3ba02f76cf7e84b64389 libfreetype6"
    "libsdl2 2.26.5+dfsg-1 95b9a18130d98164e7856eca8ac1a2eb65d822ac4872ef8862ceed2cb1662136 libsdl2-dev"
    "libsdl2-ttf 2.20.1+dfsg-2 46a54b380c3a81ddda5a62d31204621411276cafdebd97011b4ad2c0f085e64b libsdl2-ttf-dev"
    "sqlite3 3.40.1-2+deb12u2 ee3459ae9d00939741c7708fc1b8ce1bde12d8c3fb1dfa005bbbc8651d884e23 libsqlite3-dev"
    "libsodium 1.0.18-1+deb12u1 2c23c57b5a9385dab5a1916014c9b5f2cdd7dadeb8a35b28c1bfb603ce7095c4 libsodium-dev"
    "pugixml 1.13-0.2 f0ef481b50b6d01b04269fe109a2cace8d9dad6f6eb089f1c9aac5a0913aa7c2 libpugixml-dev"
    "libpng1.6 1.6.39-2+deb12u5 7b86211030a34deb6b0a2cd7e1d9db0fe92443fd30cab537fb89b1e7f7c9f188 libpng-dev"
    "libzstd 1.5.4+dfsg2-5 8f602f92b575aa8b5e979196fb6ee82d78f233521dc9636526d3ecba1f63c1b1 libzstd-dev"
)
# cpp-httplib for isoserver.exe's side port: Debian's package is a Linux library (built against
# OpenSSL), so the Windows build compiles the single header from Debian's source package. It is
# kept in a folder of its own in the cache, so the libraries above do not depend on it.
httplib_source="cpp-httplib 0.11.4+ds-1+deb12u1 a4dde747bbde7cc9fa62cdf50d61140a0eaefb7f1383497ef2d48daf3bf5f9ec libcpp-httplib-dev"
recipe=3   # raise when the way the libraries are built changes
installed() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo none; }
key="r$recipe"
for entry in "${sources[@]}"; do
    read -r package version _ linux <<<"$entry"
    key+="_$package-$version"
    if [ "$(installed "$linux")" != "$version" ]; then
        echo "windows.sh: note: the Linux build has $linux $(installed "$linux"), Windows gets $package $version" >&2
    fi
done
key+="_gtest-$(installed libgtest-dev)_mingw-$(installed g++-mingw-w64-x86-64-posix)_zlib-$(installed libz-mingw-w64-dev)"
# OpenSSL (TLS) is built into a folder of its own, so that a new version of it rebuilds only it.
# bookworm's security update answers 404 for its .dsc here; the main suite's version is whole.
openssl_source="openssl 3.0.17-1~deb12u2 8eff0f04976f65df9a00507f286c18f42644d73124e3844258f037ff47c4f6cf libssl-dev"
read -r _ openssl_version _ openssl_linux <<<"$openssl_source"
if [ "$(installed "$openssl_linux")" != "$openssl_version" ]; then
    echo "windows.sh: note: the Linux build has $openssl_linux $(installed "$openssl_linux"), Windows gets openssl $openssl_version" >&2
fi
openssl_key="openssl-r1_${openssl_version}_mingw-$(installed g++-mingw-w64-x86-64-posix)"

cache="${ISO_WIN_CACHE:-}"
if [ -z "$cache" ]; then
    cache=/var/cache/isoclient-win
    mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache="$HOME/.cache/isoclient-win"
fi
mkdir -p "$cache"
# Named by a digest of the versions: their list would pass the file system's 255 bytes a name. The
# list itself is kept inside, in versions.txt.
prefix="$cache/r$recipe-$(printf '%s' "$key" | sha256sum | cut -c1-16)"
openssl_prefix="$cache/$openssl_key"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"

# Debian's source packages: a deb-src entry of our own, added when apt does not know the versions.
sources_known() {
    local package version
    for entry in "${sources[@]}" "$httplib_source" "$openssl_source"; do
        read -r package version _ <<<"$entry"
        apt-cache showsrc "$package" 2>/dev/null | grep -Fx "Version: $version" >/dev/null || return 1
    done
}
add_source_entry() {
    sources_known && return
    local list=/etc/apt/sources.list.d/isoclient-deb-src.sources
    if [ ! -f "$list" ]; then
        echo "windows.sh: adding Debian's source packages to apt ($list)"
        $sudo_cmd tee "$list" >/dev/null <<'EOF'
# Added by isoclient's scripts/windows.sh: Debian source packages for the Windows libraries.
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    fi
    $sudo_cmd apt-get update -qq
    sources_known || { echo "windows.sh: apt has not the pinned source versions (see sources in $0)" >&2; exit 1; }
}

# Configures, builds and installs one CMake project into the prefix being made.
cmake_install() {
    local source="$1" build="$2"
    shift 2
    nice -n 19 cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DISO_WIN_PREFIX="$stage" \
        -DCMAKE_PREFIX_PATH="$stage" -DCMAKE_INSTALL_PREFIX="$stage" -DCMAKE_BUILD_TYPE=Release "$@" >"$build.log" 2>&1 ||
        { tail -30 "$build.log"; return 1; }
    nice -n 19 cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
    cmake --install "$build" >>"$build.log" 2>&1 || { tail -30 "$build.log"; return 1; }
}

# SQLite as Debian builds it: its one-file form generated on this machine (with tclsh), then
# compiled for Windows with the options of Debian's own build that apply there.
build_sqlite() {
    local build="$1"
    mkdir -p "$build"
    (cd "$build" && "$work/src/sqlite3/configure" --disable-tcl >configure.log 2>&1 &&
        nice -n 19 make sqlite3.c >make.log 2>&1) || { tail -30 "$build"/*.log; return 1; }
    nice -n 19 x86_64-w64-mingw32-gcc-posix -O2 -fno-strict-aliasing -DSQLITE_SECURE_DELETE \
        -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS3_PARENTHESIS -DSQLITE_ENABLE_RTREE=1 \
        -DSQLITE_SOUNDEX=1 -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_OMIT_LOOKASIDE=1 -DSQLITE_ENABLE_DBSTAT_VTAB \
        -DSQLITE_ENABLE_UPDATE_DELETE_LIMIT=1 -DSQLITE_ENABLE_JSON1 -DSQLITE_LIKE_DOESNT_MATCH_BLOBS \
        -DSQLITE_THREADSAFE=1 -DSQLITE_USE_URI=1 -DSQLITE_MAX_SCHEMA_RETRY=25 -DSQLITE_ENABLE_STMTVTAB \
        -c "$build/sqlite3.c" -o "$build/sqlite3.o"
    mkdir -p "$stage/lib/pkgconfig" "$stage/include"
    x86_64-w64-mingw32-ar rcs "$stage/lib/libsqlite3.a" "$build/sqlite3.o"
    cp "$build/sqlite3.h" "$work/src/sqlite3/src/sqlite3ext.h" "$stage/include/"
    cat >"$stage/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$stage
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: $(cat "$work/src/sqlite3/VERSION")
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
}

# libsodium, static: Debian's source comes without its configure script, which autoreconf makes.
build_sodium() {
    local build="$1"
    mkdir -p "$build"
    (cd "$work/src/libsodium" && autoreconf -fi >"$build.autoreconf.log" 2>&1) || { tail -30 "$build.autoreconf.log"; return 1; }
    (cd "$build" && "$work/src/libsodium/configure" --host=x86_64-w64-mingw32 CC=x86_64-w64-mingw32-gcc-posix \
        --disable-shared --enable-static --prefix="$stage" >configure.log 2>&1 &&
        nice -n 19 make -j"$jobs" >make.log 2>&1 && make install >install.log 2>&1) || { tail -30 "$build"/*.log; return 1; }
    # A static libsodium for Windows wants SODIUM_STATIC wherever its headers are read.
    sed -i 's/^Cflags:.*/& -DSODIUM_STATIC/' "$stage/lib/pkgconfig/libsodium.pc"
}

# OpenSSL as DLLs (libssl-3-x64.dll, libcrypto-3-x64.dll) with their import libraries in lib/, in a
# folder of its own.
build_openssl() {
    add_source_entry
    local work package version sum
    read -r package version sum _ <<<"$openssl_source"
    work="$(mktemp -d "$cache/building.XXXXXX")"
    stage="$work/prefix"
    mkdir -p "$work/src" "$stage/bin"
    id _apt >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ] && chown _apt "$work/src"
    cd "$work/src"
    echo "windows.sh: fetching $package $version"
    apt-get source -qq --download-only "$package=$version" >/dev/null
    echo "$sum  ${package}_${version}.dsc" | sha256sum --check --quiet
    dpkg-source --no-copy -x "${package}_${version}.dsc" openssl >openssl.log 2>&1 || { cat openssl.log; exit 1; }
    echo "windows.sh: building OpenSSL for Windows (once)"
    (cd openssl && ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- no-tests no-module shared \
        --prefix="$stage" --libdir=lib >../configure.log 2>&1 && nice -n 19 make -j"$jobs" build_libs >../make.log 2>&1 &&
        make install_dev >../install.log 2>&1) || { tail -30 configure.log make.log install.log; exit 1; }
    cp openssl/libssl-3-x64.dll openssl/libcrypto-3-x64.dll "$stage/bin/"
    sed -i "s#$stage#$openssl_prefix#g" "$stage"/lib/pkgconfig/*.pc 2>/dev/null || true
    cd "$root"
    mv "$stage" "$openssl_prefix"
    rm -rf "$work"
}

build_libraries() {
    add_source_entry
    local work
    work="$(mktemp -d "$cache/building.XXXXXX")"
    stage="$work/prefix"
    mkdir -p "$work/src" "$stage/share/isoclient-licenses"
    # apt's download sandbox user must be able to write here.
    id _apt >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ] && chown _apt "$work/src"
    cd "$work/src"
    for entry in "${sources[@]}"; do
        read -r package version sum _ <<<"$entry"
        echo "windows.sh: fetching $package $version"
        apt-get source -qq --download-only "$package=$version" >/dev/null
        echo "$sum  ${package}_${version}.dsc" | sha256sum --check --quiet
        # dpkg-source checks the files against the .dsc; the signature it cannot check without
        # Debian's keyring (the pinned checksum stands for it), so its output shows only on failure.
        dpkg-source --no-copy -x "${package}_${version}.dsc" "$package" >"$package.log" 2>&1 || { cat "$package.log"; exit 1; }
    done
    echo "windows.sh: building FreeType, SDL2, SDL2_ttf, GoogleTest, SQLite, libsodium, pugixml, libpng and zstd for Windows (once)"
    cmake_install freetype "$work/b-freetype" -DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON \
        -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
    cmake_install libsdl2 "$work/b-sdl2" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF
    cmake_install libsdl2-ttf "$work/b-ttf" -DBUILD_SHARED_LIBS=ON -DSDL2TTF_VENDORED=OFF -DSDL2TTF_HARFBUZZ=OFF \
        -DSDL2TTF_SAMPLES=OFF
    cmake_install /usr/src/googletest "$work/b-gtest" -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=OFF
    build_sqlite "$work/b-sqlite"
    build_sodium "$work/b-sodium"
    # isodata's libraries: zlib is Debian's mingw build; pugixml, libpng and zstd from their sources.
    mkdir -p "$stage/lib/pkgconfig" "$stage/include"
    cp /usr/x86_64-w64-mingw32/lib/libz.a "$stage/lib/"
    cp /usr/x86_64-w64-mingw32/include/zlib.h /usr/x86_64-w64-mingw32/include/zconf.h "$stage/include/"
    printf 'prefix=%s\nName: zlib\nDescription: zlib compression library\nVersion: %s\nLibs: -L${prefix}/lib -lz\nCflags: -I${prefix}/include\n' \
        "$stage" "$(installed libz-mingw-w64-dev)" >"$stage/lib/pkgconfig/zlib.pc"
    cmake_install pugixml "$work/b-pugixml" -DBUILD_SHARED_LIBS=OFF -DPUGIXML_BUILD_TESTS=OFF
    cmake_install libpng1.6 "$work/b-png" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_LIBRARY="$stage/lib/libz.a" -DZLIB_INCLUDE_DIR="$stage/include"
    cmake_install libzstd/build/cmake "$work/b-zstd" -DZSTD_BUILD_SHARED=OFF -DZSTD_BUILD_STATIC=ON \
        -DZSTD_BUILD_PROGRAMS=OFF -DZSTD_BUILD_TESTS=OFF -DZSTD_MULTITHREAD_SUPPORT=OFF
    cp freetype/docs/FTL.TXT "$stage/share/isoclient-licenses/FreeType-FTL.txt"
    cp libsdl2/LICENSE.txt "$stage/share/isoclient-licenses/SDL2-LICENSE.txt"
    cp libsdl2-ttf/LICENSE.txt "$stage/share/isoclient-licenses/SDL2_ttf-LICENSE.txt"
    cp sqlite3/LICENSE.md "$stage/share/isoclient-licenses/SQLite-LICENSE.md"
    cp libsodium/LICENSE "$stage/share/isoclient-licenses/libsodium-LICENSE.txt"
    cp pugixml/LICENSE.md "$stage/share/isoclient-licenses/pugixml-LICENSE.md"
    cp libpng1.6/LICENSE "$stage/share/isoclient-licenses/libpng-LICENSE.txt"
    cp libzstd/LICENSE "$stage/share/isoclient-licenses/zstd-LICENSE.txt"
    cp /usr/share/doc/libz-mingw-w64-dev/copyright "$stage/share/isoclient-licenses/zlib-copyright.txt"
    # pkg-config files name the folder they were installed into: the cache's own from here on.
    sed -i "s#$stage#$prefix#g" "$stage"/lib/pkgconfig/*.pc
    # The header-only libraries of the Linux build, seen by the cross compiler.
    ln -s /usr/include/asio.hpp /usr/include/asio /usr/include/nlohmann "$stage/include/"
    cd "$root"
    echo "$key" | tr '_' '\n' >"$stage/versions.txt"
    # Complete or nothing: an interrupted build leaves no half-made cache behind.
    mv "$stage" "$prefix"
    rm -rf "$work"
}

start=$SECONDS
# One build of each cache folder at a time; a folder already made is used without waiting.
if [ ! -d "$prefix" ]; then
    exec 9>"$cache/.lock"
    flock 9
    if [ ! -d "$prefix" ]; then
        build_libraries
        echo "windows.sh: libraries built in $((SECONDS - start)) s, kept in $prefix"
    fi
    flock -u 9
fi
if [ ! -d "$openssl_prefix" ]; then
    exec 8>"$cache/.lock-openssl"
    flock 8
    if [ ! -d "$openssl_prefix" ]; then
        build_openssl
        echo "windows.sh: OpenSSL built in $((SECONDS - start)) s, kept in $openssl_prefix"
    fi
    flock -u 8
fi
read -r httplib_package httplib_version httplib_sum httplib_linux <<<"$httplib_source"
httplib="$cache/$httplib_package-$httplib_version"
[ -f "$httplib/httplib.h" ] || { exec 7>"$cache/.lock-httplib"; flock 7; }
if [ ! -f "$httplib/httplib.h" ]; then
    [ "$(installed "$httplib_linux")" = "$httplib_version" ] ||
        echo "windows.sh: note: the Linux build has $httplib_linux $(installed "$httplib_linux"), Windows gets $httplib_version" >&2
    add_source_entry
    work="$(mktemp -d "$cache/building.XXXXXX")"
    id _apt >/dev/null 2>&1 && [ "$(id -u)" -eq 0 ] && chown _apt "$work"
    (cd "$work" && apt-get source -qq --download-only "$httplib_package=$httplib_version" >/dev/null &&
        echo "$httplib_sum  ${httplib_package}_${httplib_version}.dsc" | sha256sum --check --quiet &&
        dpkg-source --no-copy -x "${httplib_package}_${httplib_version}.dsc" src >dpkg-source.log 2>&1) ||
        { cat "$work/dpkg-source.log" 2>/dev/null; exit 1; }
    mkdir -p "$work/keep"
    cp "$work/src/httplib.h" "$work/keep/"
    cp "$work/src/LICENSE" "$work/keep/cpp-httplib-LICENSE.txt"
    mv "$work/keep" "$httplib"
    rm -rf "$work"
fi

# CLI11 is header-only and the same for every system: Debian's headers, copied into a folder of
# the cache named by their version, as pinned here.
cli11_version="2.1.2+ds-1"
[ "$(installed libcli11-dev)" = "$cli11_version" ] ||
    echo "windows.sh: note: CLI11 is pinned at $cli11_version, the Linux build has $(installed libcli11-dev)" >&2
cli11="$cache/cli11-$(installed libcli11-dev)"
if [ ! -f "$cli11/CLI/CLI.hpp" ]; then
    work="$(mktemp -d "$cache/building.XXXXXX")"
    cp -r /usr/include/CLI "$work/"
    cp /usr/share/doc/libcli11-dev/copyright "$work/CLI11-copyright.txt"
    [ -d "$cli11" ] || mv "$work" "$cli11"
    rm -rf "$work"
fi

# The default world comes from the Linux build's generator: the same code writes the same files.
if [ ! -x build/out/isocontent ]; then
    [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DISO_WERROR=ON >/dev/null
    nice -n 19 cmake --build build -j"$jobs" --target isocontent
fi

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DISO_WIN_PREFIX="$prefix" -DISO_WIN_HTTPLIB="$httplib" -DISO_WIN_CLI11="$cli11" \
    -DISO_WIN_OPENSSL="$openssl_prefix" -DCMAKE_BUILD_TYPE=Release \
    -DISO_WERROR=ON -DISO_BENCH=OFF -DISO_HOST_ISOCONTENT="$root/build/out/isocontent" >/dev/null
targets=(--target isoclient isoserver isodata content)
[ "$run_tests" -eq 1 ] && targets=()
nice -n 19 cmake --build build-win -j"$jobs" "${targets[@]}"

# ---- the zip: the programs, their DLLs, the world, the fallback fonts, licences and notes.
pack="build-win/pack/isoclient"
rm -rf build-win/pack
mkdir -p "$pack/licenses"
cp build-win/out/isoclient.exe build-win/out/isoserver.exe build-win/out/isodata.exe build-win/out/*.dll "$pack/"
cp -r build-win/out/images build-win/out/data build-win/out/fonts "$pack/"
cp "$prefix"/share/isoclient-licenses/* "$httplib/cpp-httplib-LICENSE.txt" "$cli11/CLI11-copyright.txt" "$pack/licenses/"
# OpenSSL's licence, as Debian's package of the same sources states it.
cp /usr/share/doc/libssl3/copyright "$pack/licenses/OpenSSL-copyright.txt"
# The C and C++ runtimes and the threads library linked into the programs.
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$pack/licenses/mingw-w64-runtime-copyright.txt"
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$pack/licenses/gcc-runtime-copyright.txt"
python3 - "$pack" build-win/isoclient-win64.zip packaging/windows <<'EOF'
import os, sys, zipfile
pack, out, notes = sys.argv[1:]
# The notes as Windows' Notepad shows them best: UTF-8 with a byte order mark, CR LF line ends.
for name in os.listdir(notes):
    text = open(os.path.join(notes, name), encoding="utf-8").read().replace("\n", "\r\n")
    with open(os.path.join(pack, name), "w", encoding="utf-8-sig" if name.endswith(".txt") else "utf-8", newline="") as f:
        f.write(text)
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
    top = os.path.dirname(pack)
    for folder, _, files in sorted(os.walk(pack)):
        for f in sorted(files):
            path = os.path.join(folder, f)
            z.write(path, os.path.relpath(path, top))
EOF
echo "windows.sh: build-win/isoclient-win64.zip ($(du -h build-win/isoclient-win64.zip | cut -f1)) in $((SECONDS - start)) s"

[ "$run_tests" -eq 1 ] || exit 0

# ---- under Wine: a fresh Windows of its own for this run, removed at the end.
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="   # no .NET or HTML engine prompts
WINEPREFIX="$(mktemp -d /tmp/isoclient-wine.XXXXXX)"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
wineboot -i >/dev/null 2>&1
echo "windows.sh: Wine ready in $((SECONDS - start)) s"
failed=0
for test in build-win/out/test_*.exe; do
    # From the build folder, as ctest runs the Linux tests; a test's output only when it fails.
    if ! (cd build-win && wine "out/$(basename "$test")" --gtest_brief=1 >"$(basename "$test" .exe).log" 2>&1); then
        cat "build-win/$(basename "$test" .exe).log"
        echo "windows.sh: $(basename "$test") failed under Wine" >&2
        failed=1
    fi
done
passed=$(awk '/^\[  PASSED  \]/ { n += $4 } END { print n + 0 }' build-win/test_*.log)
[ "$failed" -eq 0 ] && echo "windows.sh: $passed unit tests passed under Wine ($((SECONDS - start)) s)"
# Wine's desktop started without a display would keep a display-less screen size: it ends here
# and starts again inside the smoke test's X server.
wineserver -k 2>/dev/null || true
python3 tests/windows/smoke.py --zip build-win/isoclient-win64.zip --server build/out/isoserver || failed=1
echo "windows.sh: Wine tests done in $((SECONDS - start)) s"
exit "$failed"
