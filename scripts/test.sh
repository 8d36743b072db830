#!/usr/bin/env bash
# Builds vrel and runs every test: the optimised build (once more with the
# portable kernels forced through VREL_FORCE_PORTABLE=1), the same suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, and the extra suites that
# live beside it (Windows DLL checks, fuzz smoke runs) when present.
# Exits non-zero as soon as anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${VREL_JOBS:-2}
bash scripts/install-deps.sh

run_suite() {
  local preset=$1
  echo "==== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "==== $preset: tests"
  ctest --preset "$preset" -j "$jobs"
}

run_suite default
echo "==== default: tests with the portable kernels forced"
VREL_FORCE_PORTABLE=1 ctest --preset default -j "$jobs"
run_suite asan

for extra in .ci/windows.sh .ci/fuzz.sh .ci/tsan.sh; do
  if [ -f "$extra" ]; then
    echo "==== $extra"
    bash "$extra"
  fi
done
echo "==== all suites passed"
