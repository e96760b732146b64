// What the player edits (`WatchFile`): one file, or a folder, such as a mod loader's,
// in which every VegetationModifiers.meta is watched. The plug-in reloads by itself
// shortly after each save: each file's last-write time and size is looked at, from
// the script's pass, at most every 250 ms and never more than 8 files in one pass,
// and a file is never read to notice a change. A state that differs from the one
// last reloaded and then stays the same for 500 ms calls for a reload; changes to
// several files that settle together give one. The state found when watching
// starts is the baseline; a file that appears later counts as saved. A folder is
// listed again 5 seconds after its last listing completed, a share of the listing
// in each pass.
//
// What bounds a pass that does not reload is time, not a count: the game pays for
// the pass in its frame, and the same looks and entries cost several times more on
// a slow disk or behind an antivirus filter than where they were measured. The
// watch spends at most `watchPassMicroseconds` of a pass: its share of a listing
// at most `watchListingMicroseconds` of that, its looks (8 attribute queries at
// most) the rest, the time checked after every query, entry or folder opened, and
// each making at least one step, so that the pass ends within about one step of
// its budget whatever the folder holds; on a slow machine the
// looks come round less often and a listing takes more passes, whatever the folder
// holds. Before every reload each file whose stamp changed since the game received
// it is read and checked as XML (an unchanged one is not read again), and after
// the game received them, the versions are kept and their changes logged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "watch/time_budget.h"
#include "watch/watch_state.h"

inline constexpr std::uint32_t watchCheckIntervalMs = 250;
inline constexpr std::uint32_t watchQuietMs = 500;
inline constexpr std::uint32_t watchListingIntervalMs = 5000;
inline constexpr std::size_t watchQueriesPerPass = 8;
// The time a pass spends at most on the watch, and of that on its share of a
// listing under way (each after the step that crosses it). The share takes about
// half: one folder call may cost as much again, and a pass must still end well
// within 100 us.
inline constexpr std::uint32_t watchPassMicroseconds = 40;
inline constexpr std::uint32_t watchListingMicroseconds = 22;
// A folder's files are looked at in turn, each about five times a second, so that
// every one is seen within 250 ms even when a pass leaves some looks to the next.
inline constexpr std::uint32_t folderLookIntervalMs = 200;

// Called by every pass. Follows the WatchFile setting in effect (a new path is
// watched from the next check on, with a new baseline), looks at the path or the
// folder's files that are due, and lists a watched folder every 5 seconds. True
// when the changes seen have all stayed the same for 500 ms: the caller logs them
// (`logSavedFiles`), reloads, then calls `markWatchedFileReloaded`. A path that goes
// missing is logged and told once; its return counts as a change. `queries` is
// the most file attribute queries this pass may still make (the settings' look
// may have taken some); a single path's one look is always made when due.
bool pollWatchedFile(std::uint32_t now, std::size_t queries = watchQueriesPerPass);

// Logs which watched files were saved, before a reload that the watch called for.
void logSavedFiles();

// The files' states now count as reloaded: a change that settles later reloads
// only if it differs from them. `settled` is true after a reload the watch called
// for (the waiting states are taken), false after a key reload (the states the
// check read are taken).
void markWatchedFileReloaded(bool settled);

// Stops watching; the next pass starts afresh.
void resetFileWatch();

// The look at the watched path itself, while it is no folder, with `budget` for a
// listing it starts; gives the attribute queries made.
std::size_t lookAtPathItself(std::uint32_t now, TimeBudget budget);
