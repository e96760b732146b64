// The script's one watch: the path the player set, the files it holds, the listing
// under way and what the player has been told. Only the script reads or writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "text/clean_text.h"
#include "watch/folder_listing.h"
#include "watch/watched_file.h"

enum class WatchKind : std::uint8_t { none, file, folder };

// What a completed listing leaves for the next pass: taking it in and naming its
// files are each a pass's work.
enum class ListingNext : std::uint8_t {
    nothing,
    takeIn,    // complete, but the share that completed it spent its budget
    logFiles,  // taken in, and found a change (or was the first): its files are logged
};

struct FileWatch {
    std::string path;                  // the path as written; empty: nothing watched
    WatchKind kind = WatchKind::none;  // none until the first look
    bool started = false;              // the first look has been made: later files count as saved
    std::vector<WatchedFile> files;    // a folder's files in listing order; a single path's one entry
    std::uint32_t lastCheck = 0;       // the last look at the path itself
    std::uint32_t lastListing = 0;     // when the last listing completed
    ListingWork listing;               // a listing under way, its result not yet taken
    ListingNext listingNext = ListingNext::nothing;
    std::size_t nextLook = 0;          // where a folder's looks go on
    std::uint32_t lastFolderLook = 0;
    std::uint64_t lookCredit = 0;      // looks owed, in milliseconds of folderLookIntervalMs
    bool toldMissing = false;          // the player knows the path is missing
    bool toldTooManyEntries = false;
    bool toldTooManyFiles = false;
    std::size_t bytesInMemory = 0;     // received versions held in memory, all files together
};

extern FileWatch fileWatch;

inline bool watchingFolder() { return fileWatch.kind == WatchKind::folder; }

// A path as the log shows it.
CleanText logged(const std::string& path);

// The entry of a single watched path: the path, named by its file name.
WatchedFile singleFile(const std::string& path);

// Lets go of the version the game received last of `file`, as held in memory.
void forget(WatchedFile& file);

void dropAllFiles();

// Logs and tells once that the watched path (`what`: "file" or "folder") is missing.
void tellMissing(const char* what);
