#!/usr/bin/env bash
# Installs what is needed, builds everything, runs every test, then briefly runs every fuzz target.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh
# The walk's build of the application shares the test build's compiled objects through the compiler cache.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1 CCACHE_IGNOREOPTIONS=-Werror
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSARON_WERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
cmake --build build
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"
# The installed application, walked as a person would under a display and a window manager.
tests/walk/run-walk.sh
# A short run of every fuzz target (in its own clang build), so a reproducer kept in the corpus stays fixed.
FUZZ_JOBS="$(nproc)" tools/run-fuzz.sh 10
