#!/usr/bin/env bash
# WinHTTP under Wine against curl on Linux, both fetching the same file from the demo
# server on 127.0.0.1, alternating, five runs each. Needs the Linux build (build/) for the
# server and the Windows build (build-windows/) for winhttp_bench.
#   bench/winhttp-vs-curl.sh [MiB]
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-200}
work=$(mktemp -d)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
head -c "$((size << 20))" /dev/urandom >"$work/file.bin"
build/bin/qzupdate-demo-server --root "$work" --port 8771 >/dev/null 2>&1 &
server_pid=$!
sleep 1
url=http://127.0.0.1:8771/file.bin

export WINEPREFIX=$PWD/build-windows/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
for run in 1 2 3 4 5; do
  curl -s -o "$work/curl.bin" -w "curl     %{time_total} s %{speed_download} B/s\n" "$url"
  rm -f "$work/curl.bin"
  printf 'winhttp  '
  wine build-windows/bin/winhttp_bench.exe "$url" "Z:$work/winhttp.bin" 1 </dev/null 2>/dev/null
  rm -f "$work/winhttp.bin"
done
