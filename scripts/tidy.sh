#!/usr/bin/env bash
# tidy.sh [BUILD_DIR] -- clang-tidy (the checks in .clang-tidy) over the program's own code: src/,
# server/ and tools/, with the compile commands of BUILD_DIR. Fails on any finding.
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
[ -f "$build/compile_commands.json" ] || { echo "tidy.sh: no $build/compile_commands.json (configure first)" >&2; exit 2; }
# The Windows variants of src/platform are not in a Linux build's compile commands.
git ls-files 'src/*.cpp' 'server/*.cpp' 'tools/*.cpp' | grep -v '_windows\.cpp$' |
    xargs -P "$(nproc)" -n 4 clang-tidy-14 -p "$build" --quiet > "$build/tidy.log" 2>&1
status=$?
if grep -E '(warning|error):' "$build/tidy.log"; then
    echo "tidy.sh: findings above (full text in $build/tidy.log)" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "tidy.sh: clang-tidy failed (status $status); see $build/tidy.log" >&2
    exit 1
fi
echo "tidy.sh: clean"
