#!/usr/bin/env bash
# The benchmarks: builds the optimised bench preset and runs each, printing their
# figures. Arguments go to the signature search benchmark: --generated-corpus, or
# Google Benchmark's own flags such as --benchmark_filter=corpus1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target signature_scan_bench xml_check_bench script_pass_bench session_bench

# The MSVC-built corpus: an x64 DLL from a public npm package, fetched once into
# build/ and never committed. Without it the benchmark says so and runs the others.
msvc_package=@couchbase/couchbase-win32-x64-napi@4.7.0
msvc_dll=build/corpus/couchbase-v4.7.0-napi-v6-win32-x64-boringssl.node
if [ ! -s "$msvc_dll" ]; then
  if ! command -v npm >/dev/null; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq npm; } >/dev/null 2>&1 || true
  fi
  mkdir -p build/corpus
  if command -v npm >/dev/null; then
    (cd build/corpus && tarball=$(timeout 300 npm pack --silent "$msvc_package" 2>/dev/null) &&
      tar -xzf "$tarball" --strip-components=1 "package/$(basename "$msvc_dll")" && rm -f "$tarball") ||
      rm -f "$msvc_dll"
  fi
fi

echo "== the signature search"
build/bench/bench/signature_scan_bench --msvc-corpus="$msvc_dll" "$@"
echo "== the XML check of the watched file"
build/bench/bench/xml_check_bench
echo "== the script's pass, every frame"
build/bench/bench/script_pass_bench
echo "== a session of play with a large mod folder, and the reload pass"
build/bench/bench/session_bench
