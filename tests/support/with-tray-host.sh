#!/usr/bin/env bash
# Runs a command on a display of its own under Xvfb, with a window manager (openbox) and, unless told
# "none", a tray host; the command's folders (configuration, data, runtime) are private and removed afterwards.
# Exits with the command's status.
#
#   tests/support/with-tray-host.sh tray|none <command> [arguments…]
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 tray|none <command> [arguments…]" >&2
    exit 64
fi
host=$1
shift

work=$(mktemp -d)
pids=()
finish() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(head -n 1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
if [ "$host" = tray ]; then
    trayer --edge top --align right --widthtype request --height 24 --transparent false >/dev/null 2>&1 &
    pids+=($!)
fi
# A window shown before the window manager and the tray host run gets no frame and no tray.
sleep 1

mkdir -m 700 "$work/runtime" "$work/config" "$work/data"
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
export QT_QPA_PLATFORM=xcb
"$@"
