#!/usr/bin/env bash
# Configures, builds and runs every test. Extra arguments go to CMake's configure step;
# BUILD_DIR chooses the build folder (default: build).
# With --windows first: cross-builds the Windows selection of the tests with mingw-w64 and
# runs it under Wine (default folder: build-windows; needs `scripts/install-deps.sh --windows`).
# With --win32 first: the 32-bit Windows programs, their real-window happy path and the
# unit tests where 32 bits differ, under Wine (default folder: build-win32).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--windows" ]; then
  shift
  exec scripts/lib/run-windows-tests.sh "$@"
fi
if [ "${1:-}" = "--win32" ]; then
  shift
  exec scripts/lib/run-win32-tests.sh "$@"
fi
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja "$@"
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
