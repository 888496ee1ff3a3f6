#!/usr/bin/env bash
# Measures what the application's window costs. Builds a Release build against the local service in
# build-idle/ (as tools/measure-idle.sh does), starts the service on loopback and the real application with
# a throwaway keyring and configuration on a private Xvfb display with a window manager and a tray, and
# reports the application's CPU and wake-ups per second while its window is: visible, idle and
# disconnected; visible and connected (flow ring and arc moving); minimised; closed to the tray.
# Screenshots of the phases are left in build-idle/ui-*.png.
#   tools/measure-ui-idle.sh [seconds per phase]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds="${1:-30}"
build=$root/build-idle
service=$build/local-service
app=$build/bin/tessaron
cost=$build/bin/tessaron-idle-cost

# Everything below runs against a keyring and a session bus of its own.
if [ -z "${TESSARON_TEST_KEYRING_PASSWORD:-}" ]; then
    exec tests/support/with-keyring.sh "$0" "$@"
fi

accepts_connections() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
port=28443
while accepts_connections "$port"; do
    port=$((port + 1))
done

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF \
    -DTESSARON_LOCAL_SERVICE=ON "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port" \
    "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$port/success.txt" \
    "-DTESSARON_LOCAL_SERVICE_CA=$service/ca.pem" "-DTESSARON_APPLICATIONS_DIR=$build" "${launcher[@]}" \
    >"$build/build.log" 2>&1
cmake --build "$build" -j "${BUILD_JOBS:-4}" \
    --target tessaron tessaron-idle-cost tessaron-tunnel tessaron-local-service >>"$build/build.log" 2>&1 ||
    { tail -30 "$build/build.log"; exit 1; }
tools/make-certs.sh "$service" >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-ui-idle.XXXXXX")
background=()
stop_background() {
    for ((i = ${#background[@]} - 1; i >= 0; i--)); do
        kill "${background[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap stop_background EXIT

# The running process of an executable, found by its path.
pid_of() {
    local process
    for process in /proc/[0-9]*; do
        if [ "$(readlink "$process/exe" 2>/dev/null)" = "$1" ]; then
            echo "${process#/proc/}"
            return 0
        fi
    done
    return 1
}

wait_for() {
    for _ in $(seq "$((10 * $1))"); do
        "${@:2}" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "gave up waiting for: ${*:2}" >&2
    exit 1
}

"$build/bin/tessaron-local-service" "$port" "$service/server.pem" "$service/server.key" "$scratch/service" \
    >"$scratch/service.log" 2>&1 &
background+=($!)
wait_for 10 accepts_connections "$port"
code=$(sed -n 's/^invitation code for Europe .*: \(\S*\)$/\1/p' "$scratch/service.log" | head -n 1)
[ -n "$code" ] || { echo "the local service gave no invitation code" >&2; exit 1; }

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" 2>/dev/null &
background+=($!)
wait_for 10 test -s "$scratch/display"
export DISPLAY=":$(head -n 1 "$scratch/display")" QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$scratch/config
openbox >/dev/null 2>&1 &
background+=($!)
trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
background+=($!)
sleep 1

"$cost" --consent
"$app" 2> >(grep -v "^\[com.hallmere" >&2) &
background+=($!)
wait_for 20 xdotool search --onlyvisible --name '^Tessaron$'
window=$(xdotool search --onlyvisible --name '^Tessaron$' | head -n 1)
tunnel_pid=""
stop_tunnel() {
    # The tunnel outlives the application; it goes before the rest.
    [ -z "$tunnel_pid" ] || kill "$tunnel_pid" 2>/dev/null || true
    stop_background
}
trap stop_tunnel EXIT

# Lets the phase settle, pictures it and measures it.
phase() {
    sleep 5
    import -window root "$build/ui-$1.png"
    "$cost" --watch "$app" "$1" "$seconds"
}

echo "load before: $(cat /proc/loadavg)"
"$cost" --heading
phase idle

# A second start hands the invitation to the running application, which redeems it and connects.
"$app" "https://127.0.0.1/connect#invite=$code" || true
wait_for 60 pid_of "$build/bin/tessaron-tunnel"
tunnel_pid=$(pid_of "$build/bin/tessaron-tunnel")
sleep 10
phase connected

xdotool windowminimize --sync "$window"
phase minimised

xdotool windowactivate --sync "$window"
xdotool key --window "$window" alt+F4
wait_for 10 bash -c "! xdotool search --onlyvisible --name '^Tessaron$'"
phase closed
echo "load after: $(cat /proc/loadavg)"
