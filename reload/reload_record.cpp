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
#include "text/clean_text.h"
#include "watch/reload_check.h"
#include "watch/watch_state.h"

const char reloadRecordName[] = "Brackenfold.reloading";
const char routineCallLine[] = "reload: calling the game routine";
const char routineReturnLine[] = "reload: the game routine returned";

namespace {

const char recordTitle[] = "Brackenfold reload under way";
// A record larger than this was not written by the plug-in.
constexpr std::uint64_t largestRecord = 64 * 1024;
constexpr std::size_t shownNameLimit = 120;

// What the record on disk holds, as far as this run knows.
enum class Record : std::uint8_t {
    absent,    // not held this run: it could not be made, or the plug-in is not started
    empty,     // held open and empty: no reload under way
    underway,  // holds the reload whose routine is being called
    leftFull,  // may hold a reload whose routine returned: the disk refused to empty it
};

// What the script asks of the record.
enum class Ask : std::uint8_t { open, write, empty, close };

FileHandle recordFile = nullptr;
Record state = Record::absent;
// Assigned only at start-up.
std::string recordPath;
char record[32 * 1024];
bool toldUnwritten = false;

// Every move between the record's states: what the disk took decides the state.
void moveRecord(Ask ask, std::size_t size = 0) {
    switch (ask) {
    case Ask::open:
        recordFile = openFile(recordPath, FileOpen::replace);
        state = recordFile != nullptr ? Record::empty : Record::absent;
        break;
    case Ask::write:
        if (state != Record::absent) {
            state = rewriteFile(recordFile, record, static_cast<std::uint32_t>(size)) ? Record::underway
                                                                                      : Record::leftFull;
        }
        break;
    case Ask::empty:
        if (state == Record::underway || state == Record::leftFull) {
            state = rewriteFile(recordFile, nullptr, 0) ? Record::empty : Record::leftFull;
        }
        break;
    case Ask::close:
        if (state != Record::absent) {
            closeFile(recordFile);
            recordFile = nullptr;
            deleteFile(recordPath);
            state = Record::absent;
        }
        break;
    }
}

// What the last run's log says of its last reload.
enum class Witness : std::uint8_t {
    silent,     // no log of the last run, or no reload in it
    stopped,    // its routine was called and did not return
    returned,   // its routine returned
    notHeld,    // the last run could not hold the record: what is there is older, and was told then
};

// The text of a log line after "[HH:MM:SS.mmm] LEVEL ".
std::string_view lineText(std::string_view line) {
    const std::size_t level = line.find("] ");
    const std::size_t text = level == std::string_view::npos ? level : line.find(' ', level + 2);
    return text == std::string_view::npos ? std::string_view() : line.substr(text + 1);
}

// The line a start logs when it cannot hold the record.
const char notHeld[] = "cannot be made";
bool isNotHeldLine(std::string_view line) {
    const std::string_view reload = "reload: ";
    line = line.starts_with(reload) ? line.substr(reload.size()) : std::string_view();
    return line.starts_with(reloadRecordName) && line.substr(sizeof reloadRecordName).starts_with(notHeld);
}

Witness askLastRunsLog() {
    if (!lastRunLogKept()) {
        return Witness::silent;
    }
    // Its newest lines are in the first file; a reload before the log went on to it, in the second.
    for (const char* name : {previousLogFileName, previousKeptLogFileName}) {
        const std::string path = std::string(logFolder()) + name;
        const PathInfo info = queryPath(path);
        std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(info.size, 2 * logCapacity)), '\0');
        if (!info.exists || info.folder || !readWholeFile(path, text)) {
            return Witness::silent;
        }
        Witness said = Witness::silent;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            const std::string_view line = lineText(std::string_view(text).substr(start, end - start));
            start = end + 1;
            if (line.starts_with(routineCallLine)) {
                said = Witness::stopped;
            } else if (line.starts_with(routineReturnLine)) {
                said = Witness::returned;
            } else if (isNotHeldLine(line)) {
                return Witness::notHeld;
            }
        }
        if (said != Witness::silent) {
            return said;
        }
    }
    return Witness::silent;
}

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
    if (text.compare(0, title.size(), title) != 0) {
        return;
    }
    switch (askLastRunsLog()) {
    case Witness::returned:
        logLine(LogLevel::Info, "reload: %s was left full, but the last run's log shows the game routine returned "
                                "(the disk refused to empty the record); no stop to tell", reloadRecordName);
        return;
    case Witness::notHeld:
        logLine(LogLevel::Info, "reload: %s was left full by an earlier run, which the last run's start told; "
                                "nothing more to tell", reloadRecordName);
        return;
    case Witness::silent:
    case Witness::stopped:
        tellStopped(std::string_view(text).substr(title.size()));
        return;
    }
}

// Appends a printf-formatted line to the record; false when it does not fit.
bool addLine(std::size_t& size, const char* format, ...) BRACKENFOLD_PRINTF(2, 3);
bool addLine(std::size_t& size, const char* format, ...) {
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
    state = Record::absent;
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
    moveRecord(Ask::open);
    if (state == Record::absent) {
        logLine(LogLevel::Warn, "reload: %s %s%s; a game stopped during a reload will not be told",
                reloadRecordName, notHeld, failureText(lastFailure()).text);
    }
}

void recordReloadUnderway() {
    if (state == Record::absent) {
        return;
    }
    std::size_t changed = 0;
    for (const WatchedFile& file : fileWatch.files) {
        changed += changedForTheGame(file) ? 1 : 0;
    }
    std::size_t size = 0;
    addLine(size, "%s\nchanged %zu\n", recordTitle, changed);
    for (const WatchedFile& file : fileWatch.files) {
        if (changedForTheGame(file) &&
            !addLine(size, "file\t%s\t%s\n", file.below.c_str(), file.receivedCopy.c_str())) {
            break;
        }
    }
    moveRecord(Ask::write, size);
    if (state != Record::underway && !toldUnwritten) {
        toldUnwritten = true;
        logLine(LogLevel::Warn, "reload: %s cannot be written; a game stopped during a reload will not be told",
                reloadRecordName);
    }
}

void clearReloadRecord() { moveRecord(Ask::empty); }

void tendReloadRecord() {
    if (state == Record::leftFull) {
        moveRecord(Ask::empty);
    }
}

void closeReloadRecord() {
    // Emptied first: a delete refused leaves an empty record, which tells nothing.
    moveRecord(Ask::empty);
    moveRecord(Ask::close);
}
