// The watched file (`WatchFile`): the plug-in reloads by itself shortly after each
// save. It looks at the file's last-write time and size at most four times a
// second, from the script's pass, and never reads it to notice a change: a state
// that differs from the one last reloaded and then stays the same for 500 ms calls
// for one reload. The state found when watching starts is the baseline.
#pragma once

#include <cstdint>
#include <string>

#include "watch/file_stamp.h"

inline constexpr std::uint32_t watchCheckIntervalMs = 250;
inline constexpr std::uint32_t watchQuietMs = 500;

struct FileWatch {
    std::string path;              // the file watched, as written; empty: none
    bool started = false;          // the baseline has been taken
    FileStamp reloaded;            // the state last reloaded, or the baseline
    FileStamp pending;             // a newer state, waiting to stay the same
    bool hasPending = false;
    std::uint32_t pendingSince = 0;  // the tick count of the check that first saw it
    std::uint32_t lastCheck = 0;
    bool toldMissing = false;      // the player knows the file is missing
};

// The script's one watch. Only the script reads or writes it.
extern FileWatch fileWatch;

// Called by every pass. Follows the WatchFile setting in effect (a new path is
// watched from the next check on, with a new baseline) and looks at the file when
// 250 ms have passed since the last look. True when a changed state has stayed the
// same for 500 ms: the caller reloads and then calls `markWatchedFileReloaded`.
// A file that goes missing is logged and told once; its return counts as a change.
bool pollWatchedFile(std::uint32_t now);

// The file's state now counts as reloaded: a change that settles later reloads
// only if it differs from it. `settled` is true after a reload the watch called
// for (its waiting state is taken), false after a key reload (the file is looked at).
void markWatchedFileReloaded(bool settled);

// Before any reload while WatchFile is set: true when the watched file is
// well-formed XML, or cannot be checked (missing, over 64 MiB, unreadable: logged,
// and the reload goes ahead unchecked). False when it is not well-formed: the
// error is logged and shown, and the game routine must not be called.
bool watchedFileMayBeReloaded();

// Stops watching; the next pass starts afresh.
void resetFileWatch();
