#include "reload/reload_record.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "host/kernel.h"
#include "report/log.h"
#include "report/messages.h"
#include "watch/file_watch.h"

const char reloadRecordName[] = "Brackenfold.reloading";

namespace {

const char recordTitle[] = "Brackenfold reload under way";
// A record larger than this was not written by the plug-in.
constexpr std::uint64_t largestRecord = 64 * 1024;
constexpr std::size_t shownNameLimit = 120;

FileHandle recordFile = nullptr;
// Assigned only at start-up.
std::string recordPath;
char record[32 * 1024];
bool toldUnwritten = false;

// What a record says: how many files had changed, and the first of those it names.
struct Stopped {
    std::size_t changed = 0;
    std::size_t named = 0;
    bool anyBefore = false;
    std::string first;
    std::string firstBefore;
};

// One "file\t<below>\t<before>" line of a record: the file that had changed, and
// the copy of the version the game had before it (empty when none was kept).
bool readFileLine(std::string_view line, std::string_view& below, std::string_view& before) {
    const std::string_view prefix = "file\t";
    const std::size_t tab = line.find('\t', prefix.size());
    if (line.substr(0, prefix.size()) != prefix || tab == std::string_view::npos) {
        return false;
    }
    below = line.substr(prefix.size(), tab - prefix.size());
    before = line.substr(tab + 1);
    return true;
}

void tellStopped(std::string_view text) {
    Stopped stopped;
    logLine(LogLevel::Warn, "reload: the game stopped during the last reload: its routine was called and did not "
                            "return (%s was left full)", reloadRecordName);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        std::string_view below;
        std::string_view before;
        if (line.substr(0, 8) == "changed ") {
            stopped.changed = std::strtoul(std::string(line.substr(8)).c_str(), nullptr, 10);
        } else if (readFileLine(line, below, before)) {
            if (stopped.named++ == 0) {
                stopped.first.assign(below);
                stopped.firstBefore.assign(before);
            }
            stopped.anyBefore = stopped.anyBefore || !before.empty();
            const CleanText name = cleanText(below.data(), below.size(), loggedPathLimit);
            if (before.empty()) {
                logLine(LogLevel::Warn, "reload:   %s had changed; no version before it was kept in that run",
                        name.text);
            } else {
                logLine(LogLevel::Warn, "reload:   %s had changed; the version before is %s", name.text,
                        cleanText(before.data(), before.size(), loggedPathLimit).text);
            }
        }
    }
    stopped.changed = std::max(stopped.changed, stopped.named);
    if (stopped.changed > stopped.named) {
        logLine(LogLevel::Warn, "reload:   and %zu more changed files, not named in the record",
                stopped.changed - stopped.named);
    }
    const CleanText first = cleanText(stopped.first, shownNameLimit);
    if (stopped.named == 0) {
        queueNotice("Brackenfold: the game stopped during the last reload");
    } else if (stopped.changed > 1) {
        queueNotice("Brackenfold: the game stopped during the last reload (%s and %zu more watched files had "
                    "changed); the log names them%s",
                    first.text, stopped.changed - 1, stopped.anyBefore ? " and the versions before" : "");
    } else if (stopped.firstBefore.empty()) {
        queueNotice("Brackenfold: the game stopped during the last reload (%s had changed)", first.text);
    } else {
        queueNotice("Brackenfold: the game stopped during the last reload (%s had changed); the version before is %s",
                    first.text, cleanText(stopped.firstBefore, shownNameLimit).text);
    }
}

// The last run's record, when it holds a reload.
void readLastRecord() {
    const PathInfo info = queryPath(recordPath);
    if (!info.exists || info.folder || info.size == 0 || info.size > largestRecord) {
        return;
    }
    std::string text(static_cast<std::size_t>(info.size), '\0');
    if (!readWholeFile(recordPath, text)) {
        return;
    }
    const std::string_view title = recordTitle;
    if (text.compare(0, title.size(), title) == 0) {
        tellStopped(std::string_view(text).substr(title.size()));
    }
}

// Appends a printf-formatted line to the record; false when it does not fit.
bool append(std::size_t& size, const char* format, ...) BRACKENFOLD_PRINTF(2, 3);
bool append(std::size_t& size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(record + size, sizeof record - size, format, arguments);
    va_end(arguments);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof record - size) {
        record[size] = '\0';
        return false;
    }
    size += static_cast<std::size_t>(length);
    return true;
}

}  // namespace

void openReloadRecord() {
    closeFile(recordFile);
    recordFile = nullptr;
    toldUnwritten = false;
    if (logPath()[0] == '\0') {
        return;
    }
    try {
        recordPath = std::string(logFolder()) + reloadRecordName;
        readLastRecord();
    } catch (...) {
        logLine(LogLevel::Warn, "reload: no memory to read %s", reloadRecordName);
    }
    recordFile = openFile(recordPath, FileOpen::replace);
    if (recordFile == nullptr) {
        logLine(LogLevel::Warn, "reload: %s cannot be made; a game stopped during a reload will not be told",
                reloadRecordName);
    }
}

void recordReloadUnderway() {
    if (recordFile == nullptr) {
        return;
    }
    std::size_t changed = 0;
    for (const WatchedFile& file : fileWatch.files) {
        changed += changedForTheGame(file) ? 1 : 0;
    }
    std::size_t size = 0;
    append(size, "%s\nchanged %zu\n", recordTitle, changed);
    for (const WatchedFile& file : fileWatch.files) {
        if (changedForTheGame(file) &&
            !append(size, "file\t%s\t%s\n", file.below.c_str(), file.received ? file.receivedCopy.c_str() : "")) {
            break;
        }
    }
    if (!rewriteFile(recordFile, record, static_cast<std::uint32_t>(size)) && !toldUnwritten) {
        toldUnwritten = true;
        logLine(LogLevel::Warn, "reload: %s cannot be written; a game stopped during a reload will not be told",
                reloadRecordName);
    }
}

void clearReloadRecord() {
    // A record left full would tell the next start of a stop that never was.
    if (recordFile != nullptr && !rewriteFile(recordFile, nullptr, 0)) {
        closeReloadRecord();
    }
}

void closeReloadRecord() {
    if (recordFile == nullptr) {
        return;
    }
    closeFile(recordFile);
    recordFile = nullptr;
    deleteFile(recordPath);
}
