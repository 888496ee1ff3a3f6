#!/usr/bin/env bash
# Runs a command on a private D-Bus session bus of its own, so that a test can own well-known names
# (such as the login manager's) without touching the caller's buses. Exits with the command's status.
#
#   tests/support/with-session-bus.sh <command> [arguments…]
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 <command> [arguments…]" >&2
    exit 64
fi

exec dbus-run-session -- "$@"
