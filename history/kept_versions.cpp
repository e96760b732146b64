#include "history/kept_versions.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "place/own_files.h"
#include "report/log.h"
#include "text/clean_text.h"
#include "text/letter_case.h"
#include "text/paths.h"

const char historyFolderName[] = "BrackenfoldHistory";

namespace {

constexpr std::size_t stampLength = 19;  // "yyyy-mm-dd_HH-MM-SS"
const char copyExtension[] = ".meta";
// A copy being written: its copy's name with this ending until it is whole.
const char partEnding[] = ".partial";
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

// A copy's name with the part's ending: what a write that failed and could not be deleted leaves.
bool isPart(std::string_view file) {
    const std::size_t ending = sizeof partEnding - 1;
    return file.size() > ending && file.substr(file.size() - ending) == partEnding &&
           !parseKeptCopy(file.substr(0, file.size() - ending)).name.empty();
}

bool olderThan(const KeptCopy& a, const KeptCopy& b) {
    return a.stamp != b.stamp ? a.stamp < b.stamp : a.number < b.number;
}

bool isFolder(const std::string& path) { return queryPath(path).folder; }

// Parts of copies that refused deletes left behind: no version, removed at the next
// listing. Only a copy's name with the part's ending is ever touched.
void removeParts(const History& history, const std::vector<std::string>& parts) {
    std::size_t removed = 0;
    for (const std::string& part : parts) {
        removed += deleteFile(joinPath(history.folder, part)) ? 1 : 0;
    }
    if (removed > 0) {
        logLine(LogLevel::Info, "history: removed %zu unfinished cop%s (%s) that an earlier failure left", removed,
                removed == 1 ? "y" : "ies", partEnding);
    }
}

// The history folder to use: BrackenfoldHistory beside the plug-in, made when
// missing, or, when `fallback` or that cannot be had, %LOCALAPPDATA%\Brackenfold\History.
void openFolder(History& history, bool fallback) {
    history.opened = true;
    history.copies.clear();
    history.folder.clear();
    const std::string primary = ownFile(historyFolderName);
    if (!fallback) {
        makeFolder(primary);
        if (isFolder(primary)) {
            history.primary = true;
            history.folder = primary;
        }
    }
    if (history.folder.empty()) {
        history.primary = false;
        const std::string own = fallbackFolder();
        if (own.empty()) {
            logLine(LogLevel::Warn, "history: %s %s and there is no LOCALAPPDATA; no copies are kept",
                    cleanText(primary, loggedPathLimit).text, fallback ? "refuses new files" : "cannot be made");
            return;
        }
        const std::string folder = joinPath(own, "History");
        makeFolder(folder);
        if (!isFolder(folder)) {
            logLine(LogLevel::Warn, "history: neither %s nor %s can be written; no copies are kept",
                    cleanText(primary, loggedPathLimit).text, cleanText(folder, loggedPathLimit).text);
            return;
        }
        history.folder = folder;
    }
    FolderEntry found;
    const FolderSearch search = openFolderSearch(history.folder, found);
    if (search == nullptr) {
        return;
    }
    std::vector<std::string> parts;
    try {
        do {
            if (found.folder) {
                continue;
            }
            KeptCopy copy = parseKeptCopy(found.name);
            if (!copy.name.empty()) {
                history.copies.push_back(std::move(copy));
            } else if (isPart(found.name)) {
                parts.emplace_back(found.name);
            }
        } while (nextFolderEntry(search, found));
    } catch (...) {
        closeFolderSearch(search);
        throw;
    }
    closeFolderSearch(search);
    removeParts(history, parts);
}

// How making a copy ended: made, or not, and then whether the folder refuses new
// files altogether (a folder without rights), which sends copies elsewhere.
enum class Made { done, failed, folderRefuses };

// Writes `bytes` whole under the copy's name with the part's ending, then gives it
// the first free copy's name of `name` from `number` on: a copy's name never holds
// less than a version the game received.
Made writeWhole(History& history, const std::string& name, std::string_view bytes, const LocalTime& now,
                unsigned number, KeptCopy& made) {
    const std::string part = joinPath(history.folder, keptCopyName(name, now, number) + partEnding);
    const FileHandle file = openFile(part, FileOpen::replace);
    if (file == nullptr) {
        const Failure failure = lastFailure();
        logLine(LogLevel::Warn, "history: %s cannot be made%s", cleanText(part, loggedPathLimit).text,
                failureText(failure).text);
        return failure.kind == FailureKind::accessDenied ? Made::folderRefuses : Made::failed;
    }
    const bool written = writeFile(file, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    const Failure writeFailure = lastFailure();
    closeFile(file);
    const char* what = "cannot be written";
    FailureText reason = failureText(writeFailure);
    if (written) {
        for (; number <= mostInOneSecond; ++number) {
            KeptCopy copy = parseKeptCopy(keptCopyName(name, now, number));
            const std::string path = joinPath(history.folder, copy.file);
            if (moveFile(part, path, FileMove::keepExisting)) {
                made = std::move(copy);
                return Made::done;
            }
            reason = failureText(lastFailure());
            if (!queryPath(path).exists) {
                break;
            }
        }
        what = "cannot take its copy's name";
    }
    // Half a copy would pass for a version the game never had; a part that stays is no copy.
    const bool removed = deleteFile(part);
    logLine(LogLevel::Warn, "history: %s %s%s; this version is not kept%s", cleanText(part, loggedPathLimit).text,
            what, reason.text, removed ? "" : ", and the part left is no copy: the next copy made removes it");
    return Made::failed;
}

// Makes a new copy in the folder in use; the copy's entry, or an empty name. A copy
// within the same second as others takes the number after the highest of them, so
// that it sorts after every copy it follows, even one a cap has since deleted.
Made makeCopy(History& history, const std::string& name, std::string_view bytes, const LocalTime& now,
              KeptCopy& made) {
    const std::string stamp = parseKeptCopy(keptCopyName(name, now, 1)).stamp;
    unsigned number = 1;
    for (const KeptCopy& copy : history.copies) {
        if (sameLetters(copy.name, name) && copy.stamp == stamp) {
            number = std::max(number, copy.number + 1);
        }
    }
    return writeWhole(history, name, bytes, now, number, made);
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
        const PathInfo stamp = queryPath(path);
        std::string kept;
        if (stamp.exists && !stamp.folder && stamp.size == bytes.size()) {
            kept.resize(bytes.size());
            if (readWholeFile(path.c_str(), kept) && kept == bytes) {
                return {path, false};
            }
        }
    }
    const LocalTime now = localTime();
    KeptCopy copy;
    Made made = makeCopy(history, name, bytes, now, copy);
    if (made == Made::folderRefuses && history.primary) {
        openFolder(history, true);
        if (history.folder.empty()) {
            return {};
        }
        logLine(LogLevel::Warn, "history: %s refuses new files; copies go to %s",
                cleanText(ownFile(historyFolderName), loggedPathLimit).text,
                cleanText(history.folder, loggedPathLimit).text);
        made = makeCopy(history, name, bytes, now, copy);
    }
    if (made != Made::done) {
        return {};
    }
    const std::string path = joinPath(history.folder, copy.file);
    const std::string file = copy.file;
    history.copies.push_back(std::move(copy));
    deleteOldest(history, name, file, std::max<std::uint32_t>(keep, 1));
    return {path, true};
}
