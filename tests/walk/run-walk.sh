#!/usr/bin/env bash
# Walks the installed application as a person would: ./run.sh builds it against the local service and
# installs it, and tests/walk/walk.py drives the real window under Xvfb and a window manager with the
# keyboard and mouse (xdotool), reads it through the accessibility bus (AT-SPI) and takes screenshots.
# Everything it writes stays under build-walk/: a home, a keyring and a display of its own.
#
#   tests/walk/run-walk.sh        (screenshots in build-walk/shots/)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
walk=$root/build-walk

background=()
stop_background() {
    for ((i = ${#background[@]} - 1; i >= 0; i--)); do
        kill "${background[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap stop_background EXIT

start_display() {
    local display_file=$walk/xvfb-display
    rm -f "$display_file"
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$display_file" 2>"$walk/xvfb.log" &
    background+=($!)
    for _ in $(seq 100); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    [ -s "$display_file" ] || { echo "walk: Xvfb did not start; see $walk/xvfb.log" >&2; exit 1; }
    DISPLAY=":$(head -n 1 "$display_file")"
    export DISPLAY
    openbox >"$walk/openbox.log" 2>&1 &
    background+=($!)
}

if [ "${1:-}" = "--inside" ]; then
    # Inside the throwaway session bus and keyring of tests/support/with-keyring.sh.
    start_display
    /usr/bin/python3 -u tests/walk/walk.py "$walk"
    exit
fi

rm -rf "$walk/home" "$walk/shots"
mkdir -p -m 700 "$walk/home"
mkdir -p "$walk/shots"
# A home of its own keeps the installed copy, its settings and its desktop entry away from the user's.
export HOME=$walk/home XDG_CONFIG_HOME=$walk/home/.config XDG_CACHE_HOME=$walk/home/.cache
export TESSARON_RUN_BUILD=$walk/build TESSARON_RUN_BUILD_TYPE=Debug
unset XDG_CURRENT_DESKTOP
tests/support/with-keyring.sh "$0" --inside
