#!/usr/bin/env bash
# Speed of the Python module: a 4096 x 4096 array through the module and,
# with the same pixels, through the engine's exports in C++; prints the
# ratio (the module's aim: at most 1.1) and the two-thread GIL check.
#
#   scripts/bench-python.sh [--key94 N] [--repeats N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default --target vrel_python vrel_python_bench_abi -j2 >/dev/null
build="$root/build/default"
PYTHONPATH="$build/python" /usr/bin/python3 "$root/python/bench/bench_module.py" \
  "$build/python/vrel_python_bench_abi" "$root/data/sample/sample.vdb" "$@"
