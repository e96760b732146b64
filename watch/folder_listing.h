// The files a watched folder holds: every file named VegetationModifiers.meta (any
// letter case) in it and below it, as a mod loader's folder lays out one folder per
// mod. Links and junctions (reparse points) are never followed, so a loop cannot
// trap the listing, and its cost is bounded by the caps below.
//
// A listing is a piece of work spread over the script's passes, because a mod
// folder holds thousands of entries and the game pays for each pass in its frame:
// one share reads entries until its time budget is spent, checked after each entry
// read and each folder opened (opening one costs several entries' time), and holds
// one folder open between shares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/kernel.h"
#include "watch/time_budget.h"

extern const char watchedFileName[];  // "VegetationModifiers.meta"

// Folder levels entered below the watched folder.
inline constexpr std::size_t listingDepth = 8;
// Files listed at most; one more stops the listing.
inline constexpr std::size_t listingFiles = 64;
// Directory entries read at most in one listing ("." and ".." included).
inline constexpr std::size_t listingEntries = 65'536;

struct FolderListing {
    bool found = false;               // the folder could be listed
    std::vector<std::string> files;   // paths below the folder, joined with "\", in listing order
    bool tooManyFiles = false;        // stopped at a file past listingFiles
    bool tooManyEntries = false;      // stopped after listingEntries entries
    std::size_t entries = 0;          // directory entries read
};

// A listing under way. Only the script uses it; `stopListing` before dropping one
// that is active, so that its open folder is closed.
struct ListingWork {
    struct Pending {
        std::string below;  // the folder's path below the watched one, with a final "\" unless empty
        std::size_t depth = 0;
    };
    bool active = false;
    std::string folder;              // the watched folder, as written
    FolderSearch search = nullptr;   // the folder being read, between shares too
    Pending reading;                 // which folder that is
    std::vector<Pending> pending;    // folders still to read
    std::size_t shares = 0;          // shares of work done on it so far
    std::size_t lastShare = 0;       // entries the last share read (a folder opened reads its first)
    FolderListing result;
};

// Starts listing `folder` (as written: absolute, or relative to the current
// directory); a listing under way is stopped first.
void startListing(ListingWork& work, std::string_view folder);

// One share of the work: reads entries until `budget` is spent, and at least one,
// so that a listing always completes. True when the listing is complete:
// `work.result` holds it, its files in listing order, and no folder is held open.
// Throws std::bad_alloc when memory runs out, leaving the work where it was.
bool continueListing(ListingWork& work, TimeBudget budget);

// Drops a listing under way, closing the folder it holds open.
void stopListing(ListingWork& work);

// Lists `folder` whole, at once. Throws std::bad_alloc when memory runs out.
FolderListing listFolder(std::string_view folder);
