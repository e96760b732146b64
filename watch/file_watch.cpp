#include "watch/file_watch.h"

#include <algorithm>

#include "report/log.h"
#include "settings/settings.h"
#include "watch/folder_watch.h"

namespace {

// One look at one file. `single`: the watched path is this file, whose absence is told.
void observe(WatchedFile& file, const FileStamp& stamp, std::uint32_t now, bool single) {
    takeLook(file, stamp, now);
    if (!single) {
        return;
    }
    if (stamp.exists) {
        fileWatch.toldMissing = false;
    } else {
        tellMissing("file");
    }
}

// The looks at a folder's files, in turn: as many as keep each file looked at every
// folderLookIntervalMs, at most `budget` of them and for at most `time`, at least
// one. A look left for a later pass is made there.
void lookAtFolderFiles(std::uint32_t now, std::size_t budget, TimeBudget time) {
    const std::size_t count = fileWatch.files.size();
    const std::uint64_t round = std::uint64_t{count} * folderLookIntervalMs;
    fileWatch.lookCredit = std::min<std::uint64_t>(
        fileWatch.lookCredit + std::uint64_t{count} * (now - fileWatch.lastFolderLook), round);
    fileWatch.lastFolderLook = now;
    const std::size_t looks = std::min(static_cast<std::size_t>(fileWatch.lookCredit / folderLookIntervalMs), budget);
    if (looks == 0) {
        return;
    }
    const TimeSpent spent{time};
    for (std::size_t look = 0; look < looks; ++look) {
        WatchedFile& file = fileWatch.files[fileWatch.nextLook];
        observe(file, readFileStamp(file.path.c_str()), now, false);
        fileWatch.nextLook = (fileWatch.nextLook + 1) % count;
        fileWatch.lookCredit -= folderLookIntervalMs;
        if (spent.over()) {
            break;
        }
    }
}

// True when some file's change has stayed the same for 500 ms and none is still settling.
bool changesSettled() {
    bool settled = false;
    for (const WatchedFile& file : fileWatch.files) {
        if (file.edits == Edits::settling) {
            if (file.lastLook - file.pendingSince < watchQuietMs) {
                return false;
            }
            settled = true;
        }
    }
    return settled;
}

}  // namespace

std::size_t lookAtPathItself(std::uint32_t now, TimeBudget budget) {
    const PathLook look = lookAtPath(fileWatch.path.c_str());
    if (look.folder) {
        return 1 + startFolderListing(now, budget);
    }
    if (fileWatch.kind != WatchKind::file || fileWatch.files.size() != 1) {
        dropAllFiles();
        fileWatch.kind = WatchKind::file;
        fileWatch.files.push_back(singleFile(fileWatch.path));
    }
    fileWatch.started = true;
    observe(fileWatch.files.front(), look.file, now, true);
    return 1;
}

bool pollWatchedFile(std::uint32_t now, std::size_t queries) {
    if (activeSettings.watchFile != fileWatch.path) {
        // Watched from the next check on, as a new path.
        const std::uint32_t lastCheck = fileWatch.lastCheck;
        resetFileWatch();
        fileWatch.path = activeSettings.watchFile;
        fileWatch.lastCheck = lastCheck;
        if (!fileWatch.path.empty()) {
            logLine(LogLevel::Info, "watch: watching %s", logged(fileWatch.path).text);
        }
    }
    if (fileWatch.path.empty()) {
        return false;
    }
    const TimeSpent pass{microsecondsBudget(watchPassMicroseconds)};
    logTakenListing();
    std::size_t listingQueries = 0;
    if (fileWatch.listingNext == ListingNext::takeIn) {
        listingQueries = takeCompleteListing(now);
    } else if (fileWatch.listing.active) {
        listingQueries = shareOfListing(now, microsecondsBudget(watchListingMicroseconds));
    } else if (watchingFolder()) {
        if (now - fileWatch.lastListing >= watchListingIntervalMs) {
            listingQueries = startFolderListing(now, microsecondsBudget(watchListingMicroseconds));
        }
    } else if (now - fileWatch.lastCheck >= watchCheckIntervalMs) {
        fileWatch.lastCheck = now;
        listingQueries = lookAtPathItself(now, microsecondsBudget(watchListingMicroseconds));
    }
    // A listing may have ended the folder's watch, or begun it.
    if (watchingFolder()) {
        lookAtFolderFiles(now, queries - std::min(queries, listingQueries), pass.left());
    }
    return changesSettled();
}

void logSavedFiles() {
    for (const WatchedFile& file : fileWatch.files) {
        if (file.edits != Edits::settling) {
            continue;
        }
        const StampText written = formatWriteTime(file.pending.writeTime);
        const auto size = static_cast<unsigned long long>(file.pending.size);
        if (watchingFolder()) {
            logLine(LogLevel::Info, "reload: watched file %s saved (written %s, %llu bytes)", logged(file.below).text,
                    written.text, size);
        } else {
            logLine(LogLevel::Info, "reload: watched file saved (written %s, %llu bytes)", written.text, size);
        }
    }
}

void markWatchedFileReloaded(bool settled) {
    if (fileWatch.path.empty() || !fileWatch.started) {
        return;
    }
    for (WatchedFile& file : fileWatch.files) {
        takeReloaded(file, settled);
    }
}

void resetFileWatch() {
    stopListing(fileWatch.listing);
    fileWatch = FileWatch{};
}
