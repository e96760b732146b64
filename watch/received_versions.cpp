#include "watch/received_versions.h"

#include <cstdio>
#include <utility>

#include "history/kept_versions.h"
#include "history/line_changes.h"
#include "report/log.h"
#include "watch/watch_state.h"

namespace {

// The version the game received before this one, in memory or read from its copy;
// false when it cannot be had. `read` holds it when it had to be read back.
bool receivedBefore(const WatchedFile& file, std::string& read, std::string_view& before) {
    if (file.received == Received::inMemory) {
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
    if (file.received == Received::none) {
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
    char lines[64];
    if (change.first == change.last) {
        std::snprintf(lines, sizeof lines, "line %zu", change.first);
    } else {
        std::snprintf(lines, sizeof lines, "lines %zu-%zu", change.first, change.last);
    }
    logLine(LogLevel::Info, "reload: %s: changed at %s (%zu lines before, %zu now)", name, lines, change.linesBefore,
            change.linesAfter);
    return false;
}

// The version just received becomes the one before the next: in memory while all
// files together stay within the budget, otherwise only in its copy.
void remember(WatchedFile& file, std::string copy) {
    forget(file);
    const bool inMemory = fileWatch.bytesInMemory + file.bytes.size() <= receivedBytesInMemory;
    if (inMemory) {
        fileWatch.bytesInMemory += file.bytes.size();
    }
    takeReceived(file, std::move(copy), inMemory);
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

void keepReceivedVersions(std::uint32_t keep) {
    History history;
    std::size_t unchanged = 0;
    for (WatchedFile& file : fileWatch.files) {
        if (file.check == Check::tooLarge && keep > 0) {
            logLine(LogLevel::Warn, "history: %s is over 64 MiB; no copy kept", logged(file.below).text);
        }
        if (file.check == Check::asReceived) {
            dropCheck(file);
            ++unchanged;
            // Received while no versions were kept: its copy is made now.
            if (keep > 0 && file.receivedCopy.empty() && file.received == Received::inMemory) {
                keepUnread(history, file, keep);
            }
            continue;
        }
        if (file.check != Check::read) {
            dropCheck(file);
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
            dropCheck(file);
        }
    }
    if (unchanged > 0) {
        logLine(LogLevel::Info, "reload: %zu watched file%s unchanged since the last reload", unchanged,
                unchanged == 1 ? "" : "s");
    }
}

