# shellcheck shell=bash
# Sourced by ./run.sh and the idle tools: the local service on a loopback port of the run's own.
# A run reserves its port before it builds for it, so two runs never build for the same one, and it counts the
# service as started only once the process it started answers on the port: over TLS that the run's own
# authority vouches for, with its own pid. A port can still be taken by another program during a build; the
# start then says so instead of leaving the application to talk to that program.

local_service_tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Ports are the machine's, so reservations are too: the same folder whatever TMPDIR or XDG_RUNTIME_DIR say.
port_reservations=/tmp/tessaron-ports-$(id -u)

accepts_connections() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Reserves PORT for this script (its pid, $$, also from a subshell) when nobody listens on it and no other
# live script holds it. A reservation lasts as long as the script that made it.
reserve_port() {
    mkdir -m 700 "$port_reservations" 2>/dev/null || true
    (
        flock 9
        owner=$(cat "$port_reservations/$1" 2>/dev/null) || true
        if [ -n "$owner" ] && [ "$owner" != $$ ] && kill -0 "$owner" 2>/dev/null; then
            exit 1
        fi
        ! accepts_connections "$1" || exit 1
        echo $$ >"$port_reservations/$1"
    ) 9>"$port_reservations/lock"
}

# Prints the first port from FROM on that could be reserved.
reserve_free_port() {
    local port=$1
    until reserve_port "$port"; do
        port=$((port + 1))
    done
    echo "$port"
}

stop_port_taken() {
    echo "Port $1 is taken by another program, so the local service cannot listen there; free it or name" \
        "another port with TESSARON_LOCAL_SERVICE_PORT." >&2
    exit 1
}

# The certificates last 30 days; new ones are made well before they run out. Runs side by side may share
# the folder, so one at a time makes them.
make_local_service_certificates() {
    mkdir -p "$1"
    (
        flock 9
        if [ -f "$1/server.pem" ] && ! openssl x509 -checkend 86400 -noout -in "$1/server.pem" >/dev/null
        then
            rm -f "$1"/ca.* "$1"/server.*
        fi
        "$local_service_tools/make-certs.sh" "$1" >/dev/null
    ) 9>"$1/lock"
}

# True when the service with pid PID answers on PORT, vouched for by the authority CA.
local_service_answers() {
    local identity
    identity=$(curl --silent --noproxy '*' --max-time 5 --cacert "$2" \
        "https://127.0.0.1:$1/local-service/identity") || return 1
    [ "$identity" = "tessaron-local-service $3" ]
}

# start_local_service PROGRAM PORT CERTIFICATES DATA [LOG]
# Starts the service as a child of this shell (its pid in local_service_pid, and in the caller's
# `background` list of processes to stop) and returns once it answers as itself. Returns 1 when another
# program holds the port (the service then ends at once); stops the script when the service fails otherwise.
start_local_service() {
    local program=$1 port=$2 certificates=$3 data=$4
    local command=("$program" "$port" "$certificates/server.pem" "$certificates/server.key" "$data")
    if [ -n "${5:-}" ]; then
        "${command[@]}" >"$5" 2>&1 &
    else
        "${command[@]}" &
    fi
    local_service_pid=$!
    background+=("$local_service_pid")
    for _ in $(seq 300); do
        local_service_answers "$port" "$certificates/ca.pem" "$local_service_pid" && return 0
        if ! kill -0 "$local_service_pid" 2>/dev/null; then
            accepts_connections "$port" && return 1
            echo "The local service ended without listening on port $port." >&2
            exit 1
        fi
        sleep 0.1
    done
    echo "The local service did not answer on port $port." >&2
    exit 1
}
