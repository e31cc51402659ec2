#!/usr/bin/env bash
# Cross-builds the 32-bit Windows programs and runs the real-window happy path with them
# under Wine (32-bit programs in a 64-bit prefix), and the check that they import only
# system DLLs. Called by `scripts/run-tests.sh --win32`; extra arguments go to CMake.
# The 64-bit build runs every Windows test; this one only what shows that the 32-bit
# programs work, so the unit test programs are not built.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build-win32}
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake)
cmake -S . -B "$build" -G Ninja -DQZUPDATE_BUILD_BENCH=OFF "${toolchain[@]}" "$@"
cmake --build "$build" --target qzupdate unzip32 qzupdate-release vq-standin
ctest --test-dir "$build" --output-on-failure \
  -R '^(windows_system_imports|realwindow_windows\.happy_path)$'
