#!/usr/bin/env bash
# Builds the vendor's Windows package QzUpdate-<version>-win64.zip in build-windows-package/
# (BUILD_DIR to choose another folder); with --win32 first, the 32-bit package
# QzUpdate-<version>-win32.zip in build-windows-package-win32/. Extra arguments go to
# CMake's configure step, typically -DQZUPDATE_BASE_URL=https://updates.example.com/Support/VqPrime/QzUFiles/.
# Installs the packages and the cross-built libraries first (safe to run again).
#
# The folder is a Release build of the updater alone, apart from build-windows: the test
# build must keep the demo server's base address, which a vendor's address would replace.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=x86_64 package_name=win64 folder=build-windows-package
if [ "${1:-}" = "--win32" ]; then
  shift
  arch=i686 package_name=win32 folder=build-windows-package-win32
fi
build=${BUILD_DIR:-$folder}
scripts/install-deps.sh --windows
toolchain=()
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$arch.cmake)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQZUPDATE_BUILD_TESTS=OFF -DQZUPDATE_BUILD_BENCH=OFF "${toolchain[@]}" "$@"
cmake --build "$build" --target package
package=$(ls "$build"/QzUpdate-*-$package_name.zip)
echo
unzip -l "$package"
cached() { sed -n "s/^$1:STRING=//p" "$build/CMakeCache.txt"; }
url=$(cached QZUPDATE_BASE_URL)
key=$(cached QZUPDATE_SIGNING_KEY)
echo "Package:       $package"
echo "Update server: $url"
echo "Signing key:   ${key:-none (any update the server hands out installs)}"
case $url in
  http://127.0.0.1* | http://localhost*)
    echo "warning: this updater asks the demo server on this computer; give it your server" \
      "with qzupdate-release.exe configure (or build with -DQZUPDATE_BASE_URL=...)" >&2 ;;
esac
