#!/usr/bin/env bash
# Start-up to the first visible window: `qzupdate /Verbose` against a minimal Qt 6 window
# and against the same window with one label (which adds what any text costs: the font
# configuration and a font), on a virtual X display, alternating, RUNS runs each (default
# 15). Prints every run, the minimum, median and maximum in milliseconds to the window and
# in CPU milliseconds until then, and the ratios of the medians (target: qzupdate within
# 1.15 of the minimal window). Needs the Linux build (BUILD_DIR, default build).
#   bench/startup_bench.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-15}
build=${BUILD_DIR:-build}
for program in qzupdate libunzip32.so first_window minimal_qt_window; do
  [ -e "$build/bin/$program" ] || { echo "missing $build/bin/$program: build first" >&2; exit 1; }
done
source scripts/lib/xdrive.sh

work=$(mktemp -d)
cleanup() {
  xd_stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
xd_start_xvfb || exit 1

# An installation whose check shows its dialog; the server is never reached, as every run
# ends when the window appears.
install=$work/install
mkdir -p "$install" "$work/runtime" "$work/home"
chmod 700 "$work/runtime"
cp "$build/bin/qzupdate" "$build/bin/libunzip32.so" "$install/"
printf '%s\r\n' '"[Version Information]"' '"ApplicationName=Vq"' \
  "\"ApplicationPath=$install\"" '"ApplicationVersion=1.2.0"' '"[End Of File]"' \
  >"$install/Version.INF"
export HOME=$work/home XDG_RUNTIME_DIR=$work/runtime http_proxy= https_proxy=
unset QT_QPA_PLATFORM

first_window() { "$build/bin/first_window" 10000 "$@"; }
# One untimed start of each brings the programs and libraries into the page cache.
first_window "$build/bin/minimal_qt_window" >/dev/null
first_window "$install/qzupdate" /Verbose >/dev/null

qt=() qt_cpu=() label=() label_cpu=() updater=() updater_cpu=()
printf '%-4s %18s %18s %18s\n' run "Qt window ms/cpu" "Qt + label ms/cpu" "qzupdate ms/cpu"
for run in $(seq "$runs"); do
  read -r wall cpu <<<"$(first_window "$build/bin/minimal_qt_window")"
  qt+=("$wall") qt_cpu+=("$cpu")
  read -r wall cpu <<<"$(first_window "$build/bin/minimal_qt_window" --label)"
  label+=("$wall") label_cpu+=("$cpu")
  read -r wall cpu <<<"$(first_window "$install/qzupdate" /Verbose)"
  updater+=("$wall") updater_cpu+=("$cpu")
  printf '%-4s %18s %18s %18s\n' "$run" "${qt[-1]}/${qt_cpu[-1]}" \
    "${label[-1]}/${label_cpu[-1]}" "${updater[-1]}/${updater_cpu[-1]}"
done

# min median max of the arguments
summary() {
  printf '%s\n' "$@" | sort -n |
    awk '{v[NR]=$1} END {m=(NR%2)?v[(NR+1)/2]:(v[NR/2]+v[NR/2+1])/2; printf "%.1f %.1f %.1f\n", v[1], m, v[NR]}'
}
# Prints a table line for the figures after the title and keeps their median in `median`.
line() {
  local min max
  read -r min median max <<<"$(summary "${@:2}")"
  printf '%-32s %8s %8s %8s\n' "$1" "$min" "$median" "$max"
}
printf '\n%-32s %8s %8s %8s\n' "" min median max
line "minimal Qt window, ms" "${qt[@]}" && qt_median=$median
line "Qt window with a label, ms" "${label[@]}" && label_median=$median
line "qzupdate /Verbose, ms" "${updater[@]}" && updater_median=$median
line "minimal Qt window, CPU ms" "${qt_cpu[@]}" && qt_cpu_median=$median
line "Qt window with a label, CPU ms" "${label_cpu[@]}" && label_cpu_median=$median
line "qzupdate /Verbose, CPU ms" "${updater_cpu[@]}" && updater_cpu_median=$median
awk -v u="$updater_median" -v q="$qt_median" -v l="$label_median" -v uc="$updater_cpu_median" \
  -v qc="$qt_cpu_median" -v lc="$label_cpu_median" 'BEGIN {
    r = u / q
    printf "\nqzupdate / minimal Qt window, medians: %.2f to the window (target <= 1.15: %s), %.2f in CPU time\n",
      r, r <= 1.15 ? "met" : "missed", uc / qc
    printf "qzupdate / Qt window with a label:     %.2f to the window, %.2f in CPU time\n", u / l, uc / lc
  }'
