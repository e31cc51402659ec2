#!/usr/bin/env bash
# Cross-builds the third-party libraries of the Windows build (libzip, libdeflate, libsodium, GoogleTest,
# and the header of cpp-httplib for the test servers)
# as static mingw-w64 libraries from Debian's own sources, once, into a cache folder outside
# any build tree. The Windows CMake configuration finds them there (QZ_WIN_DEPS).
# Needs the packages that `scripts/install-deps.sh --windows` installs; run it through that.
# Safe to run again: a library already in the cache is not built twice.
# With --i686: the same for the 32-bit Windows build, into the folder's name plus "-i686"
# (the folder the toolchain file cmake/mingw-w64-i686.cmake looks in).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
arch=x86_64 suffix=
if [ "${1:-}" = "--i686" ]; then arch=i686 suffix=-i686; fi
prefix=${QZ_WIN_DEPS:-${XDG_CACHE_HOME:-$HOME/.cache}/qzupdate/win-deps}$suffix
# Each architecture unpacks and builds the sources in its own folder: libdeflate's
# makefile builds inside its source.
work=$prefix/.src
toolchain=$root/cmake/mingw-w64-$arch.cmake
host=$arch-w64-mingw32
mkdir -p "$prefix" "$work"

# Debian's source packages need a deb-src entry beside the system's deb entry.
add_deb_src() {
  if apt-get source --print-uris libzip >/dev/null 2>&1; then return; fi
  local list=/etc/apt/sources.list.d/qzupdate-deb-src
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$list.sources"
  elif [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$list.list"
  fi
  # A mirror in sync fails one list now and then; apt-get source says plainly if a source
  # package is then missing.
  apt-get update -qq || echo "build-windows-deps: an index could not be refreshed; going on" >&2
}

# Unpacks Debian's source of `package` into the work folder and prints its directory.
fetch_source() {
  local package=$1
  local dir
  dir=$(find "$work/$package" -mindepth 1 -maxdepth 1 -type d -name "$package-*" 2>/dev/null | head -n1)
  if [ -z "$dir" ]; then
    mkdir -p "$work/$package"
    (cd "$work/$package" && apt-get source -qq "$package" >/dev/null)
    dir=$(find "$work/$package" -mindepth 1 -maxdepth 1 -type d -name "$package-*" | head -n1)
  fi
  echo "$dir"
}

cmake_build() {
  local source=$1 build=$2
  shift 2
  cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -Wno-dev "$@" >/dev/null
  cmake --build "$build" >/dev/null
  cmake --install "$build" >/dev/null
}

build_libzip() {
  [ -f "$prefix/lib/libzip.a" ] && return
  add_deb_src
  local source
  source=$(fetch_source libzip)
  cmake_build "$source" "$work/build-libzip" \
    -DZLIB_LIBRARY=/usr/$host/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$host/include \
    -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_OPENSSL=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_COMMONCRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
    -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
}

# libdeflate's own makefile builds the static library; its header is all it installs.
build_libdeflate() {
  [ -f "$prefix/lib/libdeflate.a" ] && return
  add_deb_src
  local source
  source=$(fetch_source libdeflate)
  # For a mingw compiler the makefile names the static library libdeflatestatic.lib.
  make -C "$source" -j"$(nproc)" CC=$host-gcc-posix AR=$host-ar libdeflatestatic.lib >/dev/null
  mkdir -p "$prefix/lib" "$prefix/include"
  cp "$source/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
  cp "$source/libdeflate.h" "$prefix/include/libdeflate.h"
}

build_libsodium() {
  [ -f "$prefix/lib/libsodium.a" ] && return
  add_deb_src
  local source
  source=$(fetch_source libsodium)
  [ -x "$source/configure" ] || (cd "$source" && autoreconf -fi >/dev/null 2>&1)
  rm -rf "$work/build-libsodium" && mkdir -p "$work/build-libsodium"
  (cd "$work/build-libsodium" &&
    "$source/configure" --host=$host --prefix="$prefix" --disable-shared --enable-static \
      --with-pic=no CC=$host-gcc-posix >/dev/null &&
    make -j"$(nproc)" >/dev/null && make install >/dev/null)
}

build_googletest() {
  [ -f "$prefix/lib/libgtest.a" ] && return
  cmake_build /usr/src/googletest "$work/build-googletest" -Dgtest_disable_pthreads=OFF
}

# Debian's binary package splits cpp-httplib into a declarations-only header and a Linux
# library; its source has the original header-only httplib.h, which is all Windows needs.
build_httplib() {
  [ -f "$prefix/include/httplib.h" ] && return
  add_deb_src
  local source
  source=$(fetch_source cpp-httplib)
  mkdir -p "$prefix/include"
  cp "$source/httplib.h" "$prefix/include/httplib.h"
}

build_libzip
build_libdeflate
build_libsodium
build_httplib
build_googletest
echo "Windows libraries in $prefix"
