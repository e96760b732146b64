// Where the plug-in's own files go: beside its .asi, in whatever folder the
// player's loader loaded it from (the game's folder, scripts\, plugins\, ...), so
// that its settings, its log, the record of a reload and the kept versions are
// found with it. The folder is found once, when the script starts, from the
// plug-in's own module: never from the current directory at load time, which a
// loader may have changed while it loaded the plug-in. Inside the game's folder
// (the current directory while the game runs) it is held relative to it, so that
// the paths logged and shown read as the player sees the folder. The rooms ask
// here; none finds the folder for itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/kernel.h"

// Where the plug-in's folder is.
enum class OwnPlace : std::uint8_t {
    unknown,     // its path cannot be had: its files go to the current directory, as ever
    gameFolder,  // the game's folder itself, the current directory
    elsewhere,   // another folder: below the game's (scripts\) or outside it
};

// Start-up: finds the folder of `plugin`'s file and remembers it, and the game's
// folder, for the rest of the run. Nothing is thrown.
OwnPlace findOwnFolder(ModuleHandle plugin);
OwnPlace ownPlace();

// The plug-in's folder as a path's beginning: empty for the game's folder (and
// when unknown), else ending in "\": "scripts\" or "D:\Mods\Brackenfold\".
const std::string& ownFolder();

// `name` in the plug-in's folder: "scripts\BrackenfoldConfig.ini".
std::string ownFile(std::string_view name);

// Where the plug-in's files go when its folder refuses them:
// "%LOCALAPPDATA%\Brackenfold\", made when missing; empty when there is no
// LOCALAPPDATA.
std::string fallbackFolder();

// An absolute path as the player is shown it: relative to the game's folder when
// it lies inside it ("scripts\Brackenfold.asi"), else as it is.
std::string shownPath(std::string_view path);
