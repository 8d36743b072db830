#!/usr/bin/env bash
# ThreadSanitizer run of the concurrent-context test: one context per thread
# on several threads at once, every method and kernel. Only that test target
# is built, with the tsan preset. Exits non-zero on a data race or a result
# that differs from the single-threaded one.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${VREL_JOBS:-2}
echo "==== tsan: configure and build vrel_concurrency_tests"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target vrel_concurrency_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
echo "==== tsan: concurrent contexts"
build/tsan/tests/hardening/vrel_concurrency_tests
