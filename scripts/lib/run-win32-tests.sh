#!/usr/bin/env bash
# Cross-builds the 32-bit Windows programs and runs under Wine (32-bit programs in a 64-bit
# prefix) the real-window happy path with them, the check that they import only system
# DLLs, and the unit tests of the parts where 32 bits differ: the extraction library's
# interface (__stdcall) and archive offsets, the delta's ranges and zip64 records, the
# signatures, and the Windows file and HTTP services. Called by
# `scripts/run-tests.sh --win32`; extra arguments go to CMake. The 64-bit build runs every
# Windows test.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build-win32}
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake)
cmake -S . -B "$build" -G Ninja -DQZUPDATE_BUILD_BENCH=OFF "${toolchain[@]}" "$@"
cmake --build "$build" --target qzupdate unzip32 qzupdate-release vq-standin \
  unzip_tests delta_tests signing_tests win32_platform_tests

source scripts/lib/wine-session.sh
if ! wine_runs_32bit; then
  echo "run-win32-tests: this machine's kernel cannot run 32-bit programs, so Wine cannot" \
    "start them: the 32-bit programs and tests were built, not run" >&2
  exit 0
fi
trap xd_stop_xvfb EXIT
wine_session_start "$build"
status=0
# The other test programs are not built here; their placeholders are left out.
ctest --test-dir "$build" --output-on-failure -j2 -E '_NOT_BUILT$|^realwindow_windows\.' ||
  status=$?
ctest --test-dir "$build" --output-on-failure -R '^realwindow_windows\.happy_path$' || status=$?
wine_session_end
exit $status
