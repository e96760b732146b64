#!/usr/bin/env bash
# The main command: builds the plug-in's package dist/Brackenfold/ (and its zip),
# lays out a game folder as a player has it (the stand-in RDR2.exe and
# ScriptHookRDR2.dll, plus the package), and runs the plug-in's main job there under
# Wine: the game loads the plug-in, a player presses and releases F10, a transcript
# shows every call, and the log the plug-in left beside the game is shown.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
echo "Building the Windows plug-in and its package..."
cmake --preset windows >/dev/null
cmake --build --preset windows -j"$(nproc)" --target dist standin_game >/dev/null
echo "Package dist/Brackenfold/: $(cd dist/Brackenfold && echo *)"
echo "Package zip: $(ls dist/Brackenfold-*.zip)"

work=$(mktemp -d)
export WINEPREFIX=$work/wine-prefix
cleanup() {
    "$root/tests/standin/wine_prefix.sh" remove || true
    rm -rf "$work"
}
trap cleanup EXIT

game=$work/game
mkdir -p "$game"
cp build/windows/game/RDR2.exe build/windows/game/ScriptHookRDR2.dll dist/Brackenfold/* "$game"
echo "Game folder: $(cd "$game" && echo *)"
echo "Preparing a throw-away Wine prefix..."
"$root/tests/standin/wine_prefix.sh" create >/dev/null 2>&1
echo
cd "$game"
"$root/cmake/wine-run.sh" ./RDR2.exe main_job
echo
echo "Brackenfold.log, beside the game:"
sed 's/^/  /' Brackenfold.log
