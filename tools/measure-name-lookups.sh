#!/usr/bin/env bash
# Measures what names that never resolve cost the latency probe, this tree side by side with a baseline
# tree, in one run: the time a localhost listener takes to get a figure after a round over 20 such names,
# the lookups still pending after each of ROUNDS rounds, and how long a process lingers after main returns
# with LOOKUPS lookups hanging. The system's only name server is a loopback socket that reads nothing: both
# builds run in a mount namespace of their own whose /etc/resolv.conf names it (needs root, for unshare and
# the bind mount; the machine's own file is untouched).
#   tools/measure-name-lookups.sh BASELINE_TREE [ROUNDS] [LOOKUPS]   (defaults 5 and 40)
# BASELINE_TREE is a scratch checkout (git worktree add --detach …): the bench is copied into it and built
# there, Release, without tests, as it is here (in build-name-lookups/ of each tree).
set -euo pipefail
cd "$(dirname "$0")/.."
branch=$PWD
baseline=$(cd "$1" && pwd)
rounds=${2:-5}
lookups=${3:-40}

if [ ! -d "$baseline/tools/name_lookup_bench" ]; then
    cp -r tools/name_lookup_bench "$baseline/tools/"
    echo 'add_subdirectory(name_lookup_bench)' >> "$baseline/tools/CMakeLists.txt"
fi
for tree in "$baseline" "$branch"; do
    cmake -S "$tree" -B "$tree/build-name-lookups" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_COMPILER=clang++-16 -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF > /dev/null
    cmake --build "$tree/build-name-lookups" -j4 --target tessaron-name-lookup-bench > /dev/null
done

if [ "${TESSARON_INSIDE_NAMESPACE:-}" != 1 ]; then
    exec env TESSARON_INSIDE_NAMESPACE=1 unshare --mount "$0" "$@"
fi

# A loopback address of this run's own, port 53 (the system resolver asks no other port).
address=127.83.$((RANDOM % 250 + 1)).53
python3 -c '
import socket, sys, time
server = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
server.bind((sys.argv[1], 53))
time.sleep(1e6)' "$address" &
server=$!
trap 'kill $server' EXIT
resolv=$(mktemp)
printf 'nameserver %s\n' "$address" > "$resolv"
mount --make-rprivate /
mount --bind "$resolv" /etc/resolv.conf
sleep 0.5

bench() { "$1/build-name-lookups/bin/tessaron-name-lookup-bench" "${@:2}"; }
# The time from the bench's return from main to the end of its process.
exit_time() {
    python3 -c '
import subprocess, sys, time
child = subprocess.Popen(sys.argv[1:], stdout=subprocess.PIPE, text=True)
returned = int(child.stdout.readline().split()[1])
child.wait()
print("%.2f s" % ((time.monotonic_ns() - returned) / 1e9))' "$1/build-name-lookups/bin/tessaron-name-lookup-bench" exit "$lookups"
}

echo "load before: $(uptime)"
for tree in "$baseline" "$branch"; do
    echo "== $(git -C "$tree" log -1 --format='%h %s' | cut -c1-80)"
    bench "$tree" live-after-round
    bench "$tree" pending "$rounds"
    echo "exit with $lookups lookups hanging: $(exit_time "$tree")"
done
echo "load after: $(uptime)"
