#!/usr/bin/env bash
# The Linux tests on the simulated host, built from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/linux
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)"
ctest --preset linux -j"$(nproc)"
