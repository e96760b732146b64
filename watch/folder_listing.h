// The files a watched folder holds: every file named VegetationModifiers.meta (any
// letter case) in it and below it, as a mod loader's folder lays out one folder per
// mod. Links and junctions (reparse points) are never followed, so a loop cannot
// trap the listing, and its cost is bounded by the caps below.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

extern const char watchedFileName[];  // "VegetationModifiers.meta"

// Folder levels entered below the watched folder.
inline constexpr std::size_t listingDepth = 8;
// Files listed at most; one more stops the listing.
inline constexpr std::size_t listingFiles = 64;
// Directory entries read at most in one listing ("." and ".." included).
inline constexpr std::size_t listingEntries = 4096;

struct FolderListing {
    bool found = false;               // the folder could be listed
    std::vector<std::string> files;   // paths below the folder, joined with "\", in listing order
    bool tooManyFiles = false;        // stopped at a file past listingFiles
    bool tooManyEntries = false;      // stopped after listingEntries entries
};

// Lists `folder` (as written: absolute, or relative to the current directory).
// Throws std::bad_alloc when memory runs out.
FolderListing listFolder(std::string_view folder);

// `folder` and a path below it joined with "\", without a doubled separator.
std::string joinPath(std::string_view folder, std::string_view below);

// Listing order: paths compared without regard to the letter case of A to Z.
bool listedBefore(std::string_view a, std::string_view b);
