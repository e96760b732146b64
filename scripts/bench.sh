#!/usr/bin/env bash
# The benchmarks: builds the optimised bench preset and runs each, printing their
# figures. Arguments go to the signature search benchmark: --generated-corpus, or
# Google Benchmark's own flags such as --benchmark_filter=corpus1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target signature_scan_bench xml_check_bench script_pass_bench
echo "== the signature search"
build/bench/bench/signature_scan_bench "$@"
echo "== the XML check of the watched file"
build/bench/bench/xml_check_bench
echo "== the script's pass, every frame"
build/bench/bench/script_pass_bench
