// What the watch's own sources share; no other room includes this.
#pragma once

#include <cstdint>
#include <string>

#include "report/messages.h"
#include "watch/file_watch.h"

inline bool watchingFolder() { return fileWatch.kind == WatchKind::folder; }

// A path as the log shows it.
CleanText logged(const std::string& path);

// The entry of a single watched path: the path, named by its file name.
WatchedFile singleFile(const std::string& path);

// Lets go of the version the game received last, as held in memory.
void forget(WatchedFile& file);

void dropAllFiles();

// Logs and tells once that the watched path (`what`: "file" or "folder") is missing.
void tellMissing(const char* what);

// A watched folder's listing: started now, or carried on by one share that spends
// `budget`; when complete, its files are taken in (new ones count as saved, except
// at the first look; those gone are dropped) and a folder that is no longer there
// is told missing and looked at as a single path from then on. Each gives the
// attribute queries it made (at most one). A share that completes the listing but
// spends its budget leaves the taking in to takeCompleteListing, at the next pass.
std::size_t startFolderListing(std::uint32_t now, TimeBudget budget);
std::size_t shareOfListing(std::uint32_t now, TimeBudget budget);
std::size_t takeCompleteListing(std::uint32_t now);
// The files of a listing taken in that found a change (or the first), logged a
// pass later: taking a listing in and naming its files are each a pass's work.
void logTakenListing();
