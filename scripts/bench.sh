#!/usr/bin/env bash
# Builds the benchmark suite with the `bench` preset (Release), runs it once
# and prints the Markdown tables of bench/README.md.
#
#   scripts/bench.sh                 # whole suite (a few minutes)
#   scripts/bench.sh --filter photo  # only the cases whose name matches
#
# The raw results are kept in build/bench/bench.json.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
filter=""
min_time="0.3"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --filter) filter="$2"; shift 2 ;;
    --min-time) min_time="$2"; shift 2 ;;
    *) echo "usage: $0 [--filter REGEX] [--min-time SECONDS]" >&2; exit 2 ;;
  esac
done

cd "$root"
cmake --preset bench >&2
cmake --build --preset bench --target vrel_bench -j2 >&2

json="$root/build/bench/bench.json"
args=(--benchmark_min_time="$min_time" --benchmark_format=json --benchmark_out="$json"
      --benchmark_out_format=json)
if [[ -n "$filter" ]]; then
  args+=(--benchmark_filter="$filter")
fi
"$root/build/bench/bench/vrel_bench" "${args[@]}" >/dev/null
python3 "$root/scripts/bench_table.py" "$json"
