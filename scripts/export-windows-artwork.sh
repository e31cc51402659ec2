#!/usr/bin/env bash
# Remakes the Windows build's artwork resources (src/platform/win32/res/Picture.bmp and
# QzUpdate.ico) from the code that paints the artwork on Linux. Run it after changing
# src/platform/qt/Artwork.cpp and commit the two files. BUILD_DIR: the Linux build folder
# (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target export-artwork
"$build/bin/export-artwork" src/platform/win32/res/Picture.bmp src/platform/win32/res/QzUpdate.ico
