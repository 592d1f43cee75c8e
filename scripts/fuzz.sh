#!/usr/bin/env bash
# fuzz.sh -- builds the libFuzzer harnesses of fuzz/ (clang-14, ASan + UBSan) in build-fuzz/ and
# runs them. Harness NAME is fuzz/NAME.cpp, its seeds fuzz/corpus/NAME/, the inputs of faults it
# found fuzz/regressions/NAME/ (fuzz/README.md).
#
#   scripts/fuzz.sh NAME SECONDS     a long search; the corpus it grows is build-fuzz/corpus/NAME
#                                    (kept between runs, started from the committed seeds), a
#                                    fault's input lands in build-fuzz/crashes/NAME/
#   scripts/fuzz.sh --merge NAME     adds to fuzz/corpus/NAME the inputs of the grown corpus that
#                                    reach coverage the committed seeds do not
#   scripts/fuzz.sh --check [SECONDS] what ./test runs: every harness over its seeds and regression
#                                    inputs, then a search of SECONDS (default 20) each
#   scripts/fuzz.sh --build          only the build
# Long searches belong under nice: nice -n 19 scripts/fuzz.sh client 1800
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

names() { for f in fuzz/*.cpp; do basename "$f" .cpp; done; }

build_harnesses() {
  cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DISO_FUZZ=ON \
        -DISO_BENCH=OFF >/dev/null
  cmake --build "$build" -j"${FUZZ_JOBS:-2}" --target fuzz_all
}

# The libFuzzer options every run shares: a hang or a runaway allocation is a fault too.
common=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1)

# The harness over every committed input of NAME, each once.
replay() {
  local name=$1
  mapfile -t inputs < <(find "fuzz/corpus/$name" "fuzz/regressions/$name" -type f 2>/dev/null | sort)
  if [ ${#inputs[@]} -eq 0 ]; then
    echo "fuzz: $name has no committed inputs" >&2
    return 1
  fi
  "$build/out/fuzz_$name" "${common[@]}" "${inputs[@]}" >"$build/logs/$name.replay.log" 2>&1 || {
    tail -n 40 "$build/logs/$name.replay.log" >&2
    echo "fuzz: $name fails on a committed input (log: $build/logs/$name.replay.log)" >&2
    return 1
  }
  echo "fuzz: $name: ${#inputs[@]} committed inputs pass"
}

# A search of SECONDS from the committed inputs; new inputs go to the folder given.
search() {
  local name=$1 seconds=$2 work=$3
  mkdir -p "$work" "$build/crashes/$name"
  local dirs=("$work" "fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && dirs+=("fuzz/regressions/$name")
  "$build/out/fuzz_$name" "${common[@]}" -max_total_time="$seconds" -artifact_prefix="$build/crashes/$name/" \
    "${dirs[@]}" >"$build/logs/$name.search.log" 2>&1 || {
    tail -n 60 "$build/logs/$name.search.log" >&2
    echo "fuzz: $name found a fault; its input is in $build/crashes/$name/ (commit it to fuzz/regressions/$name/ with the fix)" >&2
    return 1
  }
  grep -E 'DONE' "$build/logs/$name.search.log" | sed "s/^/fuzz: $name: /" || true
}

mkdir -p "$build/logs"
case "${1:-}" in
  --build)
    build_harnesses ;;
  --check)
    seconds=${2:-20}
    build_harnesses
    for name in $(names); do
      replay "$name"
      rm -rf "$build/check/$name"
      search "$name" "$seconds" "$build/check/$name"
    done ;;
  --merge)
    name=${2:?usage: scripts/fuzz.sh --merge NAME}
    build_harnesses
    "$build/out/fuzz_$name" -merge=1 "fuzz/corpus/$name" "$build/corpus/$name" ;;
  ""|-h|--help)
    sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' ;;
  *)
    name=$1
    seconds=${2:?usage: scripts/fuzz.sh NAME SECONDS}
    [ -f "fuzz/$name.cpp" ] || { echo "fuzz: no harness fuzz/$name.cpp (have: $(names | tr '\n' ' '))" >&2; exit 2; }
    build_harnesses
    replay "$name"
    search "$name" "$seconds" "$build/corpus/$name" ;;
esac
