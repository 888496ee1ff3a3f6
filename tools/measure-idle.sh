#!/usr/bin/env bash
# Measures what an idle, connected client and its tunnel cost. Reserves a free port for this run, builds a
# Release build against the local service on it in build-idle/<port>/, starts the service there, and runs
# tessaron-idle-cost with a throwaway keyring and configuration folder: it redeems an invitation, connects
# through the real tunnel, and reports CPU and wake-ups per second for the foreground and then the
# background. Runs side by side each have their own port, build, service and tunnel.
#   tools/measure-idle.sh [seconds per phase]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds="${1:-60}"
# shellcheck source=tools/local-service.sh
source tools/local-service.sh

port=$(reserve_free_port 28443)
build=$root/build-idle/$port
service=$root/build-idle/local-service
tools/build-idle.sh "$port" tessaron-idle-cost tessaron-tunnel tessaron-local-service

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-idle.XXXXXX")
background=()
trap 'kill "${background[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
start_local_service "$build/bin/tessaron-local-service" "$port" "$service" "$scratch/service" \
    "$scratch/service.log" || stop_port_taken "$port"
code=$(sed -n 's/^invitation code for Europe .*: \(\S*\)$/\1/p' "$scratch/service.log" | head -n 1)
[ -n "$code" ] || { echo "the local service gave no invitation code" >&2; exit 1; }

XDG_CONFIG_HOME=$scratch/config tests/support/with-keyring.sh "$build/bin/tessaron-idle-cost" "$code" "$seconds" \
    2> >(grep -v "^\[com.hallmere" >&2)
