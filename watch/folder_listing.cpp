#include "watch/folder_listing.h"

#include <algorithm>
#include <cstring>

#include "host/kernel.h"
#include "keys/key_names.h"

const char watchedFileName[] = "VegetationModifiers.meta";

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

struct Pending {
    std::string below;  // the folder's path below the watched one, with a final "\" unless empty
    std::size_t depth;
};

}  // namespace

std::string joinPath(std::string_view folder, std::string_view below) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        folder.remove_suffix(1);
    }
    std::string path;
    path.reserve(folder.size() + 1 + below.size());
    path.append(folder).append("\\").append(below);
    return path;
}

bool listedBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return lower(a[i]) < lower(b[i]);
        }
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

FolderListing listFolder(std::string_view folder) {
    FolderListing listing;
    std::size_t entries = 0;
    std::vector<Pending> pending{{"", 0}};
    while (!pending.empty() && !listing.tooManyEntries && !listing.tooManyFiles) {
        const Pending at = std::move(pending.back());
        pending.pop_back();
        WIN32_FIND_DATAA found{};
        const HANDLE search = FindFirstFileA(joinPath(folder, at.below + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            // The watched folder is not there; a subfolder that went away since is skipped.
            continue;
        }
        listing.found = true;
        do {
            if (++entries > listingEntries) {
                listing.tooManyEntries = true;
                break;
            }
            const char* const name = found.cFileName;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 ||
                (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                continue;
            }
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                if (at.depth < listingDepth) {
                    pending.push_back({at.below + name + "\\", at.depth + 1});
                }
            } else if (sameLetters(name, watchedFileName)) {
                if (listing.files.size() == listingFiles) {
                    listing.tooManyFiles = true;
                    break;
                }
                listing.files.push_back(at.below + name);
            }
        } while (FindNextFileA(search, &found) != 0);
        FindClose(search);
    }
    std::sort(listing.files.begin(), listing.files.end(),
              [](const std::string& a, const std::string& b) { return listedBefore(a, b); });
    return listing;
}
