#!/usr/bin/env bash
# Builds the given targets in build-idle/<port>/, a Release build against the local service on the given port,
# and makes the service's certificates in build-idle/local-service/, for the idle-cost tools. Each port has a
# build of its own, so a run never reconfigures the build whose programs another run is measuring; the
# certificates do not depend on the port and are shared.
#   tools/build-idle.sh <port> <target>…
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/local-service.sh
source tools/local-service.sh
port=$1
shift
build=$PWD/build-idle/$port
service=$PWD/build-idle/local-service

mkdir -p "$build"
make_local_service_certificates "$service"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSARON_BUILD_TESTS=OFF -DTESSARON_WERROR=OFF \
    -DTESSARON_LOCAL_SERVICE=ON "-DTESSARON_PAIRING_BASE_URL=https://127.0.0.1:$port" \
    "-DTESSARON_REACHABILITY_URL=https://127.0.0.1:$port/success.txt" \
    "-DTESSARON_LOCAL_SERVICE_CA=$service/ca.pem" "-DTESSARON_APPLICATIONS_DIR=$build" \
    >"$build/build.log" 2>&1
cmake --build "$build" -j "${BUILD_JOBS:-4}" --target "$@" >>"$build/build.log" 2>&1 ||
    { tail -30 "$build/build.log"; exit 1; }
