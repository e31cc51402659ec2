#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and the demo need.
# Safe to run again: packages already installed are not asked for again, so a machine that
# has everything does not need the package mirrors at all.
# With --windows: also the mingw-w64 cross compilers (64 and 32 bits), Wine with its 32-bit
# half (an i386 package, so the i386 architecture is added once) and osslsigncode (a vendor
# signs the Windows files with it), and cross-builds the Windows builds' third-party
# libraries once into cache folders (scripts/build-windows-deps.sh).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev
  libcurl4-openssl-dev curl
  libzip-dev libdeflate-dev zipcmp zipmerge ziptool zip unzip
  libarchive-tools 7zip eatmydata
  libsodium-dev
  zlib1g-dev
  iproute2
  libcpp-httplib-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool x11-apps imagemagick libxcb1-dev
  fontconfig fonts-dejavu-core fonts-liberation
  clang libclang-rt-14-dev
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive

# Prints the given packages that are not installed.
missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q ' installed$' || echo "$p"
  done
}

# A mirror being synced fails an index download for a few minutes: try again before giving up.
refresh_index() {
  local attempt
  for attempt in 1 2 3 4; do
    "${sudo_cmd[@]}" apt-get update -qq && return 0
    [ "$attempt" -eq 4 ] && break
    echo "install-deps: the package index could not be refreshed (attempt $attempt); trying again" >&2
    sleep $((attempt * 20))
  done
  # apt-get update has still read every index it could; a mirror in sync usually fails one
  # list only (seen: bookworm-security's i386 list for days). The install below says
  # plainly what it then cannot find.
  echo "install-deps: the package index could not be refreshed whole; installing from what it has" >&2
}

# Installs those of the given packages that are missing.
install_missing() {
  local wanted
  mapfile -t wanted < <(missing "$@")
  [ "${#wanted[@]}" -eq 0 ] && return 0
  refresh_index
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${wanted[@]}"
}

install_missing "${packages[@]}"

if [ "${1:-}" = "--windows" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  windows_packages=(
    mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
    wine wine64 wine32:i386 fonts-wine
    dpkg-dev autoconf automake libtool googletest
    osslsigncode
  )
  install_missing "${windows_packages[@]}"
  "${sudo_cmd[@]}" "$(dirname "$0")/build-windows-deps.sh"
  "${sudo_cmd[@]}" "$(dirname "$0")/build-windows-deps.sh" --i686
fi
