#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARON_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
