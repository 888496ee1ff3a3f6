#!/usr/bin/env bash
# Scripts that choose a port for the local service side by side (./run.sh, the idle tools) each get one of
# their own: a port stays reserved while the script that chose it runs, and only then.
set -euo pipefail
library=$(cd "$(dirname "$0")/../.." && pwd)/tools/local-service.sh
# shellcheck source=tools/local-service.sh
source "$library"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/tessaron-port-reservation.XXXXXX")
holder="" listener=""
trap 'kill $holder $listener 2>/dev/null || true; wait; rm -rf "$scratch"' EXIT
# Apart from the ports other copies of this test try at the same time.
from=$((30643 + $$ % 200 * 10))

# The port a script of its own reserves from `from`; it ends at once.
reserved_by_another_script() {
    bash -c 'source "$0"; reserve_free_port "$1"' "$library" "$from"
}
same_or_other() {
    if [ "$1" = "$first" ]; then echo same; else echo other; fi
}

# A script that stays running holds the first port.
bash -c 'source "$0"; reserve_free_port "$1" >"$2"; exec sleep 600' "$library" "$from" "$scratch/first" &
holder=$!
until [ -s "$scratch/first" ]; do sleep 0.05; done
first=$(cat "$scratch/first")
while_held=$(reserved_by_another_script)
kill "$holder"
wait "$holder" 2>/dev/null || true
once_ended=$(reserved_by_another_script)
python3 -m http.server --bind 127.0.0.1 "$first" >/dev/null 2>&1 &
listener=$!
until accepts_connections "$first"; do sleep 0.05; done
while_listened=$(reserved_by_another_script)

actual="held: $(same_or_other "$while_held"), ended: $(same_or_other "$once_ended"),"
actual+=" listened on: $(same_or_other "$while_listened")"
expected="held: other, ended: same, listened on: other"
[ "$actual" = "$expected" ] || { echo "FAIL: expected '$expected', got '$actual'" >&2; exit 1; }
