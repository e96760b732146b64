// Every version of a watched file that the game received, kept as a copy, so that
// an earlier try can be had back: in BrackenfoldHistory beside the plug-in or,
// when that cannot be made or refuses new files, in %LOCALAPPDATA%\Brackenfold\History.
// A copy is named "<name>.<yyyy-mm-dd_HH-MM-SS>.meta" in local time ("-2", "-3", ...
// before ".meta" for each later copy within one second, after the highest there is);
// only the newest copies of each name are kept, by their time and number, never the
// copy just made, and no file that is not such a copy is ever touched. A copy is
// written whole under its name with ".partial" added, then renamed: a file named as
// a copy always holds a version the game received, and a part that a refused delete
// left is no copy, and is removed when the folder is next listed. Failures are
// logged, with the reason Windows gave, never shown, and never thrown (but
// std::bad_alloc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/kernel.h"

extern const char historyFolderName[];  // "BrackenfoldHistory"

// The name the versions of a watched file are kept under: its path below the
// watched folder (or a single file's name) with each "\" or "/" replaced by "_",
// and a final ".meta" (any letter case) dropped.
std::string keptName(std::string_view below);

// The names the versions of several watched files are kept under, one for each of
// `belows` and never shared (letter case aside, as Windows compares names): each
// file's keptName, unless that of another would be the same, as
// "A_B\VegetationModifiers.meta" and "A\B\VegetationModifiers.meta" would; each of
// those takes "~" and eight hexadecimal digits made from its own path, which stay
// the same whatever else is watched. A unique name is never changed, so the copies
// already kept under it go on counting.
std::vector<std::string> keptNames(const std::vector<std::string_view>& belows);

// "<name>.<yyyy-mm-dd_HH-MM-SS>.meta", or with "-<number>" before ".meta" when
// `number` is 2 or more.
std::string keptCopyName(std::string_view name, const LocalTime& time, unsigned number);

// A file of the history folder that is a copy of some name.
struct KeptCopy {
    std::string file;       // its file name
    std::string name;       // the name it is a copy of
    std::string stamp;      // "yyyy-mm-dd_HH-MM-SS"
    unsigned number = 1;    // 1 without a "-<number>"
};

// The copy that `file` names, when it follows the naming exactly; `name` is empty
// otherwise.
KeptCopy parseKeptCopy(std::string_view file);

// One reload's use of the history: the folder is chosen and listed once, when the
// first copy is looked for.
struct History {
    bool opened = false;
    bool primary = true;        // the BrackenfoldHistory beside the plug-in is in use
    std::string folder;         // empty when neither folder can be had
    std::vector<KeptCopy> copies;
};

// Keeps `bytes`, the version of a file the game just received, as the newest copy
// of `name`, unless the newest copy kept holds the same bytes; then deletes the
// oldest copies of `name` beyond `keep` (at least 1). Gives the path of the copy
// that holds these bytes, made now or before, and `made` says which; empty when
// none could be made.
struct Kept {
    std::string copy;
    bool made = false;
};
Kept keepVersion(History& history, const std::string& name, std::string_view bytes, std::uint32_t keep);
