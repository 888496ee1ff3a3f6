#!/usr/bin/env bash
# Measures the application's start, to its first map and to its home view painted, against a blank Qt
# window on a private Xvfb display without a window manager, with throwaway configuration and data folders
# and a session bus of their own (without one, D-Bus would start a bus for every run).
# Both builds are measured: the production Release (build-bench/) and the RelWithDebInfo one against the
# local service as run.sh makes it (build-bench-local/; the service itself is not started).
# Then each program runs once more under callgrind, which counts the instructions it executes up to the
# moment its first picture is handed to the window system, on the main thread (the path to the picture)
# and on all threads: figures the machine's load hardly moves.
#   tools/startup-bench.sh [runs] [application…]
# Further applications (for example copies of an earlier commit's builds) are measured in the same run.
# STARTUP_BENCH_INSTRUCTIONS=0 leaves the instruction count out.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ "${1:-}" = --inside ]; then
    shift
    runs=$1
    shift
    build-bench/bin/tessaron-startup-bench --runs "$runs" "$@"
    [ "${STARTUP_BENCH_INSTRUCTIONS:-1}" = 1 ] || exit 0
    counts=$(mktemp -d)
    bare=""
    printf '%-48s %15s %10s %15s\n' "instructions to the first picture" "main thread" "" "all threads"
    for program in build-bench/bin/tessaron-bare-window "$@"; do
        # Valgrind cannot read the DWARF 5 that clang writes: it counts a copy without it, beside the
        # original, where the program finds its Info file.
        counted=$(dirname "$program")/.counted-$(basename "$program")
        strip --strip-debug -o "$counted" "$program"
        TESSARON_EXIT_WHEN_PRESENTED=1 valgrind --tool=callgrind --separate-threads=yes \
            --callgrind-out-file="$counts/out" "$counted" >/dev/null 2>&1 || true
        rm -f "$counted"
        main=$(sed -n 's/^totals: *\([0-9]*\).*/\1/p' "$counts/out-01" 2>/dev/null)
        all=$(cat "$counts"/out-* 2>/dev/null | sed -n 's/^totals: *\([0-9]*\).*/\1/p' | paste -sd+ | bc)
        rm -f "$counts"/out-*
        if [ -z "$main" ]; then
            printf '%-48s %15s\n' "$program" "not counted"
            continue
        fi
        bare=${bare:-$main}
        printf '%-48s %15s (%4s x) %15s\n' "$program" "$main" "$(echo "scale=2; $main / $bare" | bc)" "$all"
    done
    rm -rf "$counts"
    exit 0
fi

runs=${1:-7}
shift || true

build() {
    local folder=$1 type=$2
    shift 2
    cmake -S . -B "$folder" -G Ninja "-DCMAKE_BUILD_TYPE=$type" -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF \
        "-DTESSARON_APPLICATIONS_DIR=$root/$folder" "$@" >/dev/null
    cmake --build "$folder" -j "${BUILD_JOBS:-4}" --target tessaron tessaron-startup-bench >/dev/null
}
build build-bench Release -DTESSARON_LOCAL_SERVICE=OFF
service=$root/build-bench-local/local-service
tools/make-certs.sh "$service" >/dev/null
port=29481
build build-bench-local RelWithDebInfo -DTESSARON_LOCAL_SERVICE=ON "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port" \
    "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$port/success.txt" "-DTESSARON_LOCAL_SERVICE_CA=$service/ca.pem"

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
mkdir -m 700 "$work/runtime" "$work/config" "$work/data"
echo "load average: $(cut -d ' ' -f 1-3 /proc/loadavg)"
DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime \
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data dbus-run-session -- \
    "$0" --inside "$runs" build-bench/bin/tessaron build-bench-local/bin/tessaron "$@"
echo "load average: $(cut -d ' ' -f 1-3 /proc/loadavg)"
