#!/usr/bin/env bash
# cpu_use.sh [--seconds S] [--players N] [--screen WxH] [--windowed] [--build DIR] -- the real
# client's processor use under Xvfb: isoclient full screen on a 640 x 480 X server (or WxH; with
# --windowed in its 1280 x 960 window), logged in and standing still, for S seconds (60). Offline
# (the default) it stands in the village; with --players N it plays against a local isoserver
# with N isobot players walking and chatting. Prints the client's own CPU time over the window
# (utime + stime from /proc/PID/stat) as a share of one core and, where perf can count calls of
# SDL_RenderPresent (root, linux-perf), its frames per second.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=60 players=0 build=build screen=640x480 client_options=()
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        --players) players="$2"; shift 2 ;;
        --screen) screen="$2"; shift 2 ;;
        --windowed) client_options+=(--windowed); shift ;;
        --build) build="$2"; shift 2 ;;
        *) echo "usage: $0 [--seconds S] [--players N] [--screen WxH] [--windowed] [--build DIR]" >&2; exit 2 ;;
    esac
done
out="$(cd "$build/out" && pwd)"
[ -x "$out/isoclient" ] || { echo "cpu_use.sh: build $out/isoclient first" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "cpu_use.sh: $tool is missing (scripts/deps.sh --dev)" >&2; exit 2; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${probe:-}" ] && perf probe -q -d "$probe" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A private X server on the first free display.
Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

connect=()
if [ "$players" -gt 0 ]; then
    port=$((20000 + RANDOM % 20000))
    server_options=(--port "$port" --map "$out/data/testmap.map" --db "$work/server.db")
    # A client that has not walked yet sends "/got" every frame, beyond the server's default rate
    # limit; every move goes to everyone, so the client hears all the bots.
    server_options+=(--register open --hash-memory 8192 --messages-per-second 0 --view-radius 0)
    "$out/isoserver" "${server_options[@]}" >"$work/server.log" 2>&1 &
    pids+=($!)
    sleep 0.5
    (cd "$out" && ./isobot --port "$port" --bots "$players" --seconds $((seconds + 30)) \
        --map data/testmap.map >"$work/bots.log" 2>&1) &
    pids+=($!)
    connect=(--connect "127.0.0.1:$port")
fi

(cd "$out" && exec ./isoclient "${client_options[@]}" "${connect[@]}") >"$work/client.log" 2>&1 &
client=$!
pids+=("$client")
xdotool search --sync --name isoclient >/dev/null
# Log in as a player does: identifier, Enter, password, Enter.
for step in "mousemove 40 40" "type --delay 40 cpuuser" "key Return" "type --delay 40 secret" "key Return"; do
    # shellcheck disable=SC2086
    xdotool $step
done
sleep 3   # the loading screen and the first frames of the game
kill -0 "$client" 2>/dev/null || { echo "cpu_use.sh: isoclient ended:" >&2; cat "$work/client.log" >&2; exit 1; }

ticks() { awk '{print $14 + $15}' "/proc/$client/stat"; }
frames_note="frames: not counted (needs perf and root)"
if command -v perf >/dev/null && [ "$(id -u)" -eq 0 ]; then
    sdl="$(awk '/libSDL2-2/ {print $6; exit}' "/proc/$client/maps")"
    if [ -n "$sdl" ] && perf probe -q -x "$sdl" -a iso_present=SDL_RenderPresent 2>/dev/null; then
        probe="probe_$(basename "$sdl" | cut -d- -f1):iso_present"
        probe="${probe//./_}"
    fi
fi
start=$(ticks)
if [ -n "${probe:-}" ]; then
    perf stat -x, -e "$probe" -p "$client" -o "$work/frames" -- sleep "$seconds" 2>/dev/null
    frames=$(awk -F, '/iso_present/ {print $1}' "$work/frames")
    frames_note="frames: $frames in ${seconds} s = $(awk -v f="$frames" -v s="$seconds" 'BEGIN {printf "%.1f", f / s}') per second"
else
    sleep "$seconds"
fi
end=$(ticks)
hz=$(getconf CLK_TCK)
echo "isoclient ${client_options[*]}, ${seconds} s in the game on a $screen screen ($([ "$players" -gt 0 ] && echo "on-line, $players bots" || echo offline)):"
echo "  CPU time $(awk -v t=$((end - start)) -v hz="$hz" 'BEGIN {printf "%.2f", t / hz}') s =" \
     "$(awk -v t=$((end - start)) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.1f", 100 * t / hz / s}')% of one core"
echo "  $frames_note"
echo "  load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
