#!/usr/bin/env bash
# The Linux test suite under AddressSanitizer with UndefinedBehaviorSanitizer, then
# under ThreadSanitizer; each preset built from scratch. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

for preset in asan tsan; do
  echo "== $preset"
  rm -rf "build/$preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)"
  ctest --preset "$preset" -j"$(nproc)"
done
