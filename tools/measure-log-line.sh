#!/usr/bin/env bash
# What a connection-log line costs the thread that writes it, with the disk's own sync and with every sync
# slowed by TESSARON_SLOW_SYNC_MS (default 50) ms. Builds are compared side by side in one run, the runs
# interleaved so that the machine's load falls on each alike; each run is a fresh preferences file in a
# folder on disk, filled to the log's capacity, then timed over 20 lines. Build each with
#   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-release --target tessaron-log-line-time tessaron-slow-sync
#   tools/measure-log-line.sh [runs] label=build-folder...   (default 10 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=10
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
    runs=$1
    shift
fi
[ $# -gt 0 ] || { echo "usage: $0 [runs] label=build-folder..." >&2; exit 2; }
scratch=$(mktemp -d "$PWD/build-log-line-time.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
slow_ms=${TESSARON_SLOW_SYNC_MS:-50}

echo "load: $(uptime)"
for run in $(seq "$runs"); do
    for build in "$@"; do
        label=${build%%=*}
        folder=$(realpath "${build#*=}")
        for sync in normal slowed; do
            config=$scratch/config-$label-$sync-$run
            preload=
            [ "$sync" = slowed ] && preload=$folder/tools/log_line_time/libtessaron-slow-sync.so
            XDG_CONFIG_HOME=$config LD_PRELOAD=$preload TESSARON_SLOW_SYNC_MS=$slow_ms \
                "$folder/bin/tessaron-log-line-time" 20 2>/dev/null | tail -n +2 |
                sed "s/^/$label $sync /" >>"$scratch/samples"
        done
    done
done
echo "load: $(uptime)"

python3 - "$scratch/samples" "$runs" "$slow_ms" <<'PYTHON'
import statistics, sys
samples = {}
for row in open(sys.argv[1]):
    label, sync, wall, cpu = row.split()
    samples.setdefault((label, sync), []).append((int(wall) / 1000, int(cpu) / 1000))
print(f"wall and CPU time of one line on the calling thread, ms ({sys.argv[2]} runs x 20 lines; "
      f"slowed sync: +{sys.argv[3]} ms per sync)")
print(f"{'build':<10} {'sync':<7} {'wall median':>11} {'wall range':>17} {'cpu median':>10}")
for (label, sync), values in samples.items():
    walls = [wall for wall, _ in values]
    cpus = [cpu for _, cpu in values]
    print(f"{label:<10} {sync:<7} {statistics.median(walls):>11.3f} "
          f"{min(walls):>8.3f}-{max(walls):<8.3f} {statistics.median(cpus):>10.3f}")
PYTHON
