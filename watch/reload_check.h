// The check before a reload: every watched file the game would be handed is read
// and checked as well-formed XML first, unless its stamp is that of the version
// the game received, whose result stands; a broken file stops the reload.
#pragma once

#include <cstdint>

#include "watch/watched_file.h"

// Before any reload while WatchFile is set: reads and checks every watched file
// whose stamp is not that of the version the game received (an unchanged one
// keeps its earlier result, unread), after looking at the watched path (a folder
// listed whole) when it has not been looked at yet, so that a reload right at the
// start checks what is there. True when each is well-formed XML or cannot be
// checked (missing, over 64 MiB, unreadable: logged, and the reload goes ahead
// without it). False when any is not well-formed: each is logged, the first in
// listing order is shown, and the game routine must not be called. The bytes
// checked are held until `keepReceivedVersions` or `forgetCheckedFiles`.
bool watchedFileMayBeReloaded(std::uint32_t now);

// Whether the check before a reload read `file` because it differs from the state
// the game is known to hold (not only because it was never checked in this run).
bool changedForTheGame(const WatchedFile& file);

// Drops the bytes checked for a reload that did not reach the game.
void forgetCheckedFiles();
