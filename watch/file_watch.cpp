#include "watch/file_watch.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "host/kernel.h"
#include "report/log.h"
#include "settings/settings.h"
#include "watch/kept_versions.h"
#include "watch/line_changes.h"
#include "watch/watch_parts.h"
#include "xml/xml_check.h"

FileWatch fileWatch;

CleanText logged(const std::string& path) { return cleanText(path, loggedPathLimit); }

void tellMissing(const char* what) {
    if (fileWatch.toldMissing) {
        return;
    }
    fileWatch.toldMissing = true;
    logLine(LogLevel::Warn, "watch: watched %s not found: %s; no reload until it is there", what,
            logged(fileWatch.path).text);
    queueNotice("Brackenfold: watched %s not found: %s", what, cleanText(fileWatch.path, 64).text);
}

WatchedFile singleFile(const std::string& path) {
    WatchedFile file;
    file.path = path;
    file.below = fileNameOf(path.c_str());
    file.keptAs = keptName(file.below);
    return file;
}

void forget(WatchedFile& file) {
    fileWatch.bytesInMemory -= file.receivedBytes.size();
    file.receivedBytes = {};
}

void dropAllFiles() {
    for (WatchedFile& file : fileWatch.files) {
        forget(file);
    }
    fileWatch.files.clear();
    fileWatch.nextLook = 0;
}

namespace {

// Larger than any data file the game reads; a larger one is not checked.
constexpr std::uint64_t largestChecked = std::uint64_t{64} << 20;

// How a file is named to the player: its path below the watched folder, or a
// single watched file's name.
const std::string& shownName(const WatchedFile& file) { return file.below; }

// One look at one file. `single`: the watched path is this file, whose absence is told.
void observe(WatchedFile& file, const FileStamp& stamp, std::uint32_t now, bool single) {
    file.lastLook = now;
    if (!file.looked) {
        file.looked = true;
        file.reloaded = stamp;
        file.gameStamp = stamp;
    } else if (stamp.exists && stamp != file.reloaded) {
        if (!file.hasPending || stamp != file.pending) {
            file.pending = stamp;
            file.hasPending = true;
            file.pendingSince = now;
        }
        if (single) {
            fileWatch.toldMissing = false;
        }
        return;
    }
    file.hasPending = false;
    if (stamp.exists) {
        if (single) {
            fileWatch.toldMissing = false;
        }
    } else {
        file.reloaded = stamp;
        if (single) {
            tellMissing("file");
        }
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

// The look at the watched path itself, while it is no folder, with `budget` for a
// listing it starts; gives the attribute queries made.
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

// True when some file's change has stayed the same for 500 ms and none is still settling.
bool changesSettled() {
    bool settled = false;
    for (const WatchedFile& file : fileWatch.files) {
        if (file.hasPending) {
            if (file.lastLook - file.pendingSince < watchQuietMs) {
                return false;
            }
            settled = true;
        }
    }
    return settled;
}

// The files the check before a reload reads: a folder's, or the watched path.
std::vector<WatchedFile>& filesToCheck() {
    if (!watchingFolder() && fileWatch.files.empty()) {
        fileWatch.files.push_back(singleFile(fileWatch.path));
    }
    return fileWatch.files;
}

// Whether the version the game received of `file` is what the file holds now, as
// its stamp tells, and is had for what follows a reload: kept, or in memory to be kept.
bool asReceived(const WatchedFile& file, std::uint32_t keep) {
    return file.received && file.checkedStamp.exists && file.checkedStamp == file.gameStamp &&
           (keep == 0 || file.receivedInMemory || !file.receivedCopy.empty());
}

// Reads and checks one file, unless it is as the game received it; false when it
// is not well-formed XML.
bool checkFile(WatchedFile& file, bool& shown, std::size_t& checkedBytes) {
    file.checked = false;
    file.bytes.clear();
    file.checkedStamp = readFileStamp(file.path.c_str());
    file.unchanged = asReceived(file, activeSettings.keepVersions);
    if (file.unchanged) {
        return true;
    }
    file.tooLarge = file.checkedStamp.size > largestChecked;
    const std::string& name = shownName(file);
    if (!file.checkedStamp.exists || file.tooLarge) {
        logLine(LogLevel::Warn, "reload: watched file %s %s; reloading without the XML check", logged(file.path).text,
                file.checkedStamp.exists ? "is over 64 MiB" : "not found");
        return true;
    }
    try {
        file.bytes.resize(static_cast<std::size_t>(file.checkedStamp.size));
    } catch (...) {
        logLine(LogLevel::Warn, "reload: no memory to check the watched file %s; reloading without the XML check",
                logged(file.path).text);
        return true;
    }
    if (!readWholeFile(file.path.c_str(), file.bytes)) {
        logLine(LogLevel::Warn, "reload: watched file %s cannot be read; reloading without the XML check",
                logged(file.path).text);
        file.bytes = {};
        return true;
    }
    const XmlCheck check = checkXml(file.bytes.data(), file.bytes.size());
    if (!check.wellFormed) {
        logLine(LogLevel::Error, "reload: %s not reloaded: XML error at line %zu, column %zu: %s", logged(name).text,
                check.line, check.column, check.what);
        if (!shown) {
            shown = true;
            tellPlayerBuilt("Brackenfold: %s not reloaded: XML error at line %zu, column %zu: %s",
                            cleanText(name, loggedPathLimit).text, check.line, check.column, check.what);
        }
        return false;
    }
    file.checked = true;
    checkedBytes += file.bytes.size();
    return true;
}

// The version the game received before this one, in memory or read from its copy;
// false when it cannot be had. `read` holds it when it had to be read back.
bool receivedBefore(const WatchedFile& file, std::string& read, std::string_view& before) {
    if (file.receivedInMemory) {
        before = file.receivedBytes;
        return true;
    }
    if (file.receivedCopy.empty()) {
        return false;
    }
    const FileStamp stamp = readFileStamp(file.receivedCopy.c_str());
    if (!stamp.exists || stamp.size > largestChecked) {
        return false;
    }
    read.resize(static_cast<std::size_t>(stamp.size));
    if (!readWholeFile(file.receivedCopy.c_str(), read)) {
        return false;
    }
    before = read;
    return true;
}

// Logs how the version just received differs from the one before; true when unchanged.
bool logChange(const WatchedFile& file) {
    const CleanText shown = logged(file.below);
    const char* const name = shown.text;
    if (!file.received) {
        logLine(LogLevel::Info, "reload: %s: first reload in this run (%zu lines)", name, countLines(file.bytes));
        return false;
    }
    std::string read;
    std::string_view before;
    if (!receivedBefore(file, read, before)) {
        logLine(LogLevel::Info, "reload: %s: not compared, the version before is not kept (%zu lines now)", name,
                countLines(file.bytes));
        return false;
    }
    const LineChange change = compareLines(before, file.bytes);
    if (change.same) {
        return true;
    }
    logLine(LogLevel::Info, "reload: %s: changed at lines %zu-%zu (%zu lines before, %zu now)", name, change.first,
            change.last, change.linesBefore, change.linesAfter);
    return false;
}

// The version just received becomes the one before the next: in memory while all
// files together stay within the budget, otherwise only in its copy.
void remember(WatchedFile& file, std::string copy) {
    forget(file);
    file.received = true;
    file.gameStamp = file.checkedStamp;
    file.receivedCopy = std::move(copy);
    file.receivedInMemory = fileWatch.bytesInMemory + file.bytes.size() <= receivedBytesInMemory;
    if (file.receivedInMemory) {
        fileWatch.bytesInMemory += file.bytes.size();
        file.receivedBytes = std::move(file.bytes);
    }
    file.bytes = {};
    file.checked = false;
}

// Keeps the version the game received of a file not read again, from memory.
void keepUnread(History& history, WatchedFile& file, std::uint32_t keep) {
    try {
        Kept kept = keepVersion(history, file.keptAs, file.receivedBytes, keep);
        if (kept.made) {
            logLine(LogLevel::Info, "reload: kept %s as %s", logged(file.below).text, logged(kept.copy).text);
        }
        file.receivedCopy = std::move(kept.copy);
    } catch (...) {
        logLine(LogLevel::Warn, "history: no memory to keep %s", logged(file.below).text);
    }
}

}  // namespace

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
    if (fileWatch.listingToTake) {
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
        if (!file.hasPending) {
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
        if (!file.looked) {
            // Checked by this reload before its first look: what it read is the
            // baseline, so a save made since is a change.
            file.looked = true;
            file.reloaded = file.checkedStamp;
            continue;
        }
        file.reloaded = settled && file.hasPending ? file.pending : file.checkedStamp;
        file.hasPending = false;
    }
}

bool watchedFileMayBeReloaded(std::uint32_t now) {
    if (activeSettings.watchFile.empty()) {
        return true;
    }
    // Not looked at yet (the first look waits for its interval): looked at now, whole.
    if (!fileWatch.started && fileWatch.path == activeSettings.watchFile) {
        if (fileWatch.listingToTake) {
            takeCompleteListing(now);
        } else if (!fileWatch.listing.active) {
            fileWatch.lastCheck = now;
            lookAtPathItself(now, unboundedTime);
        }
        if (fileWatch.listing.active) {
            shareOfListing(now, unboundedTime);
        }
    }
    logTakenListing();
    bool wellFormed = true;
    bool shown = false;
    std::size_t checkedBytes = 0;
    const Stopwatch stopwatch = startStopwatch();
    std::vector<WatchedFile>& files = filesToCheck();
    for (WatchedFile& file : files) {
        wellFormed = checkFile(file, shown, checkedBytes) && wellFormed;
    }
    const double milliseconds = stopwatch.milliseconds();
    if (!wellFormed) {
        forgetCheckedFiles();
        return false;
    }
    std::size_t checked = 0;
    std::size_t unchanged = 0;
    for (const WatchedFile& file : files) {
        checked += file.checked ? 1 : 0;
        unchanged += file.unchanged ? 1 : 0;
    }
    if (watchingFolder()) {
        char unread[96] = "";
        if (unchanged > 0) {
            std::snprintf(unread, sizeof unread, "; %zu of them unchanged since the game received them, not read again",
                          unchanged);
        }
        logLine(LogLevel::Info, "reload: %zu watched files are well-formed XML (%zu bytes, checked in %.3f ms%s)",
                checked + unchanged, checkedBytes, milliseconds, unread);
    } else if (checked == 1) {
        logLine(LogLevel::Info, "reload: %s is well-formed XML (%zu bytes, checked in %.3f ms)",
                logged(files.front().below).text, checkedBytes, milliseconds);
    } else if (unchanged == 1) {
        logLine(LogLevel::Info, "reload: %s is unchanged since the game received it, not read again",
                logged(files.front().below).text);
    }
    return true;
}

bool changedForTheGame(const WatchedFile& file) {
    return file.looked && file.checked && file.checkedStamp != file.gameStamp;
}

void keepReceivedVersions(std::uint32_t keep) {
    History history;
    std::size_t unchanged = 0;
    for (WatchedFile& file : fileWatch.files) {
        if (file.tooLarge && keep > 0) {
            logLine(LogLevel::Warn, "history: %s is over 64 MiB; no copy kept", logged(file.below).text);
        }
        if (file.unchanged) {
            file.unchanged = false;
            ++unchanged;
            // Received while no versions were kept: its copy is made now.
            if (keep > 0 && file.receivedCopy.empty() && file.receivedInMemory) {
                keepUnread(history, file, keep);
            }
            continue;
        }
        if (!file.checked) {
            continue;
        }
        try {
            const bool same = logChange(file);
            unchanged += same ? 1 : 0;
            Kept kept;
            // Unchanged since its copy was kept in this run: the copy still there is the newest.
            if (keep > 0 && same && !file.receivedCopy.empty() &&
                queryPath(file.receivedCopy).size == file.bytes.size()) {
                kept.copy = file.receivedCopy;
            } else if (keep > 0) {
                kept = keepVersion(history, file.keptAs, file.bytes, keep);
                if (kept.made) {
                    logLine(LogLevel::Info, "reload: kept %s as %s", logged(file.below).text, logged(kept.copy).text);
                }
            }
            remember(file, std::move(kept.copy));
        } catch (...) {
            logLine(LogLevel::Warn, "history: no memory to keep or compare %s", logged(file.below).text);
            file.bytes = {};
            file.checked = false;
        }
    }
    if (unchanged > 0) {
        logLine(LogLevel::Info, "reload: %zu watched files unchanged since the last reload", unchanged);
    }
}

void forgetCheckedFiles() {
    for (WatchedFile& file : fileWatch.files) {
        file.bytes = {};
        file.checked = false;
        file.unchanged = false;
    }
}

void resetFileWatch() {
    stopListing(fileWatch.listing);
    fileWatch = FileWatch{};
}
