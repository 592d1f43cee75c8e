#!/usr/bin/env bash
# server_load.sh [BOTS] [SECONDS] [isobot options...] -- starts isoserver (fresh database, open
# registration) and isobot side by side on this machine and prints every figure: the machine's
# load, the move round trip, message rates, what the well-behaved bots should never see, the
# server's CPU time, memory and descriptors.
#   bench/server_load.sh 1000 20                 # the 1000-bot target
#   bench/server_load.sh 3000 40 --threads 2 --warmup 20   # the 3000-bot target, after the logins
#   bench/server_load.sh 300 600 --chaos 50      # the soak: 10 minutes with chaos bots
#   HASH=real bench/server_load.sh 50 20         # logins hashed at the real cost while others move
# SERVER_ARGS adds options to the server (e.g. SERVER_ARGS="--view-radius 0"). Both sides speak
# TLS, as players connect; PLAIN=yes makes both speak the bare protocol (--plain).
set -euo pipefail
cd "$(dirname "$0")/.."
bots="${1:-1000}"
seconds="${2:-20}"
shift $(( $# >= 2 ? 2 : $# ))
out=build/out
[ -x "$out/isoserver" ] && [ -x "$out/isobot" ] || { echo "build isoserver and isobot first" >&2; exit 2; }
temp="$(mktemp -d)"
trap 'kill "$server" 2>/dev/null; rm -rf "$temp"' EXIT

hash=(--hash-ops 1 --hash-memory 8)   # the load is the game, not the logins
plain=()
[ "${PLAIN:-}" = yes ] && plain=(--plain)
[ "${HASH:-}" = real ] && hash=()
# shellcheck disable=SC2086
"$out/isoserver" --port 0 --db "$temp/load.db" --register open --connects-per-minute 0 --max-checks 100000 \
    --max-clients 100000 --log-per-second 5 "${hash[@]}" "${plain[@]}" --map "$out/data/testmap.map" ${SERVER_ARGS:-} \
    >"$temp/server.out" 2>"$temp/server.err" </dev/null &
server=$!
for _ in $(seq 100); do grep -q "listening on" "$temp/server.out" 2>/dev/null && break; sleep 0.1; done
port="$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$temp/server.out" | head -1)"
[ -n "$port" ] || { cat "$temp/server.err" >&2; exit 1; }

cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }   # user + system, in clock ticks
ticks="$(getconf CLK_TCK)"
echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"
echo "server: $(sed -n 's/^isoserver: //p' "$temp/server.out" | head -1)"
echo "bots: $bots for $seconds s, isobot $*"
before="$(cpu "$server")"
start="$(date +%s.%N)"
status=0
"$out/isobot" --port "$port" --bots "$bots" --seconds "$seconds" --map "$out/data/testmap.map" \
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
