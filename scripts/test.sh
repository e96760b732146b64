#!/usr/bin/env bash
# Every test, from scratch: installs what is missing, then runs each stage in turn.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/test-linux.sh
scripts/test-sanitizers.sh
scripts/test-fuzz.sh
scripts/test-windows.sh
