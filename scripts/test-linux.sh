#!/usr/bin/env bash
# The Linux tests on the simulated host, built from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
ctest --preset linux -j"$(nproc)"
# The benchmarks are not run here (their figures need a quiet machine), but they must build.
rm -rf build/bench
cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" --target signature_scan_bench xml_check_bench
