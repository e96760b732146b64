#!/usr/bin/env bash
# The main command: builds the plug-in's package dist/Brackenfold/ (and its zip),
# lays out a game folder as a player has it (the stand-in RDR2.exe and
# ScriptHookRDR2.dll, plus the package), and runs the plug-in's main job there under
# Wine, a modder's loop told as a transcript: two mods are laid out in lml and the
# sample settings watch that folder; a save in one mod reloads by itself, a broken
# save in the other is refused with its line and column and the game routine is not
# called, the mending save reloads; the kept copies in BrackenfoldHistory and the
# changed lines in the log are shown; F10 reloads; the game unloads the plug-in.
# Each step is checked. Then the log the plug-in left beside the game is shown.
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
status=0
"$root/cmake/wine-run.sh" ./RDR2.exe main_job || status=$?
echo
echo "Brackenfold.log, beside the game:"
sed 's/^/  /' Brackenfold.log
exit $status
