#!/usr/bin/env bash
# ./run.sh's start after its build, with the test build's local service and the build itself stood in for:
# the application may open only once the service the script started answers on the port the build names,
# also when another program (a plain HTTP server) took the port during the build.
#   tests/run/start_test.sh <tessaron-local-service>
set -euo pipefail
service_program=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tools/local-service.sh
source "$root/tools/local-service.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-run-start.XXXXXX")
stranger=""
trap 'kill $stranger 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT
make_local_service_certificates "$scratch/certificates"

# One start of ./run.sh after a build for a port that HOLDER (nobody or a stranger) holds and that the user
# NAMED or the script chose. Prints how it ended: its exit status, and whether the service it started answers
# as itself on the port the build names then, or what it told the user.
start() {
    local holder=$1 naming=$2 first
    first=$(reserve_free_port 30143)
    if [ "$holder" = stranger ]; then
        python3 -m http.server --bind 127.0.0.1 "$first" >/dev/null 2>&1 &
        stranger=$!
        until accepts_connections "$first"; do sleep 0.1; done
    fi
    local status=0
    (
        [ "$naming" = chosen ] || export TESSARON_LOCAL_SERVICE_PORT=$first
        # shellcheck source=run.sh
        source "$root/run.sh"
        bin=$(dirname "$service_program") service=$scratch/certificates port=$first built=$first
        build_and_install() { built=$1; }
        serve_local_service >"$scratch/service.log" 2>"$scratch/told"
        local where="another port"
        [ "$built" != "$first" ] || where="the same port"
        if local_service_answers "$built" "$service/ca.pem" "$local_service_pid"; then
            echo "ours on $where"
        else
            echo "not ours on $where"
        fi
    ) >"$scratch/outcome" || status=$?
    kill $stranger 2>/dev/null || true
    if grep -q "Port $first is taken by another program.*TESSARON_LOCAL_SERVICE_PORT" "$scratch/told"; then
        echo "exit $status: told the port is taken"
    else
        echo "exit $status: $(cat "$scratch/outcome")"
    fi
}

failures=0
while IFS='|' read -r holder naming expected; do
    actual=$(start "$holder" "$naming")
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: port held by $holder, $naming: expected '$expected', got '$actual'" >&2
        failures=$((failures + 1))
    fi
done <<'CASES'
nobody|chosen|exit 0: ours on the same port
nobody|named|exit 0: ours on the same port
stranger|chosen|exit 0: ours on another port
stranger|named|exit 1: told the port is taken
CASES
[ "$failures" -eq 0 ]
