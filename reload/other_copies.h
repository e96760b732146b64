// Other copies of the plug-in loaded into the game, from another folder or under
// another name (an old one left in the game's folder after a move to scripts\):
// only one copy runs, and the one that runs names each other copy, once, on
// screen and in its log, so that the player edits the settings beside the copy
// that counts. An idle copy says nothing (it stood back at load, see
// plugin/single_instance.h). A copy is known by its version resource's product
// name, whatever its version.
#pragma once

#include <cstddef>

#include "host/kernel.h"

extern const char productName[];  // "Brackenfold"

// Start-up: for every module loaded now that is a copy of the plug-in, but `self`,
// logs and queues "Brackenfold: another copy stays idle: <path>" (relative to the
// game's folder when inside it). A copy loaded later is not told. Gives the number
// told; nothing is thrown.
std::size_t tellOtherCopies(ModuleHandle self);
