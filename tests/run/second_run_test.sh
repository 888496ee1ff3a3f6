#!/usr/bin/env bash
# ./run.sh started for real, in a home, runtime folder and build folder of its own, with cmake and the
# installed application stood in for: while Tessaron runs it says so and builds, installs and starts nothing,
# leaving the running one be; once that one quit it builds again; and a previous build's port that another
# program took moves, and the script says so.
#   tests/run/second_run_test.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tools/local-service.sh
source "$root/tools/local-service.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-second-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# cmake notes each call; configuring writes the cache ./run.sh reads, installing writes an application that
# notes its start and ends.
mkdir -p "$scratch/stubs"
cat >"$scratch/stubs/cmake" <<'STUB'
#!/usr/bin/env bash
echo "cmake $*" >>"$STUB_CALLS"
prefix=""
while [ $# -gt 0 ]; do
    case $1 in
    -B) mkdir -p "$2" && echo "TESSARON_APPLICATIONS_DIR:PATH=$STUB_APPLICATIONS" >"$2/CMakeCache.txt" ;;
    --prefix) prefix=$2 ;;
    esac
    shift
done
if [ -n "$prefix" ]; then
    mkdir -p "$prefix"
    echo "[Desktop Entry]" >"$prefix/tessaron.desktop"
    printf '#!/bin/sh\necho started >>"%s"\n' "$STUB_CALLS" >"$prefix/tessaron"
    chmod +x "$prefix/tessaron"
fi
STUB
chmod +x "$scratch/stubs/cmake"

# One ./run.sh with ARGUMENTS while STATE holds: Tessaron "running", "quit" (its lock left behind) or a
# previous build's port taken by a "stranger". Prints its exit status, what it told the user and what it did.
run() {
    local state=$1 arguments=$2 home=$scratch/$1 instance="" stranger="" port=""
    mkdir -p "$home/runtime" "$home/build"
    chmod 700 "$home/runtime"
    local lock=$home/runtime/tessaron-app.lock
    : >"$lock"
    local environment=(HOME="$home" XDG_RUNTIME_DIR="$home/runtime" XDG_CONFIG_HOME="$home/config"
        XDG_DATA_HOME="$home/data" TESSARON_RUN_BUILD="$home/build" PATH="$scratch/stubs:$PATH"
        STUB_CALLS="$home/calls" STUB_APPLICATIONS="$home/applications" DISPLAY=:stub)
    case $state in
    running)
        # Held as the running application holds it: taken by the process that keeps it.
        python3 -c 'import fcntl, sys, time
lock = open(sys.argv[1], "w")
fcntl.flock(lock, fcntl.LOCK_EX)
time.sleep(600)' "$lock" &
        instance=$!
        while flock --nonblock "$lock" true; do sleep 0.05; done
        ;;
    stranger)
        port=$(reserve_free_port 30243)
        python3 -m http.server --bind 127.0.0.1 "$port" >/dev/null 2>&1 &
        stranger=$!
        until accepts_connections "$port"; do sleep 0.1; done
        echo "TESSARON_PAIRING_BASE_URL:STRING=https://127.0.0.1:$port" >"$home/build/CMakeCache.txt"
        ;;
    esac
    [ "$state" = stranger ] || environment+=(TESSARON_PAIRING_BASE_URL=https://pairing.invalid)
    local status=0
    # shellcheck disable=SC2086
    env -u WAYLAND_DISPLAY -u TESSARON_LOCAL_SERVICE_PORT "${environment[@]}" \
        "$root/run.sh" $arguments >"$home/output" 2>&1 || status=$?

    local told="" built did
    if tr '\n' ' ' <"$home/output" | grep -q "Tessaron is already running (process $instance).*Quit Tessaron"; then
        told="told it runs, "
    elif [ -n "$port" ] && grep -q "Port $port is in use.*moves to port" "$home/output"; then
        told="told the port moved, "
    fi
    built=$(sed -n 's/.*-DTESSARON_PAIRING_BASE_URL=\([^ ]*\).*/\1/p' "$home/calls" 2>/dev/null || true)
    case $built in
    "") did="built nothing" ;;
    "https://127.0.0.1:$port") did="built for the taken port" ;;
    https://127.0.0.1:*) did="built for another port" ;;
    *) did="built for $built" ;;
    esac
    ! grep -q started "$home/calls" 2>/dev/null || did+=", started"
    if [ -n "$instance" ] && kill -0 "$instance" 2>/dev/null; then
        did+=", the running one still runs"
    fi
    kill $instance $stranger 2>/dev/null || true
    wait
    echo "exit $status: $told$did"
}

failures=0
while IFS='|' read -r state arguments expected; do
    actual=$(run "$state" "$arguments")
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: $state $arguments: expected '$expected', got '$actual'" >&2
        cat "$scratch/$state/output" >&2
        failures=$((failures + 1))
    fi
done <<'CASES'
running||exit 1: told it runs, built nothing, the running one still runs
quit||exit 0: built for https://pairing.invalid, started
stranger|--build-only|exit 0: told the port moved, built for another port
CASES
[ "$failures" -eq 0 ]
