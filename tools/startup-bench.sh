#!/usr/bin/env bash
# Measures the application's start against a bare Qt window on a private Xvfb display without a window
# manager, in a Release build, with throwaway configuration and data folders.
#   tools/startup-bench.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF >/dev/null
cmake --build "$build" --target tessaron tessaron-startup-bench >/dev/null

work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
mkdir -m 700 "$work/runtime" "$work/config" "$work/data"
DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime \
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
    "$build/bin/tessaron-startup-bench" --runs "${1:-7}" "$build/bin/tessaron"
