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

if [ "${1:-}" = "--inside" ]; then
    # Inside the throwaway keyring of tests/support/with-keyring.sh and the display of with-tray-host.sh.
    exec /usr/bin/python3 -u tests/walk/walk.py "$walk"
fi

rm -rf "$walk/home" "$walk/shots"
mkdir -p -m 700 "$walk/home"
mkdir -p "$walk/shots"
# The compiler cache stays the user's, where the test build left its objects.
if command -v ccache >/dev/null; then
    CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
    export CCACHE_DIR
fi
# A home of its own keeps the installed copy, its settings and its desktop entry away from the user's.
export HOME=$walk/home XDG_CONFIG_HOME=$walk/home/.config XDG_CACHE_HOME=$walk/home/.cache
# Built as the test build is (Debug, under the sanitizers) in a folder as deep as build/, so the compiler
# cache hands over the test build's objects and only what names the local service is compiled again.
export TESSARON_RUN_BUILD=$root/build-walk-app TESSARON_RUN_BUILD_TYPE=Debug TESSARON_RUN_SANITIZE=ON
# Every program of the walk writes its sanitizer reports here; any report fails the walk.
reports=$walk/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan:${ASAN_OPTIONS:-}" UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1:${UBSAN_OPTIONS:-}"
unset XDG_CURRENT_DESKTOP
# The tunnel outlives the application by design; the walk's own copy goes with the walk.
trap 'pkill -f "$HOME/.local/opt/Tessaron/tessaron-tunnel" || true' EXIT
echo "== Building and installing the application for the walk"
./run.sh --build-only
echo "== Walking the installed application (screenshots in $walk/shots)"
tests/support/with-keyring.sh tests/support/with-tray-host.sh none "$0" --inside
if [ -n "$(ls -A "$reports")" ]; then
    echo "The sanitizers reported during the walk:" >&2
    head -n 40 "$reports"/* >&2
    exit 1
fi
