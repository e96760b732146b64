#include "watch/reload_check.h"

#include <cstdio>

#include "report/log.h"
#include "report/messages.h"
#include "settings/settings.h"
#include "watch/file_watch.h"
#include "watch/folder_watch.h"
#include "xml/xml_check.h"

namespace {

// How a file is named to the player: its path below the watched folder, or a
// single watched file's name.
const std::string& shownName(const WatchedFile& file) { return file.below; }

// The files the check before a reload reads: a folder's, or the watched path.
std::vector<WatchedFile>& filesToCheck() {
    if (!watchingFolder() && fileWatch.files.empty()) {
        fileWatch.files.push_back(singleFile(fileWatch.path));
    }
    return fileWatch.files;
}

// Whether the version the game received of `file` is what the file holds now, as
// its stamp tells, and is had for what follows a reload: kept, or in memory to be kept.
bool asReceived(const WatchedFile& file, const FileStamp& stamp, std::uint32_t keep) {
    return file.received != Received::none && stamp.exists && stamp == file.gameStamp &&
           (keep == 0 || file.received == Received::inMemory || !file.receivedCopy.empty());
}

// Reads and checks one file, unless it is as the game received it; false when it
// is not well-formed XML.
bool checkFile(WatchedFile& file, bool& shown, std::size_t& checkedBytes) {
    const FileStamp stamp = readFileStamp(file.path.c_str());
    startCheck(file, stamp, asReceived(file, stamp, activeSettings.keepVersions));
    if (file.check == Check::asReceived) {
        return true;
    }
    const std::string& name = shownName(file);
    if (stamp.size > largestChecked) {
        endCheck(file, Check::tooLarge);
    }
    if (!stamp.exists || file.check == Check::tooLarge) {
        logLine(LogLevel::Warn, "reload: watched file %s %s; reloading without the XML check", logged(file.path).text,
                stamp.exists ? "is over 64 MiB" : "not found");
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
    endCheck(file, Check::read);
    checkedBytes += file.bytes.size();
    return true;
}

// The verdict on a folder's files in one line, with figures only for what was read.
void logFolderVerdict(std::size_t checked, std::size_t unchanged, std::size_t bytes, double milliseconds) {
    const std::size_t total = checked + unchanged;
    const char* const files = total == 1 ? "file is" : "files are";
    if (total == 0) {
        logLine(LogLevel::Info, "reload: no watched file was checked");
    } else if (checked == 0) {
        logLine(LogLevel::Info, "reload: %zu watched %s well-formed XML, unchanged since the game received %s, not "
                "read again", total, files, total == 1 ? "it" : "them");
    } else if (unchanged == 0) {
        logLine(LogLevel::Info, "reload: %zu watched %s well-formed XML (%zu bytes, checked in %.3f ms)", total, files,
                bytes, milliseconds);
    } else {
        logLine(LogLevel::Info, "reload: %zu watched %s well-formed XML (%zu bytes, checked in %.3f ms; %zu of them "
                "unchanged since the game received them, not read again)", total, files, bytes, milliseconds,
                unchanged);
    }
}

}  // namespace

bool watchedFileMayBeReloaded(std::uint32_t now) {
    if (activeSettings.watchFile.empty()) {
        return true;
    }
    // Not looked at yet (the first look waits for its interval): looked at now, whole.
    if (!fileWatch.started && fileWatch.path == activeSettings.watchFile) {
        if (fileWatch.listingNext == ListingNext::takeIn) {
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
        checked += file.check == Check::read ? 1 : 0;
        unchanged += file.check == Check::asReceived ? 1 : 0;
    }
    if (watchingFolder()) {
        logFolderVerdict(checked, unchanged, checkedBytes, milliseconds);
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
    return file.edits != Edits::unseen && file.check == Check::read && file.checkedStamp != file.gameStamp;
}

void forgetCheckedFiles() {
    for (WatchedFile& file : fileWatch.files) {
        dropCheck(file);
    }
}

