#!/usr/bin/env bash
# The fuzz targets, built from scratch with clang: every seed input replayed, then
# each target fuzzed for a bounded time (FUZZ_SECONDS, default 20). Any finding
# fails the run; the input that caused it is kept under build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-20}"
targets=(line_grammar_fuzz settings_reader_fuzz signature_scan_fuzz xml_check_fuzz)

rm -rf build/fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

findings=build/fuzz/findings
mkdir -p "$findings"
summary=()
for target in "${targets[@]}"; do
  binary="build/fuzz/fuzz/$target"
  seeds="fuzz/corpus/$target"
  log="build/fuzz/$target.log"
  echo "== $target: replaying $(ls "$seeds" | wc -l) seed inputs"
  if ! "$binary" -artifact_prefix="$findings/$target-" "$seeds"/* >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FAILED: $target fails on a seed input"
    exit 1
  fi

  # New inputs go to a scratch corpus; the committed seeds are only read.
  scratch="build/fuzz/corpus/$target"
  mkdir -p "$scratch"
  # A target's dictionary, when it has one, names the tokens of its input language.
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  echo "== $target: fuzzing for ${seconds} s"
  if ! "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$findings/$target-" \
       "${dict[@]}" "$scratch" "$seeds" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "FAILED: $target found a fault; the input is in $findings/ (add it to $seeds/ once fixed)"
    exit 1
  fi
  grep '^Done' "$log"
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  summary+=("$(printf '%-22s %10s exec/s %12s executions' "$target" "$rate" "$runs")")
done

echo "== fuzzing summary (${seconds} s each, no findings)"
printf '%s\n' "${summary[@]}"
