#!/usr/bin/env bash
# Installs what is needed, builds everything, runs every test, then briefly runs every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARON_WERROR=ON
cmake --build build
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
# A short run of every fuzz target (in its own clang build), so a reproducer kept in the corpus stays fixed.
FUZZ_JOBS="$(nproc)" tools/run-fuzz.sh 10
