#!/usr/bin/env bash
# server_load.sh [BOTS] [SECONDS] [isobot options...] -- starts isoserver (fresh database, open
# registration) and isobot side by side on this machine and prints every figure: the machine's
# load, the move round trip, message rates, what the well-behaved bots should never see, the
# server's CPU time, memory and descriptors.
#   bench/server_load.sh 1000 20                 # the 1000-bot target
#   bench/server_load.sh 3000 40 --threads 2 --warmup 20   # the 3000-bot target, after the logins
#   bench/server_load.sh 300 600 --chaos 50      # the soak: 10 minutes with chaos bots
#   HASH=real bench/server_load.sh 50 20         # logins hashed at the real cost while others move
# SERVER_ARGS adds options to the server (e.g. SERVER_ARGS="--view-radius 0"). MAP chooses the world
# of server and bots: a map file, or "large" for the default world repeated 3 x 3 (360 x 360),
# made once with isodata into build/out/data/large.map:
#   MAP=large bench/server_load.sh 3000 40 --threads 2 --warmup 20 --say-ms 60000
# SCRAPE=1 opens the side port (--http) and fetches /metrics from it every second, as Prometheus
# would; compare its round trip with a run without it:
#   bench/server_load.sh 1000 20;  SCRAPE=1 bench/server_load.sh 1000 20
# Both sides speak TLS, as players connect; PLAIN=yes makes both speak the bare protocol (--plain).
set -euo pipefail
cd "$(dirname "$0")/.."
bots="${1:-1000}"
seconds="${2:-20}"
shift $(( $# >= 2 ? 2 : $# ))
out=build/out
[ -x "$out/isoserver" ] && [ -x "$out/isobot" ] || { echo "build isoserver and isobot first" >&2; exit 2; }
map="${MAP:-$out/data/testmap.map}"
if [ "$map" = large ]; then
    map="$out/data/large.map"
    if [ ! -s "$map" ] || [ "$map" -ot "$out/data/testmap.map" ]; then
        "$out/isodata" dump "$out/data/testmap.map" | python3 -c '
import json, sys
world = json.load(sys.stdin)
for layer in ("ground", "objects", "overlay"):
    for field, rows in world[layer].items():
        world[layer][field] = [row * 3 for row in rows] * 3
world["width"] *= 3
world["height"] *= 3
json.dump(world, sys.stdout)' >"$out/data/large.json"
        "$out/isodata" build "$out/data/large.json" "$map"
        rm -f "$out/data/large.json"
    fi
fi
temp="$(mktemp -d)"
scraper=""
trap 'kill "$server" $scraper 2>/dev/null || true; rm -rf "$temp"' EXIT   # the server is gone after a whole run

hash=(--hash-ops 1 --hash-memory 8)   # the load is the game, not the logins
plain=()
[ "${PLAIN:-}" = yes ] && plain=(--plain)
[ "${HASH:-}" = real ] && hash=()
side=()
[ "${SCRAPE:-}" = 1 ] && side=(--http 127.0.0.1:0)
# shellcheck disable=SC2086
"$out/isoserver" --port 0 --db "$temp/load.db" --register open --connects-per-minute 0 --max-checks 100000 \
    --max-clients 100000 --log-per-second 5 "${hash[@]}" "${side[@]}" "${plain[@]}" --map "$map" ${SERVER_ARGS:-} \
    >"$temp/server.out" 2>"$temp/server.err" </dev/null &
server=$!
for _ in $(seq 100); do grep -q "listening on" "$temp/server.out" 2>/dev/null && break; sleep 0.1; done
port="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$temp/server.out" | head -1)"
[ -n "$port" ] || { cat "$temp/server.err" >&2; exit 1; }
if [ "${SCRAPE:-}" = 1 ]; then
    side_port="$(sed -n 's/.*status page on http:\/\/127\.0\.0\.1:\([0-9]*\).*/\1/p' "$temp/server.out" | head -1)"
    [ -n "$side_port" ] || { echo "no side port in the server's output" >&2; exit 1; }
    (while curl -sf -o /dev/null "http://127.0.0.1:$side_port/metrics"; do sleep 1; done) &
    scraper=$!
    echo "side port: /metrics on port $side_port fetched every second"
fi

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }   # user + system, in clock ticks
ticks="$(getconf CLK_TCK)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"
echo "server: $(sed -n 's/^isoserver: //p' "$temp/server.out" | head -1)"
echo "bots: $bots for $seconds s on $(basename "$map"), isobot $*"
before="$(cpu "$server")"
start="$(date +%s.%N)"
status=0
"$out/isobot" --port "$port" --bots "$bots" --seconds "$seconds" --map "$map" \
    --watch "$server" "${plain[@]}" "$@" || status=$?
end="$(date +%s.%N)"
after="$(cpu "$server")"
awk -v b="$before" -v a="$after" -v t="$ticks" -v s="$start" -v e="$end" \
    'BEGIN { printf "server CPU: %.1f s in %.1f s of wall time (%.0f%% of one core)\n", (a-b)/t, e-s, 100*(a-b)/t/(e-s) }'
echo "machine: load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"
kill -TERM "$server"
wait "$server" || true
grep -c . "$temp/server.err" | sed 's/^/server log lines: /'
exit "$status"
