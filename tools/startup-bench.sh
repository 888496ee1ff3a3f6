#!/usr/bin/env bash
# Measures the application's start, to its first map and to its home view painted, against a bare Qt
# window on a private Xvfb display without a window manager, with throwaway configuration and data folders
# and a session bus of their own (without one, D-Bus would start a bus for every run).
# Both Release builds are measured: the production one (build-bench/) and one against the local service
# as run.sh makes it (build-bench-local/; the service itself is not started).
#   tools/startup-bench.sh [runs] [application…]
# Further applications (for example copies of an earlier commit's builds) are measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-7}
shift || true

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
build() {
    local folder=$1
    shift
    cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF \
        "-DTESSARON_APPLICATIONS_DIR=$root/$folder" "${launcher[@]}" "$@" >/dev/null
    cmake --build "$folder" -j "${BUILD_JOBS:-4}" --target tessaron tessaron-startup-bench >/dev/null
}
build build-bench -DTESSARON_LOCAL_SERVICE=OFF
service=$root/build-bench-local/local-service
tools/make-certs.sh "$service" >/dev/null
port=29481
build build-bench-local -DTESSARON_LOCAL_SERVICE=ON "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port" \
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
DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/runtime \
    XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data dbus-run-session -- \
    build-bench/bin/tessaron-startup-bench --runs "$runs" build-bench/bin/tessaron build-bench-local/bin/tessaron "$@"
