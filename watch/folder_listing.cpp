#include "watch/folder_listing.h"

#include <algorithm>
#include <cstring>

#include "text/letter_case.h"
#include "text/paths.h"

const char watchedFileName[] = "VegetationModifiers.meta";

namespace {

void closeSearch(ListingWork& work) {
    closeFolderSearch(work.search);
    work.search = nullptr;
}

// Takes one entry of the folder being read into the listing.
void take(ListingWork& work, const FolderEntry& entry) {
    FolderListing& listing = work.result;
    if (++listing.entries > listingEntries) {
        listing.tooManyEntries = true;
        closeSearch(work);
        return;
    }
    const char* const name = entry.name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || entry.link) {
        return;
    }
    if (entry.folder) {
        if (work.reading.depth < listingDepth) {
            work.pending.push_back({work.reading.below + name + "\\", work.reading.depth + 1});
        }
    } else if (sameLetters(name, watchedFileName)) {
        if (listing.files.size() == listingFiles) {
            listing.tooManyFiles = true;
            closeSearch(work);
            return;
        }
        listing.files.push_back(work.reading.below + name);
    }
}

}  // namespace

void startListing(ListingWork& work, std::string_view folder) {
    stopListing(work);
    work.folder.assign(folder);
    work.pending.clear();
    work.pending.push_back({"", 0});
    work.result = FolderListing{};
    work.shares = 0;
    work.active = true;
}

bool continueListing(ListingWork& work, TimeBudget budget) {
    FolderListing& listing = work.result;
    FolderEntry entry;
    const TimeSpent spent{budget};
    work.shares += work.active ? 1 : 0;
    work.lastShare = 0;
    while (work.active) {
        if (work.search != nullptr) {
            if (nextFolderEntry(work.search, entry)) {
                ++work.lastShare;
                take(work, entry);
            } else {
                closeSearch(work);
            }
        } else if (work.pending.empty() || listing.tooManyEntries || listing.tooManyFiles) {
            work.active = false;
            break;
        } else {
            const std::string path = joinPath(work.folder, work.pending.back().below);
            work.reading = std::move(work.pending.back());
            work.pending.pop_back();
            work.search = openFolderSearch(path, entry);
            // The watched folder is not there; a subfolder that went away since is skipped.
            if (work.search != nullptr) {
                ++work.lastShare;
                listing.found = true;
                take(work, entry);
            }
        }
        // Closing a folder, or one that could not be opened, reads no entry.
        if (work.lastShare > 0 && spent.over()) {
            break;
        }
    }
    if (work.active) {
        return false;
    }
    std::sort(listing.files.begin(), listing.files.end(),
              [](const std::string& a, const std::string& b) { return listedBefore(a, b); });
    return true;
}

void stopListing(ListingWork& work) {
    closeSearch(work);
    work.active = false;
}

FolderListing listFolder(std::string_view folder) {
    ListingWork work;
    try {
        startListing(work, folder);
        continueListing(work, unboundedTime);
    } catch (...) {
        stopListing(work);
        throw;
    }
    return std::move(work.result);
}
