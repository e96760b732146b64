#!/usr/bin/env bash
# The signature search benchmark: builds the optimised bench preset and runs it.
# Arguments go to the benchmark program: --generated-corpus, or Google Benchmark's
# own flags such as --benchmark_filter=corpus1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target signature_scan_bench
build/bench/bench/signature_scan_bench "$@"
