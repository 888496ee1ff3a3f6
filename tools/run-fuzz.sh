#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for the given number of seconds, several
# at a time. Usage: tools/run-fuzz.sh [seconds] [target…]   (default 60 s, every target)
# The seeds in tests/fuzz/corpus/<target>/ run first, so a reproducer kept there stays fixed. Inputs found
# on the way go to build-fuzz/corpus/<target>/, findings to build-fuzz/findings/. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
jobs="${FUZZ_JOBS:-4}"
build=build-fuzz

mkdir -p "$build"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTESSARON_FUZZ=ON -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF "${launcher[@]}" >"$build/build.log" 2>&1 ||
    { tail -20 "$build/build.log"; exit 1; }
cmake --build "$build" --target tessaron_fuzz_targets -j "$jobs" >>"$build/build.log" 2>&1 ||
    { tail -40 "$build/build.log"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in tests/fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

mkdir -p "$build/logs" "$build/findings"
run_one() {
    local target="$1" seconds="$2" build="$3"
    mkdir -p "$build/corpus/$target" "tests/fuzz/corpus/$target"
    if "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" "$build/corpus/$target" "tests/fuzz/corpus/$target" \
        >"$build/logs/$target.log" 2>&1; then
        echo "ok      $target"
    else
        echo "FINDING $target (log: $build/logs/$target.log)"
        grep -E "ERROR|property broken|runtime error|Test unit written" "$build/logs/$target.log" | head -5 | sed 's/^/        /'
        return 1
    fi
}
export -f run_one
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"
