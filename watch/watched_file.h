// One file the watch follows, and the three states it is in: what the looks at it
// saw (a save settling), what the check before a reload made of it, and what this
// run holds of the version the game received. The functions below make every
// change of these states; nothing else sets them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "watch/file_stamp.h"

// Larger than any data file the game reads: a larger file is not checked, nor
// kept, nor read back.
inline constexpr std::uint64_t largestChecked = std::uint64_t{64} << 20;

// What the looks at a file saw.
enum class Edits : std::uint8_t {
    unseen,    // not looked at yet: its first look, or a reload's check, gives the baseline
    settled,   // as last reloaded, or the baseline
    settling,  // a newer state (`pending`), first seen at `pendingSince`, not yet quiet for long enough
};

// What the check before a reload made of a file, until that reload is over.
enum class Check : std::uint8_t {
    none,        // not checked, or it could not be (missing, unreadable, no memory): the reload goes on without it
    tooLarge,    // over 64 MiB: not checked, and no copy is kept
    read,        // `bytes` holds what the game is handed, well-formed
    asReceived,  // its stamp is that of the version the game received: not read, that version's result stands
};

// What this run holds of the version the game received last.
enum class Received : std::uint8_t {
    none,      // the game received no version of it in this run
    inMemory,  // `receivedBytes` holds it
    inCopy,    // only its kept copy does, `receivedCopy` (empty when none could be kept)
};

struct WatchedFile {
    std::string path;    // as queried: the watched file, or the folder's path joined with `below`
    std::string below;   // its path below the watched folder; a single watched file's name
    std::string keptAs;  // the name its versions are kept under, shared with no other file

    Edits edits = Edits::unseen;
    FileStamp reloaded;              // the state last reloaded, or the baseline
    FileStamp pending;               // settling: the newer state
    std::uint32_t pendingSince = 0;  // settling: the tick count of the look that first saw it
    std::uint32_t lastLook = 0;

    Check check = Check::none;
    FileStamp checkedStamp;  // what the last check found, read or not
    std::string bytes;       // Check::read: the bytes the game is handed

    Received received = Received::none;
    // The state the game is known to hold: the baseline, then the stamp of each version it received.
    FileStamp gameStamp;
    std::string receivedBytes;  // Received::inMemory
    std::string receivedCopy;   // the copy of the version received, made now or before; empty when none
};

// A look at `now` found `stamp`. The first gives the baseline. A state other than
// the one last reloaded is a change, settling from the first look that saw it; any
// other state settles the file (a missing one is taken as reloaded, so that its
// return is a change).
void takeLook(WatchedFile& file, const FileStamp& stamp, std::uint32_t now);

// A file that appears once watching has started: it was missing before, so its
// first look is a change.
void takeAppeared(WatchedFile& file);

// A reload took the file's state: a settled change (`settled`, after a reload the
// watch called for) or what the check read (after a key's reload). A file the
// check reached before its first look takes what it read as its baseline.
void takeReloaded(WatchedFile& file, bool settled);

// The check before a reload found `stamp`; `asReceived` when that is the version the
// game received and it need not be read again. Drops what an earlier check read.
void startCheck(WatchedFile& file, const FileStamp& stamp, bool asReceived);
// The check ended as `how` says (Check::read: `bytes` holds the bytes checked).
void endCheck(WatchedFile& file, Check how);
// The reload is over, or did not reach the game: what the check read is dropped.
void dropCheck(WatchedFile& file);

// The game received what the check read, kept as `copy` (empty: no copy); held in
// memory too when `inMemory`.
void takeReceived(WatchedFile& file, std::string copy, bool inMemory);
// Lets go of the received version held in memory; gives how many bytes that frees.
std::size_t dropReceivedBytes(WatchedFile& file);
