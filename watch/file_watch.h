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

#include "watch/file_stamp.h"
#include "watch/folder_listing.h"

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
// The versions the game received, kept in memory to tell what changed, all files together.
inline constexpr std::size_t receivedBytesInMemory = std::size_t{16} << 20;

struct WatchedFile {
    std::string path;   // as queried: the watched file, or the folder's path joined with `below`
    std::string below;  // its path below the watched folder; a single watched file's name
    std::string keptAs; // the name its versions are kept under, shared with no other file
    bool looked = false;           // its baseline has been taken
    FileStamp reloaded;            // the state last reloaded, or the baseline
    // The state the game is known to hold: the baseline, then the stamp of each
    // version it received.
    FileStamp gameStamp;
    FileStamp pending;             // a newer state, waiting to stay the same
    bool hasPending = false;
    std::uint32_t pendingSince = 0;  // the tick count of the look that first saw it
    std::uint32_t lastLook = 0;

    // What the check before a reload read: the bytes the game is then given.
    FileStamp checkedStamp;
    bool checked = false;          // `bytes` holds them, checked well-formed
    bool tooLarge = false;         // over 64 MiB: not checked, not kept
    bool unchanged = false;        // as the game received it: not read, its result stands
    std::string bytes;

    // The version the game received last in this run: in memory, or in a kept copy.
    bool received = false;
    bool receivedInMemory = false;
    std::string receivedBytes;
    std::string receivedCopy;
};

enum class WatchKind : std::uint8_t { none, file, folder };

struct FileWatch {
    std::string path;               // the path as written; empty: nothing watched
    WatchKind kind = WatchKind::none;  // none until the first look
    bool started = false;           // the first look has been made: later files count as saved
    std::vector<WatchedFile> files; // a folder's files in listing order; a single path's one entry
    std::uint32_t lastCheck = 0;    // the last look at the path itself
    std::uint32_t lastListing = 0;  // when the last listing completed
    ListingWork listing;            // a listing under way, its result not yet taken
    bool listingToTake = false;     // complete, taken in at the next pass
    bool listingToLog = false;      // taken in, its files logged at the next pass
    std::size_t nextLook = 0;       // where a folder's looks go on
    std::uint32_t lastFolderLook = 0;
    std::uint64_t lookCredit = 0;   // looks owed, in milliseconds of folderLookIntervalMs
    bool toldMissing = false;       // the player knows the path is missing
    bool toldTooManyEntries = false;
    bool toldTooManyFiles = false;
    std::size_t bytesInMemory = 0;  // received versions held in memory, all files together
};

// The script's one watch. Only the script reads or writes it.
extern FileWatch fileWatch;

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

// After the game routine returned: keeps a copy of each checked file whose bytes
// differ from its newest copy (`keep` of each at most; 0 keeps none), and logs how
// each differs from the version the game received before in this run.
void keepReceivedVersions(std::uint32_t keep);

// Drops the bytes checked for a reload that did not reach the game.
void forgetCheckedFiles();

// Stops watching; the next pass starts afresh.
void resetFileWatch();
