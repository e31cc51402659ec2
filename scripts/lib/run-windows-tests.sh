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

# The dialog tests need real windows, and Wine makes windows only when its server starts
# on an X display: a virtual one unless there is a display already.
source scripts/lib/xdrive.sh
xd_display_usable || XD_XVFB_LOG=$build/xvfb.log xd_start_xvfb || true
trap xd_stop_xvfb EXIT

export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Wine's helper processes inherit the standard streams of whoever starts them first; kept
# away from CTest's pipes, they cannot make CTest wait for them after every test. A
# persistent server and one warm-up run leave every test a started Wine to use.
# The server must be made persistent before anything else starts one: a server that Wine
# starts itself ends as soon as its last program does, so it would stop whenever no test
# happens to run, and a test starting at that moment fails with "Connection reset by peer".
wineserver -k </dev/null >/dev/null 2>&1 || true
wineserver -w </dev/null >/dev/null 2>&1 || true
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
status=0
ctest --test-dir "$build" --output-on-failure -j2 || status=$?
wineserver -k </dev/null >/dev/null 2>&1 || true
exit $status
