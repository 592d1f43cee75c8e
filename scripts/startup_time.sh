#!/usr/bin/env bash
# startup_time.sh [--rounds N] [--screen WxH] [--build DIR] -- the client's start-up beside a bare
# SDL program's, under Xvfb: each is started N times (5), taking turns, and timed from its start
# until its picture covers the screen (the client's login screen; the bare program's one frame,
# bench/startup/bare_window.cpp, which opens the same full-screen window and renderer). Prints each
# time, the medians and the client's own share (its median less the bare program's).
# SDL_RENDER_DRIVER=opengl SDL_FRAMEBUFFER_ACCELERATION=1 in the environment time both through
# OpenGL instead of the renderer the client picks here.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=5 screen=640x480 build=build
while [ $# -gt 0 ]; do
    case "$1" in
        --rounds) rounds="$2"; shift 2 ;;
        --screen) screen="$2"; shift 2 ;;
        --build) build="$2"; shift 2 ;;
        *) echo "usage: $0 [--rounds N] [--screen WxH] [--build DIR]" >&2; exit 2 ;;
    esac
done
out="$(cd "$build/out" && pwd)"
[ -x "$out/isoclient" ] || { echo "startup_time.sh: build $out/isoclient first" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "startup_time.sh: Xvfb is missing (scripts/deps.sh --dev)" >&2; exit 2; }

work="$(mktemp -d)"
xvfb=""
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
# shellcheck disable=SC2046
g++ -O2 -std=c++20 -o "$work/bare_window" bench/startup/bare_window.cpp $(pkg-config --cflags --libs sdl2)
# shellcheck disable=SC2046
g++ -O2 -std=c++20 -o "$work/startup_watch" bench/startup/startup_watch.cpp $(pkg-config --cflags --libs x11)

Xvfb -displayfd 3 -screen 0 "${screen}x24" -br -noreset -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

bare=() client=()
for round in $(seq "$rounds"); do
    bare+=("$("$work/startup_watch" "$work/bare_window")")
    client+=("$(cd "$out" && "$work/startup_watch" ./isoclient)")
    echo "round $round: bare ${bare[-1]} ms, isoclient ${client[-1]} ms"
done
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
b=$(median "${bare[@]}") c=$(median "${client[@]}")
echo "median: bare SDL program $b ms, isoclient $c ms; the client's own share $(awk -v c="$c" -v b="$b" 'BEGIN {print c - b}') ms" \
     "(screen $screen, renderer ${SDL_RENDER_DRIVER:-as the client picks}, load $(cut -d' ' -f1 /proc/loadavg))"
