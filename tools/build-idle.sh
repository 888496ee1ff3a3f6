#!/usr/bin/env bash
# Builds the given targets in build-idle/, a Release build against the local service on the given port, and
# makes the service's certificates, for the idle-cost tools.
#   tools/build-idle.sh <port> <target>…
set -euo pipefail
cd "$(dirname "$0")/.."
port=$1
shift
build=$PWD/build-idle
service=$build/local-service

mkdir -p "$build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF \
    -DTESSARON_LOCAL_SERVICE=ON "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port" \
    "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$port/success.txt" \
    "-DTESSARON_LOCAL_SERVICE_CA=$service/ca.pem" "-DTESSARON_APPLICATIONS_DIR=$build" \
    >"$build/build.log" 2>&1
cmake --build "$build" -j "${BUILD_JOBS:-4}" --target "$@" >>"$build/build.log" 2>&1 ||
    { tail -30 "$build/build.log"; exit 1; }
tools/make-certs.sh "$service" >/dev/null
