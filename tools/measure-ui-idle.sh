#!/usr/bin/env bash
# Measures what the application's window costs. Builds a Release build against the local service in
# build-idle/<port>/ (as tools/measure-idle.sh does, on a port reserved for this run, so runs side by side
# never share a port or a build), starts the service on loopback and the real application with
# a throwaway keyring and configuration on a private Xvfb display with a window manager and a tray, and
# reports the application's CPU and wake-ups per second while its window is: visible, idle and
# disconnected; visible and connected (flow ring and arc moving); minimised; closed to the tray.
# Before signing in, it measures the window signed out too (the globe alone moves there), and first a bare Qt
# window (tools/startup_bench/bare_window.cpp), the yardstick of the same run. Under each row, the
# paints and painted pixels per second of the widgets that were painted (the application's paint census).
# Screenshots of the phases are left in build-idle/<port>/ui-*.png.
#   tools/measure-ui-idle.sh [seconds per window] [application…]   (default 30 s, the application built here)
# TESSARON_UI_IDLE_WINDOWS=N measures each phase in N windows of that length, one row each, and closes the
# phase with the median and the range of the windows. Several applications are measured one after the
# other in the same run, each from a fresh keyring and display and after a bare window of its own, so the
# yardstick interleaves with them.
# Another application (an earlier commit's, say) must be built for the same service: the port in
# TESSARON_LOCAL_SERVICE_PORT and the authority build-idle/local-service/ca.pem, tessaron-tunnel beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds="${1:-30}"
windows=${TESSARON_UI_IDLE_WINDOWS:-1}
service=$root/build-idle/local-service
# shellcheck source=tools/local-service.sh
source tools/local-service.sh

# Everything below runs, once per application, against a keyring and a session bus of its own, on a display
# of its own with a window manager and a tray.
if [ -z "${TESSARON_TEST_KEYRING_PASSWORD:-}" ]; then
    if [ -n "${TESSARON_LOCAL_SERVICE_PORT:-}" ]; then
        port=$TESSARON_LOCAL_SERVICE_PORT
        reserve_port "$port" || stop_port_taken "$port"
    else
        port=$(reserve_free_port 28443)
    fi
    apps=("${@:2}")
    [ ${#apps[@]} -gt 0 ] || apps=("$root/build-idle/$port/bin/tessaron")
    tools/build-idle.sh "$port" tessaron tessaron-idle-cost tessaron-tunnel tessaron-local-service \
        tessaron-sign-in tessaron-bare-window
    for app in "${apps[@]}"; do
        echo "== $(realpath -m "$app")"
        TESSARON_LOCAL_SERVICE_PORT=$port tests/support/with-keyring.sh tests/support/with-tray-host.sh tray \
            "$root/tools/measure-ui-idle.sh" "$seconds" "$(realpath -m "$app")"
    done
    exit 0
fi
app=$2
port=$TESSARON_LOCAL_SERVICE_PORT
build=$root/build-idle/$port
cost=$build/bin/tessaron-idle-cost

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

# The tunnel started for this run, whichever build started it: the one serving this run's own socket.
tunnel_pid() {
    local process
    for process in /proc/[0-9]*; do
        if [ "$(basename "$(readlink "$process/exe" 2>/dev/null)")" = tessaron-tunnel ] &&
            tr '\0' ' ' <"$process/cmdline" 2>/dev/null | grep -qF -- "--socket $XDG_RUNTIME_DIR/"; then
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

# The run holds the port's reservation, but any other program may have taken the port since.
start_local_service "$build/bin/tessaron-local-service" "$port" "$service" "$scratch/service" \
    "$scratch/service.log" || stop_port_taken "$port"

# Rows of the phase's windows, then their median and range (CPU in the third field, wake-ups in the fifth).
# The process is named by its pid: another copy of the same program (on another display, say) is not it.
watch_windows() {
    local rows=$scratch/rows
    : >"$rows"
    for _ in $(seq "$windows"); do
        "$cost" --watch "$1" "$2" "$seconds" | tee -a "$rows"
    done
    [ "$windows" -gt 1 ] || return 0
    sort -g -k3 "$rows" | awk -v n="$windows" '{ cpu[NR] = $3 } END {
        printf "  cpu median %.4f %% (%.4f-%.4f)", cpu[int((n + 1) / 2)], cpu[1], cpu[n] }'
    sort -g -k5 "$rows" | awk -v n="$windows" '{ up[NR] = $5 } END {
        printf "  wake-ups/s median %.2f (%.2f-%.2f)  over %d windows\n", up[int((n + 1) / 2)], up[1], up[n], n }'
}

# Lets the phase settle, pictures it and measures it. The census is written at most once a second and only
# after a paint, so a window is framed by the census's own times.
export TESSARON_PAINT_CENSUS=$scratch/census
phase() {
    sleep 5
    import -window root "$build/ui-$1.png"
    cp "$TESSARON_PAINT_CENSUS" "$scratch/census-before" 2>/dev/null || : >"$scratch/census-before"
    watch_windows "${2:-$signed_in}" "$1"
    python3 tools/paint-census-rates.py "$scratch/census-before" "$TESSARON_PAINT_CENSUS"
}

visible_window() {
    wait_for 20 xdotool search --onlyvisible --name "^${1:-Tessaron}\$"
    xdotool search --onlyvisible --name "^${1:-Tessaron}\$" | head -n 1
}

echo "load before: $(cat /proc/loadavg)"
"$cost" --heading
"$cost" --consent
"$build/bin/tessaron-bare-window" &
bare=$!
visible_window Bare >/dev/null
sleep 5
watch_windows "$bare" bare
kill "$bare"
wait "$bare" 2>/dev/null || true
"$app" 2> >(grep -v "^\[com.hallmere" >&2) &
signed_out=$!
visible_window >/dev/null
phase signed-out "$signed_out"
kill "$signed_out"
wait "$signed_out" 2>/dev/null || true
rm -f "$TESSARON_PAINT_CENSUS"

# Signed in, with the account's connection saved, and the tunnel installed, as after a first connect.
"$build/bin/tessaron-sign-in" developer@tessaron.test --service "https://127.0.0.1:$port" --ca "$service/ca.pem" \
    --code-log "$scratch/service.log" >"$scratch/sign-in.log" 2>&1 ||
    { cat "$scratch/sign-in.log" >&2; exit 1; }
"$app" 2> >(grep -v "^\[com.hallmere" >&2) &
signed_in=$!
background+=("$signed_in")
window=$(visible_window)
stop_tunnel() {
    # The tunnel outlives the application; it goes before the rest.
    local tunnel
    tunnel=$(tunnel_pid) && kill "$tunnel" 2>/dev/null
    stop_background
}
trap stop_tunnel EXIT

phase idle

# The primary button (Connect) spans the content at 78 % of the default window's height.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" "$((WIDTH / 2))" "$((HEIGHT * 78 / 100))" click 1
sleep 15
phase connected

xdotool windowminimize --sync "$window"
phase minimised

# Restored, focused, and closed as a person would, through the window manager.
xdotool windowmap --sync "$window"
closed() { ! xdotool search --onlyvisible --name '^Tessaron$' >/dev/null; }
for _ in 1 2 3 4 5; do
    closed && break
    xdotool windowfocus --sync "$window" key alt+F4 || true
    sleep 1
done
wait_for 10 closed
phase closed
echo "load after: $(cat /proc/loadavg)"
