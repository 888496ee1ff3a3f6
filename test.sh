#!/usr/bin/env bash
# Installs what is needed, builds everything once under AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every test, walks the installed application, then briefly runs every fuzz target — all from that
# one build, so a sanitizer report anywhere fails the run. Only the crash handler's own suite is built a
# second time, without sanitizers, as the application's threads meet it.
set -euo pipefail
cd "$(dirname "$0")"
started=$SECONDS
step() { echo; echo "== $1 ($((SECONDS - started)) s so far)"; }

step "Checking the packages the build needs"
tools/install-deps.sh

tools/forget-other-compiler.sh build
step "Configuring build/ (Debug, clang 16, AddressSanitizer and UndefinedBehaviorSanitizer)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-16 -DTESSARON_SANITIZE=ON \
    -DTESSARON_WERROR=ON
step "Building everything (progress as [done/all])"
cmake --build build

step "Running the test suite under the sanitizers"
ctest --test-dir build --output-on-failure --timeout 300 -j "$(nproc)"

# Under the address sanitizer its own thread wrapper gives each thread an alternate signal stack, so the
# program's own is tested only here: the crash handler's suite and what it links (the handler, its spool
# and Qt Core), built once more without sanitizers in build-plain/.
tools/forget-other-compiler.sh build-plain
step "Building and running the crash handler's tests without sanitizers (build-plain/)"
cmake -S . -B build-plain -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++-16 -DTESSARON_WERROR=ON
cmake --build build-plain --target tessaron_crash_handler_tests
ctest --test-dir build-plain -R '^CrashHandlerTest\.' --no-tests=error --output-on-failure --timeout 300

step "Walking the installed application as a person would"
tests/walk/run-walk.sh

step "Running every fuzz target briefly"
FUZZ_JOBS="$(nproc)" tools/run-fuzz.sh 10

step "Done"
