#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (build folder: FUZZ_BUILD_DIR, default
# build-fuzz) and runs each in turn for a bounded time, starting from its seed corpus.
# Usage: scripts/run-fuzz.sh [seconds per harness, default 60] [harness names...]
# A finding stops the script with a non-zero status; the input that caused it is kept in
# <build folder>/artifacts/. New inputs found along the way stay in <build folder>/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift $(($# > 0 ? 1 : 0))
build=${FUZZ_BUILD_DIR:-build-fuzz}

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja >/dev/null
cmake --build "$build"

if [ $# -gt 0 ]; then fuzzers=("$@"); else mapfile -t fuzzers < "$build/fuzzers.txt"; fi
mkdir -p "$build/artifacts"
for name in "${fuzzers[@]}"; do
  [ -n "$name" ] || continue
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  echo "== $name: ${seconds}s"
  # The repository's seeds are read, never written: new inputs go to the build folder.
  "$build/$name" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$build/artifacts/$name-" \
    "$corpus" "fuzz/corpus/$name" 2>"$build/$name.log" || {
    tail -n 60 "$build/$name.log"
    echo "$name found a fault; input kept in $build/artifacts/" >&2
    exit 1
  }
  grep -E 'stat::(number_of_executed_units|peak_rss_mb)|^Done' "$build/$name.log" || true
done
