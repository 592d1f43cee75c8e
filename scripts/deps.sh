#!/usr/bin/env bash
# deps.sh -- installs the Debian packages the project needs, only those that are missing.
set -euo pipefail
packages=(
  g++ cmake make pkg-config
  libsdl2-dev libsdl2-ttf-dev libfontconfig-dev libasio-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  fonts-arphic-uming fonts-dejavu-core fonts-dejavu-extra
  libsqlite3-dev libsodium-dev   # the game server's accounts
  libcpp-httplib-dev             # the game server's side port (status page, metrics)
  libssl-dev                     # TLS for the client, the server and the bots
  libpugixml-dev libpng-dev zlib1g-dev libzstd-dev   # isodata: Tiled's maps, PNG pictures
  libcli11-dev                   # the programs' command lines and isoserver --config (header-only)
)
# --dev: what ./test needs besides: the real-window tests and the code checks.
if [ "${1:-}" = "--dev" ]; then
  packages+=(xvfb xauth xdotool imagemagick python3 clang-format-14 clang-tidy-14)
  packages+=(openssl)   # the server's tests make an operator's own key with its command-line tool
  # The map editor whose files isodata reads and writes, for its tests (tiled, tmxrasterizer).
  packages+=(tiled)
  # The fuzzing harnesses: clang 14 and its runtimes (libFuzzer, ASan, UBSan).
  packages+=(clang-14 libclang-rt-14-dev)
  # The side port's tests read it with the real tools.
  packages+=(prometheus chromium)
fi
# --dev and --windows: the Windows build (scripts/windows.sh): mingw-w64, Debian's source tools,
# what SQLite's and libsodium's sources are prepared with, Wine and what its tests drive it with.
if [ "${1:-}" = "--dev" ] || [ "${1:-}" = "--windows" ]; then
  packages+=(g++-mingw-w64-x86-64-posix dpkg-dev tcl autoconf automake libtool perl wine wine64 xvfb xauth xdotool
             imagemagick python3 libz-mingw-w64-dev libcli11-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
