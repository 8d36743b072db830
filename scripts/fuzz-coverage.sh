#!/usr/bin/env bash
# Line coverage that a fuzz corpus reaches: builds the fuzz targets with the
# coverage preset (source-based coverage, no sanitizer), replays the corpus of
# one target and prints llvm-cov's report for the engine's sources.
#
#   bash scripts/fuzz-coverage.sh [TARGET] [CORPUS_DIR ...]
#
# TARGET defaults to database, the corpus to fuzz/corpus/TARGET. Give more
# directories (for example a long run's corpus) to measure what they reach.
# The HTML report is left in build/coverage/report-TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:-database}
shift || true
corpora=("$@")
[ ${#corpora[@]} -gt 0 ] || corpora=("fuzz/corpus/$target")
jobs=${VREL_JOBS:-2}
build=build/coverage

bash scripts/install-deps.sh --all

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs" --target "fuzz_$target" >/dev/null

profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT
LLVM_PROFILE_FILE="$profiles/%p.profraw" "$build/fuzz/fuzz_$target" -runs=0 "${corpora[@]}" \
  2>&1 | grep -E 'INITED|DONE' || true
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$profiles/merged.profdata"

binary=$build/fuzz/fuzz_$target
llvm-cov-14 report "$binary" -instr-profile="$profiles/merged.profdata" \
  "$PWD/src/resources" "$PWD/src/interface" "$PWD/src/setup" "$PWD/src/convert" "$PWD/src/correct"
llvm-cov-14 show "$binary" -instr-profile="$profiles/merged.profdata" -format=html \
  -output-dir="$build/report-$target" "$PWD/src" >/dev/null
echo "HTML report: $build/report-$target/index.html"
