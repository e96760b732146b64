#!/bin/sh
# Runs a Windows program under Wine without its debug chatter, in the prefix the
# caller names in WINEPREFIX (the tests make a throw-away one per run); without one
# it refuses, rather than touch the user's own ~/.wine.
# The program's output goes through files: Wine's helper processes inherit its
# output handles and outlive it by seconds, and a caller reading a pipe (CTest)
# would wait for them.
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: set WINEPREFIX to a throw-away prefix" >&2
    exit 125
fi
WINEDEBUG=-all
# Wine reads and writes Linux file names in the locale's encoding: UTF-8, so that
# any name holds any character, even where no locale is set (CI as root).
LC_ALL=C.UTF-8
export WINEPREFIX WINEDEBUG LC_ALL
out=$(mktemp) && err=$(mktemp) || exit 125
trap 'rm -f "$out" "$err"' EXIT
wine "$@" >"$out" 2>"$err"
status=$?
cat "$out"
cat "$err" >&2
exit $status
