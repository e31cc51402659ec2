#!/usr/bin/env bash
# Builds the vendor's Windows package QzUpdate-<version>-win64.zip in build-windows/
# (BUILD_DIR to choose another folder). Extra arguments go to CMake's configure step,
# typically -DQZUPDATE_BASE_URL=https://updates.example.com/Support/VqPrime/QzUFiles/.
# Installs the packages and the cross-built libraries first (safe to run again).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-windows}
scripts/install-deps.sh --windows
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" "$@"
cmake --build "$build" --target package
ls -l "$build"/QzUpdate-*-win64.zip
