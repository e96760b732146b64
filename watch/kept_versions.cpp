#include "watch/kept_versions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "keys/key_names.h"
#include "report/log.h"
#include "report/messages.h"
#include "watch/file_stamp.h"
#include "watch/folder_listing.h"

const char historyFolderName[] = "BrackenfoldHistory";

namespace {

constexpr std::size_t stampLength = 19;  // "yyyy-mm-dd_HH-MM-SS"
const char copyExtension[] = ".meta";
// Past this many copies within one second something else is wrong.
constexpr unsigned mostInOneSecond = 1000;

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isStamp(std::string_view text) {
    static const char shape[] = "dddd-dd-dd_dd-dd-dd";
    if (text.size() != stampLength) {
        return false;
    }
    for (std::size_t i = 0; i < stampLength; ++i) {
        if (shape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

bool olderThan(const KeptCopy& a, const KeptCopy& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
}

bool isFolder(const std::string& path) { return lookAtPath(path.c_str()).folder; }

// The history folder to use: BrackenfoldHistory beside the game, made when missing,
// or, when `fallback` or that cannot be had, %LOCALAPPDATA%\Brackenfold\History.
void openFolder(History& history, bool fallback) {
    history.opened = true;
    history.copies.clear();
    history.folder.clear();
    if (!fallback) {
        makeFolder(historyFolderName);
        if (isFolder(historyFolderName)) {
            history.primary = true;
            history.folder = historyFolderName;
        }
    }
    if (history.folder.empty()) {
        history.primary = false;
        const std::string local = environmentValue("LOCALAPPDATA");
        if (local.empty()) {
            logLine(LogLevel::Warn, "history: no folder %s and no LOCALAPPDATA; no copies are kept", historyFolderName);
            return;
        }
        const std::string own = joinPath(local, "Brackenfold");
        makeFolder(own);
        const std::string folder = joinPath(own, "History");
        makeFolder(folder);
        if (!isFolder(folder)) {
            logLine(LogLevel::Warn, "history: neither %s nor %s can be made; no copies are kept", historyFolderName,
                    cleanText(folder, loggedPathLimit).text);
            return;
        }
        history.folder = folder;
    }
    FolderEntry found;
    const FolderSearch search = openFolderSearch(history.folder, found);
    if (search == nullptr) {
        return;
    }
    try {
        do {
            KeptCopy copy = parseKeptCopy(found.name);
            if (!copy.name.empty() && !found.folder) {
                history.copies.push_back(std::move(copy));
            }
        } while (nextFolderEntry(search, found));
    } catch (...) {
        closeFolderSearch(search);
        throw;
    }
    closeFolderSearch(search);
}

enum class Written { done, nameTaken, failed };

Written writeNew(const std::string& path, std::string_view bytes) {
    const FileHandle file = openFile(path, FileOpen::createNew);
    if (file == nullptr) {
        return queryPath(path).exists ? Written::nameTaken : Written::failed;
    }
    const bool written = writeFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    closeFile(file);
    if (!written) {
        // Half a copy would pass for a version the game never had.
        deleteFile(path);
        return Written::failed;
    }
    return Written::done;
}

// Makes a new copy in the folder in use; the copy's entry, or an empty name. A copy
// within the same second as others takes the number after the highest of them, so
// that it sorts after every copy it follows, even one a cap has since deleted.
KeptCopy makeCopy(History& history, const std::string& name, std::string_view bytes, const LocalTime& now) {
    const std::string stamp = parseKeptCopy(keptCopyName(name, now, 1)).stamp;
    unsigned number = 1;
    for (const KeptCopy& copy : history.copies) {
        if (sameLetters(copy.name, name) && copy.stamp == stamp) {
            number = std::max(number, copy.number + 1);
        }
    }
    for (; number <= mostInOneSecond; ++number) {
        KeptCopy copy = parseKeptCopy(keptCopyName(name, now, number));
        const std::string path = joinPath(history.folder, copy.file);
        switch (writeNew(path, bytes)) {
        case Written::done:
            return copy;
        case Written::nameTaken:
            continue;
        case Written::failed:
            logLine(LogLevel::Warn, "history: %s cannot be written", cleanText(path, loggedPathLimit).text);
            return {};
        }
    }
    return {};
}

// Deletes the oldest copies of `name` beyond `keep`, never `made`, the copy just
// made: a clock set back would otherwise make it the oldest.
void deleteOldest(History& history, const std::string& name, const std::string& made, std::uint32_t keep) {
    std::vector<KeptCopy*> others;
    std::size_t count = 0;
    for (KeptCopy& copy : history.copies) {
        if (sameLetters(copy.name, name)) {
            ++count;
            if (copy.file != made) {
                others.push_back(&copy);
            }
        }
    }
    if (count <= keep) {
        return;
    }
    std::sort(others.begin(), others.end(), [](const KeptCopy* a, const KeptCopy* b) { return olderThan(*a, *b); });
    for (std::size_t i = 0; i < count - keep && i < others.size(); ++i) {
        const std::string path = joinPath(history.folder, others[i]->file);
        if (!deleteFile(path)) {
            logLine(LogLevel::Warn, "history: %s cannot be deleted", cleanText(path, loggedPathLimit).text);
        }
        others[i]->name.clear();
    }
    std::erase_if(history.copies, [](const KeptCopy& copy) { return copy.name.empty(); });
}

}  // namespace

std::string keptName(std::string_view below) {
    const std::size_t extension = sizeof copyExtension - 1;
    // A file named only ".meta" keeps it, so that its copies have a name.
    if (below.size() > extension && sameLetters(below.substr(below.size() - extension), copyExtension)) {
        below.remove_suffix(extension);
    }
    std::string name(below);
    std::replace(name.begin(), name.end(), '\\', '_');
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

namespace {

// A path's own mark, the same for either separator: FNV-1a, started anew for each
// `round` of marks.
std::string pathMark(std::string_view below, unsigned round) {
    std::uint32_t hash = 2'166'136'261u ^ round;
    for (const char c : below) {
        hash = (hash ^ static_cast<unsigned char>(c == '/' ? '\\' : c)) * 16'777'619u;
    }
    char mark[16];
    std::snprintf(mark, sizeof mark, "~%08x", static_cast<unsigned>(hash));
    return mark;
}

}  // namespace

std::vector<std::string> keptNames(const std::vector<std::string_view>& belows) {
    std::vector<std::string> names;
    names.reserve(belows.size());
    for (const std::string_view below : belows) {
        names.push_back(keptName(below));
    }
    // In listing order, names that meet (letter case aside) are neighbours.
    std::vector<std::size_t> order(names.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    // A name made with a mark could still meet another; each round marks anew.
    for (unsigned round = 0; round < 8; ++round) {
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return listedBefore(names[a], names[b]); });
        std::vector<bool> shared(names.size(), false);
        bool any = false;
        for (std::size_t i = 1; i < order.size(); ++i) {
            if (sameLetters(names[order[i - 1]], names[order[i]])) {
                shared[order[i - 1]] = shared[order[i]] = any = true;
            }
        }
        if (!any) {
            break;
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (shared[i]) {
                names[i] = keptName(belows[i]) + pathMark(belows[i], round);
            }
        }
    }
    return names;
}

std::string keptCopyName(std::string_view name, const LocalTime& time, unsigned number) {
    char stamp[64];
    const int length =
        std::snprintf(stamp, sizeof stamp, ".%04u-%02u-%02u_%02u-%02u-%02u", unsigned{time.year}, unsigned{time.month},
                      unsigned{time.day}, unsigned{time.hour}, unsigned{time.minute}, unsigned{time.second});
    if (number >= 2 && length > 0) {
        std::snprintf(stamp + length, sizeof stamp - static_cast<std::size_t>(length), "-%u", number);
    }
    std::string file(name);
    file += stamp;
    file += copyExtension;
    return file;
}

KeptCopy parseKeptCopy(std::string_view file) {
    KeptCopy copy;
    const std::size_t extension = sizeof copyExtension - 1;
    if (file.size() <= extension || file.substr(file.size() - extension) != copyExtension) {
        return copy;
    }
    std::string_view rest = file.substr(0, file.size() - extension);
    unsigned number = 1;
    const std::size_t dash = rest.rfind('-');
    const bool plain = rest.size() > stampLength && isStamp(rest.substr(rest.size() - stampLength));
    if (!plain && dash != std::string_view::npos) {
        const std::string_view digits = rest.substr(dash + 1);
        // "-2" and up, as they are written: no leading zero, no "-1".
        if (!isDigits(digits) || digits.size() > 4 || digits[0] == '0') {
            return copy;
        }
        number = static_cast<unsigned>(std::stoul(std::string(digits)));
        if (number < 2) {
            return copy;
        }
        rest = rest.substr(0, dash);
    }
    if (rest.size() < stampLength + 2 || !isStamp(rest.substr(rest.size() - stampLength)) ||
        rest[rest.size() - stampLength - 1] != '.') {
        return copy;
    }
    copy.file = std::string(file);
    copy.name = std::string(rest.substr(0, rest.size() - stampLength - 1));
    copy.stamp = std::string(rest.substr(rest.size() - stampLength));
    copy.number = number;
    return copy;
}

Kept keepVersion(History& history, const std::string& name, std::string_view bytes, std::uint32_t keep) {
    if (!history.opened) {
        openFolder(history, false);
    }
    if (history.folder.empty()) {
        return {};
    }
    const KeptCopy* newest = nullptr;
    for (const KeptCopy& copy : history.copies) {
        if (sameLetters(copy.name, name) && (newest == nullptr || olderThan(*newest, copy))) {
            newest = &copy;
        }
    }
    if (newest != nullptr) {
        // Read only when the sizes agree.
        const std::string path = joinPath(history.folder, newest->file);
        const FileStamp stamp = readFileStamp(path.c_str());
        std::string kept;
        if (stamp.exists && stamp.size == bytes.size()) {
            kept.resize(bytes.size());
            if (readWholeFile(path.c_str(), kept) && kept == bytes) {
                return {path, false};
            }
        }
    }
    const LocalTime now = localTime();
    KeptCopy copy = makeCopy(history, name, bytes, now);
    if (copy.name.empty() && history.primary) {
        openFolder(history, true);
        if (history.folder.empty()) {
            return {};
        }
        logLine(LogLevel::Warn, "history: %s cannot be written; copies go to %s", historyFolderName,
                cleanText(history.folder, loggedPathLimit).text);
        copy = makeCopy(history, name, bytes, now);
    }
    if (copy.name.empty()) {
        return {};
    }
    const std::string path = joinPath(history.folder, copy.file);
    const std::string made = copy.file;
    history.copies.push_back(std::move(copy));
    deleteOldest(history, name, made, std::max<std::uint32_t>(keep, 1));
    return {path, true};
}
