#!/usr/bin/env bash
# Builds everything and runs the whole test suite: once in a normal build and once
# under AddressSanitizer + UndefinedBehaviorSanitizer; the normal build's Debian package
# is checked in between (scripts/package-check.sh).
# ORVANE_SKIP_SANITIZE=1 skips the second pass (quicker local runs).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=${ORVANE_JOBS:-2}

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The Debian package of the normal build: built, validated, unpacked and run.
bash scripts/package-check.sh build
if [ "${ORVANE_SKIP_SANITIZE:-0}" != 1 ]; then
  export LSAN_OPTIONS="suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON -DORVANE_BUILD_BENCHMARKS=OFF
fi
