#!/usr/bin/env bash
# Measures what an idle, connected client and its tunnel cost. Builds a Release build against the local
# service in build-idle/, starts the service on loopback, and runs tessaron-idle-cost with a throwaway
# keyring and configuration folder: it redeems an invitation, connects through the real tunnel, and reports
# CPU and wake-ups per second for the foreground and then the background.
#   tools/measure-idle.sh [seconds per phase]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds="${1:-60}"
build=$root/build-idle
service=$build/local-service

accepts_connections() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}
port=28443
while accepts_connections "$port"; do
    port=$((port + 1))
done

tools/build-idle.sh "$port" tessaron-idle-cost tessaron-tunnel tessaron-local-service

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-idle.XXXXXX")
"$build/bin/tessaron-local-service" "$port" "$service/server.pem" "$service/server.key" "$scratch/service" \
    >"$scratch/service.log" 2>&1 &
service_pid=$!
trap 'kill "$service_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do
    accepts_connections "$port" && break
    sleep 0.1
done
code=$(sed -n 's/^invitation code for Europe .*: \(\S*\)$/\1/p' "$scratch/service.log" | head -n 1)
[ -n "$code" ] || { echo "the local service gave no invitation code" >&2; exit 1; }

XDG_CONFIG_HOME=$scratch/config tests/support/with-keyring.sh "$build/bin/tessaron-idle-cost" "$code" "$seconds" \
    2> >(grep -v "^\[com.hallmere" >&2)
