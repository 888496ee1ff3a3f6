#!/usr/bin/env bash
# Runs a command against a throwaway Secret Service: a session bus of its own and a fresh gnome-keyring
# whose login keyring is created and unlocked before the command starts. The caller's own keyring and
# session bus are never touched. Exits with the command's status and leaves nothing behind.
#
#   tests/support/with-keyring.sh <command> [arguments…]
#
# The command finds the login keyring's password in TESSARON_TEST_KEYRING_PASSWORD (tests that lock the
# keyring unlock it again with it).
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 <command> [arguments…]" >&2
    exit 64
fi

bus_call() {
    dbus-send --session --print-reply=literal --reply-timeout=2000 "$@"
}

# The daemon claims its bus name shortly after it returns; a request sent before that would make the bus
# start a second daemon of its own.
wait_for_keyring() {
    for _ in $(seq 200); do
        if bus_call --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
            string:org.freedesktop.secrets | grep -q true; then
            return 0
        fi
        sleep 0.025
    done
    echo "with-keyring: the keyring daemon did not come up" >&2
    return 1
}

# Whoever serves the keyring now: a test may have restarted the daemon.
# shellcheck disable=SC2317 # run by the EXIT trap
stop_keyring() {
    local pid
    pid=$(bus_call --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetConnectionUnixProcessID \
        string:org.freedesktop.secrets 2>/dev/null | awk '{ print $2 }') || true
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
    fi
}

run_inside_session() {
    # An empty password never creates the login keyring, so the keyring gets a real one.
    export TESSARON_TEST_KEYRING_PASSWORD="throwaway"
    echo -n "$TESSARON_TEST_KEYRING_PASSWORD" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    wait_for_keyring
    trap stop_keyring EXIT

    local status=0
    "$@" || status=$?
    return "$status"
}

if [ "${1:-}" = "--inside-session" ]; then
    shift
    run_inside_session "$@"
    exit
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-keyring.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
trap 'exit 143' TERM INT HUP
mkdir -m 700 "$scratch/data" "$scratch/runtime"
# Set before the bus starts, so anything the bus starts on its own keeps to the throwaway folders too.
export XDG_DATA_HOME="$scratch/data" XDG_RUNTIME_DIR="$scratch/runtime"
# With no display an unlock prompt fails at once instead of waiting for someone to answer it.
unset DISPLAY WAYLAND_DISPLAY

status=0
dbus-run-session -- "$0" --inside-session "$@" || status=$?
exit "$status"
