#!/bin/sh
# The throw-away Wine prefix of one test run.
#   wine_prefix.sh create   a fresh prefix, with a server that outlives each test
#                           (starting one costs seconds) but not the run by long
#   wine_prefix.sh remove   stop its server, delete the prefix and the server's
#                           folder in the temporary directory
set -eu
: "${WINEPREFIX:?set WINEPREFIX to the prefix of this run}"
# It deletes the prefix: only ever one made for a run, never someone's own.
case "$WINEPREFIX" in
*/wine-prefix) ;;
*)
    echo "wine_prefix.sh: the prefix must be a folder named wine-prefix, not $WINEPREFIX" >&2
    exit 2
    ;;
esac
export WINEPREFIX
export WINEDEBUG=-all
# The same locale as the programs that run in the prefix (cmake/wine-run.sh).
export LC_ALL=C.UTF-8

remove() {
    [ -d "$WINEPREFIX" ] || return 0
    wineserver -k 2>/dev/null || true
    if [ -f "$WINEPREFIX/wineserver" ]; then
        folder=$(cat "$WINEPREFIX/wineserver")
        case "$folder" in
        wine-*[!A-Za-z0-9-]*) ;;
        wine-?*) rm -rf "${TMPDIR:-/tmp}/$folder" "/tmp/$folder" ;;
        esac
    fi
    rm -rf "$WINEPREFIX"
}

case "${1:-}" in
create)
    remove
    mkdir -p "$WINEPREFIX"
    # Output through a file: the helper processes that wineboot starts keep its
    # output handles open long after it returns, and CTest would wait for them.
    wineserver -p60 </dev/null >/dev/null 2>&1
    log="$WINEPREFIX/wineboot.log"
    status=0
    wineboot -i </dev/null >"$log" 2>&1 || status=$?
    cat "$log"
    exit $status
    ;;
remove)
    remove
    ;;
*)
    echo "usage: wine_prefix.sh create|remove" >&2
    exit 2
    ;;
esac
