#include "watch/file_watch.h"

#include <algorithm>
#include <utility>

#include "report/log.h"
#include "report/messages.h"
#include "settings/settings.h"
#include "watch/folder_listing.h"
#include "watch/kept_versions.h"
#include "watch/line_changes.h"
#include "xml/xml_check.h"

FileWatch fileWatch;

namespace {

constexpr std::size_t shownPathLimit = 64;
// Larger than any data file the game reads; a larger one is not checked.
constexpr std::uint64_t largestChecked = std::uint64_t{64} << 20;

bool watchingFolder() { return fileWatch.kind == WatchKind::folder; }

CleanText logged(const std::string& path) { return cleanText(path, loggedPathLimit); }

// How a file is named to the player: its path below the watched folder, or a
// single watched file's name.
const std::string& shownName(const WatchedFile& file) { return file.below; }

void tellMissing(const char* what) {
    if (fileWatch.toldMissing) {
        return;
    }
    fileWatch.toldMissing = true;
    logLine(LogLevel::Warn, "watch: watched %s not found: %s; no reload until it is there", what,
            logged(fileWatch.path).text);
    queueNotice("Brackenfold: watched %s not found: %s", what, cleanText(fileWatch.path, shownPathLimit).text);
}

WatchedFile singleFile(const std::string& path) {
    WatchedFile file;
    file.path = path;
    file.below = fileNameOf(path.c_str());
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

// One look at one file. `single`: the watched path is this file, whose absence is told.
void observe(WatchedFile& file, const FileStamp& stamp, std::uint32_t now, bool single) {
    file.lastLook = now;
    if (!file.looked) {
        file.looked = true;
        file.reloaded = stamp;
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

void logListing(const FolderListing& listing, std::size_t added, std::size_t dropped, bool first) {
    if (listing.tooManyEntries && !fileWatch.toldTooManyEntries) {
        fileWatch.toldTooManyEntries = true;
        logLine(LogLevel::Warn, "watch: listing %s stopped after %zu directory entries; the files found are watched",
                logged(fileWatch.path).text, listingEntries);
    }
    if (listing.tooManyFiles && !fileWatch.toldTooManyFiles) {
        fileWatch.toldTooManyFiles = true;
        logLine(LogLevel::Warn, "watch: %s holds more than %zu files named %s; the first %zu found are watched",
                logged(fileWatch.path).text, listingFiles, watchedFileName, listingFiles);
    }
    if (!first && added == 0 && dropped == 0) {
        return;
    }
    logLine(LogLevel::Info, "watch: listed %s: %zu watched files", logged(fileWatch.path).text, fileWatch.files.size());
    for (const WatchedFile& file : fileWatch.files) {
        logLine(LogLevel::Info, "watch:   %s", logged(file.below).text);
    }
}

// Lists the watched folder and takes its files in: new ones count as saved, except
// at the first look; those gone are dropped. A folder that cannot be listed is told
// missing, and the path is looked at as a single path from then on.
void listWatchedFolder(std::uint32_t now) {
    fileWatch.lastListing = now;
    FolderListing listing = listFolder(fileWatch.path);
    if (!listing.found) {
        if (watchingFolder()) {
            logLine(LogLevel::Info, "watch: %zu watched files dropped with their folder", fileWatch.files.size());
            dropAllFiles();
            // A file in its place is watched as one, and counts as saved.
            if (!lookAtPath(fileWatch.path.c_str()).file.exists) {
                tellMissing("folder");
            }
            fileWatch.kind = WatchKind::file;
            fileWatch.files.push_back(singleFile(fileWatch.path));
            fileWatch.files.back().looked = true;
        }
        fileWatch.lastCheck = now;
        return;
    }
    const bool first = !fileWatch.started;
    fileWatch.started = true;
    fileWatch.toldMissing = false;
    if (!watchingFolder()) {
        dropAllFiles();
        fileWatch.kind = WatchKind::folder;
    }
    std::vector<WatchedFile> files;
    files.reserve(listing.files.size());
    std::size_t added = 0;
    for (std::string& below : listing.files) {
        const auto known = std::find_if(fileWatch.files.begin(), fileWatch.files.end(),
                                        [&](const WatchedFile& file) { return file.below == below; });
        if (known != fileWatch.files.end()) {
            files.push_back(std::move(*known));
            known->below.clear();
            continue;
        }
        WatchedFile file;
        file.path = joinPath(fileWatch.path, below);
        file.below = std::move(below);
        // Its state before it appeared is "missing": its first look is a change.
        file.looked = !first;
        files.push_back(std::move(file));
        ++added;
    }
    std::size_t dropped = 0;
    for (WatchedFile& gone : fileWatch.files) {
        if (!gone.below.empty()) {
            ++dropped;
            logLine(LogLevel::Info, "watch: %s is no longer in %s; not watched", logged(gone.below).text,
                    logged(fileWatch.path).text);
            forget(gone);
        }
    }
    fileWatch.files = std::move(files);
    // The turn goes on where it was, so that no file waits longer for its look.
    fileWatch.nextLook = fileWatch.files.empty() ? 0 : fileWatch.nextLook % fileWatch.files.size();
    logListing(listing, added, dropped, first);
}

// The looks at a folder's files, in turn: as many as keep each file looked at every
// folderLookIntervalMs, at most `budget` of them. A look left for a later pass is
// made there.
void lookAtFolderFiles(std::uint32_t now, std::size_t budget) {
    const std::size_t count = fileWatch.files.size();
    const std::uint64_t round = std::uint64_t{count} * folderLookIntervalMs;
    fileWatch.lookCredit = std::min<std::uint64_t>(
        fileWatch.lookCredit + std::uint64_t{count} * (now - fileWatch.lastFolderLook), round);
    fileWatch.lastFolderLook = now;
    std::size_t looks = static_cast<std::size_t>(fileWatch.lookCredit / folderLookIntervalMs);
    looks = std::min(looks, budget);
    fileWatch.lookCredit -= std::uint64_t{looks} * folderLookIntervalMs;
    for (std::size_t look = 0; look < looks; ++look) {
        WatchedFile& file = fileWatch.files[fileWatch.nextLook];
        observe(file, readFileStamp(file.path.c_str()), now, false);
        fileWatch.nextLook = (fileWatch.nextLook + 1) % count;
    }
}

// The look at the watched path itself, while it is no folder.
void lookAtPathItself(std::uint32_t now) {
    const PathLook look = lookAtPath(fileWatch.path.c_str());
    if (look.folder) {
        listWatchedFolder(now);
        return;
    }
    if (fileWatch.kind != WatchKind::file || fileWatch.files.size() != 1) {
        dropAllFiles();
        fileWatch.kind = WatchKind::file;
        fileWatch.files.push_back(singleFile(fileWatch.path));
    }
    fileWatch.started = true;
    observe(fileWatch.files.front(), look.file, now, true);
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

// Reads and checks one file; false when it is not well-formed XML.
bool checkFile(WatchedFile& file, bool& shown, std::size_t& checkedBytes) {
    file.checked = false;
    file.bytes.clear();
    file.checkedStamp = readFileStamp(file.path.c_str());
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
// false when it cannot be had.
bool receivedBefore(const WatchedFile& file, std::string& before) {
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
    before.resize(static_cast<std::size_t>(stamp.size));
    return readWholeFile(file.receivedCopy.c_str(), before);
}

// Logs how the version just received differs from the one before; true when unchanged.
bool logChange(const WatchedFile& file) {
    const CleanText shown = logged(file.below);
    const char* const name = shown.text;
    if (!file.received) {
        logLine(LogLevel::Info, "reload: %s: first reload in this run (%zu lines)", name, countLines(file.bytes));
        return false;
    }
    std::string before;
    if (!receivedBefore(file, before)) {
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
    file.receivedCopy = std::move(copy);
    file.receivedInMemory = fileWatch.bytesInMemory + file.bytes.size() <= receivedBytesInMemory;
    if (file.receivedInMemory) {
        fileWatch.bytesInMemory += file.bytes.size();
        file.receivedBytes = std::move(file.bytes);
    }
    file.bytes = {};
    file.checked = false;
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
    if (watchingFolder()) {
        if (now - fileWatch.lastListing >= watchListingIntervalMs) {
            listWatchedFolder(now);
        }
        // A listing may have ended the folder's watch.
        if (watchingFolder()) {
            lookAtFolderFiles(now, queries);
        }
    } else if (now - fileWatch.lastCheck >= watchCheckIntervalMs) {
        fileWatch.lastCheck = now;
        lookAtPathItself(now);
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
            continue;
        }
        file.reloaded = settled && file.hasPending ? file.pending : file.checkedStamp;
        file.hasPending = false;
    }
}

bool watchedFileMayBeReloaded() {
    if (activeSettings.watchFile.empty()) {
        return true;
    }
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
    for (const WatchedFile& file : files) {
        checked += file.checked ? 1 : 0;
    }
    if (watchingFolder()) {
        logLine(LogLevel::Info, "reload: %zu watched files are well-formed XML (%zu bytes, checked in %.3f ms)",
                checked, checkedBytes, milliseconds);
    } else if (checked == 1) {
        logLine(LogLevel::Info, "reload: %s is well-formed XML (%zu bytes, checked in %.3f ms)",
                logged(files.front().below).text, checkedBytes, milliseconds);
    }
    return true;
}

void keepReceivedVersions(std::uint32_t keep) {
    History history;
    std::size_t unchanged = 0;
    for (WatchedFile& file : fileWatch.files) {
        if (file.tooLarge && keep > 0) {
            logLine(LogLevel::Warn, "history: %s is over 64 MiB; no copy kept", logged(file.below).text);
        }
        if (!file.checked) {
            continue;
        }
        try {
            unchanged += logChange(file) ? 1 : 0;
            Kept kept;
            if (keep > 0) {
                kept = keepVersion(history, keptName(file.below), file.bytes, keep);
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
    }
}

void resetFileWatch() { fileWatch = FileWatch{}; }
