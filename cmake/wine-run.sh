#!/bin/sh
# Runs a Windows program under Wine, in the prefix the caller names in WINEPREFIX
# (the tests make a throw-away one per run); without one it refuses, rather than
# touch the user's own ~/.wine.
# The program's output goes through files: Wine's helper processes inherit its
# output handles and outlive it by seconds, and a caller reading a pipe (CTest)
# would wait for them.
# A run that fails says why even when the program said nothing: its exit status,
# and Wine's own messages (its errors are on, its chatter off). A program that
# failed without printing a single line never started (the stand-in game prints
# its first line before anything else): Wine's start-up failed, and the program
# is run once more, saying so. A program that started is never run again.
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: set WINEPREFIX to a throw-away prefix" >&2
    exit 125
fi
WINEDEBUG=-all,err+all
# Wine reads and writes Linux file names in the locale's encoding: UTF-8, so that
# any name holds any character, even where no locale is set (CI as root).
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG LC_ALL
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
program=$(basename "$1")

run() {
    started=$(date +%s%N)
    wine "$@" >"$out" 2>"$err"
    status=$?
    milliseconds=$((($(date +%s%N) - started) / 1000000))
}

run "$@"
if [ "$status" -ne 0 ] && [ ! -s "$out" ]; then
    echo "wine-run.sh: $program never started: it exited with status $status after $milliseconds ms" \
        "without printing its first line; Wine said:" >&2
    cat "$err" >&2
    echo "wine-run.sh: running $program once more, since Wine's start-up failed and not the program" >&2
    run "$@"
fi
cat "$out"
cat "$err" >&2
if [ "$status" -ne 0 ]; then
    echo "wine-run.sh: $* exited with status $status after $milliseconds ms" >&2
fi
exit $status
