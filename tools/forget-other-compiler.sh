#!/usr/bin/env bash
# Makes a build folder configured with another compiler (GCC, before the move to clang) configure afresh
# with clang 16: CMake keeps a folder's compiler for good. Usage: tools/forget-other-compiler.sh FOLDER
set -euo pipefail
cache=$1/CMakeCache.txt
if [ -f "$cache" ] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++-16$' "$cache"; then
    echo "$1 was configured with another compiler: configuring it afresh with clang 16."
    rm -rf "$cache" "$1/CMakeFiles"
fi
