#include "watch/folder_watch.h"

#include <algorithm>
#include <utility>

#include "history/kept_versions.h"
#include "report/log.h"
#include "report/messages.h"
#include "text/paths.h"
#include "watch/watch_state.h"

namespace {

constexpr std::size_t shownPathLimit = 64;

void tellCaps(const FolderListing& listing) {
    const CleanText shown = cleanText(fileWatch.path, shownPathLimit);
    if (listing.tooManyEntries && !fileWatch.toldTooManyEntries) {
        fileWatch.toldTooManyEntries = true;
        logLine(LogLevel::Warn, "watch: listing %s stopped after %zu directory entries; the files found are watched",
                logged(fileWatch.path).text, listingEntries);
        queueNotice("Brackenfold: %s holds more than %zu entries; some mods are not watched", shown.text,
                    listingEntries);
    }
    if (listing.tooManyFiles && !fileWatch.toldTooManyFiles) {
        fileWatch.toldTooManyFiles = true;
        logLine(LogLevel::Warn, "watch: %s holds more than %zu files named %s; the first %zu found are watched",
                logged(fileWatch.path).text, listingFiles, watchedFileName, listingFiles);
        queueNotice("Brackenfold: %s holds more than %zu files named %s; only %zu are watched", shown.text,
                    listingFiles, watchedFileName, listingFiles);
    }
}

// The watched path could not be listed (or went away while it was): a file in its
// place is watched as one, and counts as saved.
void takeMissingFolder(std::uint32_t now) {
    if (watchingFolder()) {
        logLine(LogLevel::Info, "watch: %zu watched files dropped with their folder", fileWatch.files.size());
        dropAllFiles();
        if (!lookAtPath(fileWatch.path.c_str()).file.exists) {
            tellMissing("folder");
        }
        fileWatch.kind = WatchKind::file;
        fileWatch.files.push_back(singleFile(fileWatch.path));
        takeAppeared(fileWatch.files.back());
    }
    fileWatch.lastCheck = now;
}

// Takes a complete listing in; gives the attribute queries it made.
std::size_t takeListing(std::uint32_t now) {
    fileWatch.lastListing = now;
    FolderListing listing = std::move(fileWatch.listing.result);
    fileWatch.listing.result = FolderListing{};
    // A folder listed over several passes may have gone away after it was opened.
    const std::size_t queries = fileWatch.listing.shares > 1 ? 1 : 0;
    if (!listing.found || (queries == 1 && !lookAtPath(fileWatch.path.c_str()).folder)) {
        takeMissingFolder(now);
        return queries;
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
    // Both are in listing order: the files known are found in one walk along them.
    auto known = fileWatch.files.begin();
    for (std::string& below : listing.files) {
        while (known != fileWatch.files.end() && listedBefore(known->below, below)) {
            ++known;
        }
        if (known != fileWatch.files.end() && known->below == below) {
            files.push_back(std::move(*known));
            known->below.clear();
            ++known;
            continue;
        }
        WatchedFile file;
        file.path = joinPath(fileWatch.path, below);
        file.below = std::move(below);
        if (!first) {
            takeAppeared(file);
        }
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
    std::vector<std::string_view> belows;
    belows.reserve(fileWatch.files.size());
    for (const WatchedFile& file : fileWatch.files) {
        belows.push_back(file.below);
    }
    std::vector<std::string> names = keptNames(belows);
    for (std::size_t i = 0; i < names.size(); ++i) {
        fileWatch.files[i].keptAs = std::move(names[i]);
    }
    // The turn goes on where it was, so that no file waits longer for its look.
    fileWatch.nextLook = fileWatch.files.empty() ? 0 : fileWatch.nextLook % fileWatch.files.size();
    tellCaps(listing);
    fileWatch.listingNext = first || added > 0 || dropped > 0 ? ListingNext::logFiles : ListingNext::nothing;
    return queries;
}

}  // namespace

std::size_t startFolderListing(std::uint32_t now, TimeBudget budget) {
    startListing(fileWatch.listing, fileWatch.path);
    return shareOfListing(now, budget);
}

std::size_t shareOfListing(std::uint32_t now, TimeBudget budget) {
    const TimeSpent spent{budget};
    if (!continueListing(fileWatch.listing, budget)) {
        return 0;
    }
    // Taking a listing in is work of its own: after a share that spent its budget, it waits a pass.
    if (spent.over()) {
        fileWatch.listingNext = ListingNext::takeIn;
        return 0;
    }
    return takeCompleteListing(now);
}

std::size_t takeCompleteListing(std::uint32_t now) {
    fileWatch.listingNext = ListingNext::nothing;
    const LogBlock lines;
    return takeListing(now);
}

void logTakenListing() {
    if (fileWatch.listingNext != ListingNext::logFiles) {
        return;
    }
    fileWatch.listingNext = ListingNext::nothing;
    // Every file named: one write, not one a line.
    const LogBlock lines;
    logLine(LogLevel::Info, "watch: listed %s: %zu watched files", logged(fileWatch.path).text, fileWatch.files.size());
    for (const WatchedFile& file : fileWatch.files) {
        logLine(LogLevel::Info, "watch:   %s", logged(file.below).text);
    }
}
