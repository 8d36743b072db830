#!/usr/bin/env bash
# Fuzzing under AddressSanitizer and UndefinedBehaviorSanitizer: builds every
# fuzz target with the fuzz preset, replays its seed corpus (every seed and
# every regression input must pass), then fuzzes each target for a bounded
# time. Exits non-zero on any crash, sanitizer report, leak or timeout.
#
#   VREL_FUZZ_SECONDS  fuzzing time per target (default 60)
#   VREL_JOBS          build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${VREL_FUZZ_SECONDS:-60}
jobs=${VREL_JOBS:-2}
build=build/fuzz

bash scripts/install-deps.sh --fuzz

echo "==== fuzz: configure and build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"

# New inputs go to a scratch corpus; the seeds in the tree stay as they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for binary in "$build"/fuzz/fuzz_*; do
  [ -x "$binary" ] || continue
  target=${binary##*/fuzz_}
  seeds=fuzz/corpus/$target
  options=(-timeout=30 -rss_limit_mb=4096 -print_final_stats=1 "-artifact_prefix=$work/$target-")
  if [ -f "fuzz/$target.dict" ]; then
    options+=("-dict=fuzz/$target.dict")
  fi
  mkdir -p "$work/$target"

  echo "==== fuzz_$target: replay of $seeds"
  if [ -d "$seeds" ]; then
    if ! "$binary" "${options[@]}" -runs=0 "$seeds"; then
      echo "fuzz_$target: a seed or regression input fails" >&2
      status=1
      continue
    fi
  fi

  echo "==== fuzz_$target: ${seconds}s of fuzzing"
  corpora=("$work/$target")
  [ -d "$seeds" ] && corpora+=("$seeds")
  if ! "$binary" "${options[@]}" -max_total_time="$seconds" "${corpora[@]}"; then
    echo "fuzz_$target: crash; the input is in $work (kept below)" >&2
    mkdir -p "$build/crashes"
    cp "$work/$target"-* "$build/crashes/" 2>/dev/null || true
    status=1
  fi
done
exit $status
