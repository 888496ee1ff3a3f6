#!/usr/bin/env bash
# Runs each fuzz target for the given number of seconds, several at a time. Usage:
#   tools/run-fuzz.sh [seconds] [target…]   (default 60 s, every target)
# The targets come from the sanitized test build (FUZZ_BUILD, default build/), which ./test.sh makes; a
# folder not yet configured so is configured here. The seeds in tests/fuzz/corpus/<target>/ run first, so
# a reproducer kept there stays fixed. Inputs found on the way go to <build>/fuzz/corpus/<target>/,
# findings to <build>/fuzz/findings/. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
jobs="${FUZZ_JOBS:-4}"
build="${FUZZ_BUILD:-build}"

tools/forget-other-compiler.sh "$build"
if ! grep -q '^TESSARON_SANITIZE:BOOL=ON$' "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-16 \
        -DTESSARON_SANITIZE=ON >/dev/null
fi
echo "Building the fuzz targets in $build"
cmake --build "$build" --target tessaron_fuzz_targets >"$build/fuzz-build.log" 2>&1 ||
    { tail -40 "$build/fuzz-build.log"; exit 1; }
bin="$build/bin"
out="$build/fuzz"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

mkdir -p "$out/logs" "$out/findings"
run_one() {
    local target="$1" seconds="$2" bin="$3" out="$4"
    mkdir -p "$out/corpus/$target" "tests/fuzz/corpus/$target"
    # The parsers finish all they start: here the leak check is on, and a leak is a finding.
    if ASAN_OPTIONS="detect_leaks=1:${ASAN_OPTIONS:-}" "$bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/findings/$target-" "$out/corpus/$target" "tests/fuzz/corpus/$target" \
        >"$out/logs/$target.log" 2>&1; then
        echo "ok      $target"
    else
        echo "FINDING $target (log: $out/logs/$target.log)"
        grep -E "ERROR|property broken|runtime error|Test unit written" "$out/logs/$target.log" | head -5 | sed 's/^/        /'
        return 1
    fi
}
export -f run_one
echo "Running ${#targets[@]} fuzz targets for $seconds s each, $jobs at a time"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$bin" "$out"
