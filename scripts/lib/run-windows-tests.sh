#!/usr/bin/env bash
# Cross-builds the Windows tests and runs them under Wine, in a Wine prefix inside the
# build folder. Called by `scripts/run-tests.sh --windows`; extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build-windows}
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B "$build" -G Ninja "${toolchain[@]}" "$@"
cmake --build "$build"

source scripts/lib/wine-session.sh
trap xd_stop_xvfb EXIT
wine_session_start "$build"
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
wine_session_end
exit $status
