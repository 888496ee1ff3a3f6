#!/usr/bin/env bash
# Measures what the number of nodes costs the real application: how long after its start the node list is
# painted with all its rows, and its memory per node at start and while connected. Builds a Release build
# against the local service (as tools/measure-ui-idle.sh does, on a port of this run's own), then, for each
# node count, starts the service with the account's group grown to that many nodes
# (TESSARON_LOCAL_SERVICE_EXTRA_NODES), signs in, and starts the application on a private Xvfb display with
# a window manager and a tray against a throwaway keyring:
#   - a first start fetches the nodes and saves them to the keyring; it is not timed;
#   - then STARTS timed starts (default 5): from the launch to the application's start mark "node-rows N"
#     (TESSARON_START_MARKS), the list's first paint with all N rows;
#   - then one more start: resident (RSS) and proportional (PSS) memory 10 s after the list is painted,
#     then connected, every SAMPLE seconds for CONNECTED seconds.
# Prints one table per count, then the counts side by side: the list time's ratio and KB per node
# ((last − first count's figure) / node difference) at start and at the end of the connected time.
#   tools/measure-node-count.sh [count…]   (default 10 130)
# TESSARON_NODE_COUNT_STARTS, TESSARON_NODE_COUNT_CONNECTED (300) and TESSARON_NODE_COUNT_SAMPLE (30)
# change the run's length.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
service=$root/build-idle/local-service
# The account's group holds this many nodes without extra ones.
seeded_account_nodes=3
starts=${TESSARON_NODE_COUNT_STARTS:-5}
connected=${TESSARON_NODE_COUNT_CONNECTED:-300}
sample=${TESSARON_NODE_COUNT_SAMPLE:-30}
# shellcheck source=tools/local-service.sh
source tools/local-service.sh

if [ "${1:-}" != --inside ]; then
    counts=("$@")
    [ ${#counts[@]} -gt 0 ] || counts=(10 130)
    port=$(reserve_free_port 28643)
    tools/build-idle.sh "$port" tessaron tessaron-tunnel tessaron-local-service tessaron-sign-in
    results=$(mktemp)
    trap 'rm -f "$results"' EXIT
    echo "load before: $(cat /proc/loadavg)"
    for count in "${counts[@]}"; do
        echo "== $count nodes"
        TESSARON_LOCAL_SERVICE_PORT=$port tests/support/with-keyring.sh tests/support/with-tray-host.sh tray \
            "$root/tools/measure-node-count.sh" --inside "$count" "$results"
    done
    echo "load after: $(cat /proc/loadavg)"
    # Each count's line: count, list ms (median), RSS and PSS KB at start, RSS and PSS KB at the end.
    awk 'NR == 1 { first = $0; split($0, a) }
        { split($0, b) }
        END {
            if (NR < 2) exit
            n = b[1] - a[1]
            printf "%d vs %d nodes: list shown %.0f vs %.0f ms (%.2f x)\n", a[1], b[1], a[2], b[2], b[2] / a[2]
            printf "KB per node at start: RSS %.1f PSS %.1f; after the connected time: RSS %.1f PSS %.1f\n",
                (b[3] - a[3]) / n, (b[4] - a[4]) / n, (b[5] - a[5]) / n, (b[6] - a[6]) / n
        }' "$results"
    exit 0
fi

count=$2
results=$3
port=$TESSARON_LOCAL_SERVICE_PORT
build=$root/build-idle/$port
app=$build/bin/tessaron
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-node-count.XXXXXX")
background=()
application=""
stop_background() {
    [ -z "$application" ] || kill "$application" 2>/dev/null || true
    for ((i = ${#background[@]} - 1; i >= 0; i--)); do
        kill "${background[i]}" 2>/dev/null || true
    done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap stop_background EXIT

TESSARON_LOCAL_SERVICE_EXTRA_NODES=$((count - seeded_account_nodes)) start_local_service \
    "$build/bin/tessaron-local-service" "$port" "$service" "$scratch/service" "$scratch/service.log" ||
    stop_port_taken "$port"
"$build/bin/tessaron-sign-in" developer@tessaron.test --service "https://127.0.0.1:$port" --ca "$service/ca.pem" \
    --code-log "$scratch/service.log" >"$scratch/sign-in.log" 2>&1 ||
    { cat "$scratch/sign-in.log" >&2; exit 1; }

export TESSARON_START_MARKS=$scratch/marks

# Starts the application; listed_ms is then the time from its launch to the list painted with all rows.
start_application() {
    rm -f "$TESSARON_START_MARKS"
    local launched
    launched=$(date +%s%3N)
    "$app" 2> >(grep -v "^\[com.hallmere" >&2) &
    application=$!
    for _ in $(seq 600); do
        local painted
        painted=$(awk -v n="$count" '$2 == "node-rows" && $3 == n { print $1; exit }' \
            "$TESSARON_START_MARKS" 2>/dev/null || true)
        if [ -n "$painted" ]; then
            listed_ms=$((painted - launched))
            return 0
        fi
        sleep 0.05
    done
    echo "the list never showed $count rows; marks:" >&2
    cat "$TESSARON_START_MARKS" >&2 2>/dev/null || true
    exit 1
}

stop_application() {
    kill "$application"
    wait "$application" 2>/dev/null || true
    application=""
}

# RSS and PSS of the application, in KB.
memory() {
    awk '/^Rss:/ { rss = $2 } /^Pss:/ { pss = $2 } END { print rss, pss }' "/proc/$application/smaps_rollup"
}

start_application
sleep 10
stop_application
times=()
for _ in $(seq "$starts"); do
    start_application
    times+=("$listed_ms")
    sleep 2
    stop_application
done
median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
echo "list shown with all $count rows, ms: ${times[*]} (median $median)"

start_application
sleep 10
at_start=$(memory)
echo "at start: RSS PSS KB $at_start"
window=$(xdotool search --onlyvisible --name '^Tessaron$' | head -n 1)
# The primary button (Connect) spans the content at 78 % of the default window's height.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove --window "$window" "$((WIDTH / 2))" "$((HEIGHT * 78 / 100))" click 1
stop_tunnel() {
    # The tunnel outlives the application; it goes before the rest.
    local process
    for process in /proc/[0-9]*; do
        if [ "$(basename "$(readlink "$process/exe" 2>/dev/null)")" = tessaron-tunnel ] &&
            tr '\0' ' ' <"$process/cmdline" 2>/dev/null | grep -qF -- "--socket $XDG_RUNTIME_DIR/"; then
            kill "${process#/proc/}" 2>/dev/null || true
        fi
    done
    stop_background
}
trap stop_tunnel EXIT
for ((elapsed = sample; elapsed <= connected; elapsed += sample)); do
    sleep "$sample"
    last=$(memory)
    echo "connected ${elapsed} s: RSS PSS KB $last"
done
import -window root "$build/node-count-$count.png"
echo "$count $median $at_start $last" >>"$results"
