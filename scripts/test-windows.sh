#!/usr/bin/env bash
# The Windows stage, from scratch: cross-builds the plug-in and the stand-in game
# and host with MinGW-w64, then runs the PE checks and every scenario under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
rm -rf build/windows
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)"
ctest --preset windows
echo "Windows stage (configure, build, checks and Wine scenarios): $(($(date +%s) - start)) s"
