#!/usr/bin/env bash
# The screenshot taker waits for the window's first painted frame, however late it comes, and takes no
# picture of a window that never paints: it says so and fails. Runs on a display of its own
# (tests/support/with-tray-host.sh) with a stand-in window that shows its background alone until told to paint.
#   tests/run/screenshot_test.sh <tessaron-screenshot>
set -euo pipefail
taker=$(realpath "$1")
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-screenshot.XXXXXX")
window=""
trap 'kill $window 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT

# A window titled TITLE, mapped at once, that paints a red and a green band once the file PAINT exists.
stand_in() {
    python3 - "$1" "$2" <<'WINDOW' &
import os, sys, tkinter
title, paint = sys.argv[1], sys.argv[2]
root = tkinter.Tk()
root.title(title)
root.geometry("300x200+100+100")
canvas = tkinter.Canvas(root, width=300, height=200, background="gray40", highlightthickness=0)
canvas.pack()
def poll():
    if os.path.exists(paint):
        canvas.create_rectangle(0, 0, 300, 100, fill="red", width=0)
        canvas.create_rectangle(0, 100, 300, 200, fill="green", width=0)
    else:
        root.after(50, poll)
poll()
root.mainloop()
WINDOW
    window=$!
}

# The taker against a stand-in that PAINTS "later" (told once the taker runs) or "never". Prints its exit
# status, whether it wrote a picture with the stand-in's bands and whether it said why it wrote none.
shoot() {
    local paints=$1 title="Stand-in $1" picture=$scratch/$1.png status=0
    stand_in "$title" "$scratch/paint-$1"
    local timeout=60
    [ "$paints" = later ] || timeout=3
    "$taker" --window "$title" --timeout "$timeout" "$picture" 2>"$scratch/told-$1" &
    local taking=$!
    [ "$paints" = never ] || touch "$scratch/paint-$1"
    wait "$taking" || status=$?
    kill "$window"
    wait "$window" 2>/dev/null || true
    local shown="no picture"
    if [ -f "$picture" ]; then
        shown="a picture without the bands"
        local histogram
        histogram=$(convert "$picture" -format %c histogram:info:-)
        if grep -q "#FF0000" <<<"$histogram" && grep -q "#008000" <<<"$histogram"; then
            shown="the bands"
        fi
    fi
    local said=""
    ! grep -q "painted nothing.*no picture taken" "$scratch/told-$1" || said=", said it painted nothing"
    echo "exit $status: $shown$said"
}

failures=0
while IFS='|' read -r paints expected; do
    actual=$(shoot "$paints")
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: a window that paints $paints: expected '$expected', got '$actual'" >&2
        failures=$((failures + 1))
    fi
done <<'CASES'
later|exit 0: the bands
never|exit 1: no picture, said it painted nothing
CASES
[ "$failures" -eq 0 ]
