#include "watch/file_watch.h"

#include <algorithm>

#include "host/kernel.h"
#include "watch/xml_check.h"
#include "report/log.h"
#include "report/messages.h"
#include "settings/settings.h"

FileWatch fileWatch;

namespace {

constexpr std::size_t shownPathLimit = 64;
// Larger than any data file the game reads; a larger one is not checked.
constexpr std::uint64_t largestChecked = std::uint64_t{64} << 20;

// Reads the file into `bytes`, sized to its length, sharing it with an editor
// that may still hold it open; `bytes` keeps what was read. False on a failed read.
bool readWhole(const std::string& path, std::string& bytes) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::size_t done = 0;
    bool failed = false;
    while (!failed && done < bytes.size()) {
        DWORD got = 0;
        const std::size_t step = std::min<std::size_t>(bytes.size() - done, std::size_t{1} << 24);
        failed = ReadFile(file, bytes.data() + done, static_cast<DWORD>(step), &got, nullptr) == 0;
        done += got;
        // Shorter than its size said: it shrank since, and what was read is checked.
        if (got == 0) {
            break;
        }
    }
    CloseHandle(file);
    bytes.resize(done);
    return !failed;
}

void tellMissing() {
    if (fileWatch.toldMissing) {
        return;
    }
    fileWatch.toldMissing = true;
    const std::string& path = fileWatch.path;
    logLine(LogLevel::Warn, "watch: watched file not found: %s; no reload until it is there",
            cleanText(path, loggedPathLimit).text);
    queueNotice("Brackenfold: watched file not found: %s", cleanText(path, shownPathLimit).text);
}

}  // namespace

bool pollWatchedFile(std::uint32_t now) {
    if (activeSettings.watchFile != fileWatch.path) {
        // Watched from the next check on, as a new file.
        const std::uint32_t lastCheck = fileWatch.lastCheck;
        resetFileWatch();
        fileWatch.path = activeSettings.watchFile;
        fileWatch.lastCheck = lastCheck;
        if (!fileWatch.path.empty()) {
            logLine(LogLevel::Info, "watch: watching %s", cleanText(fileWatch.path, loggedPathLimit).text);
        }
    }
    if (fileWatch.path.empty() || now - fileWatch.lastCheck < watchCheckIntervalMs) {
        return false;
    }
    fileWatch.lastCheck = now;
    const FileStamp stamp = readFileStamp(fileWatch.path.c_str());
    if (!fileWatch.started) {
        fileWatch.started = true;
        fileWatch.reloaded = stamp;
    } else if (stamp.exists && stamp != fileWatch.reloaded) {
        if (!fileWatch.hasPending || stamp != fileWatch.pending) {
            fileWatch.pending = stamp;
            fileWatch.hasPending = true;
            fileWatch.pendingSince = now;
        }
        fileWatch.toldMissing = false;
        return now - fileWatch.pendingSince >= watchQuietMs;
    }
    fileWatch.hasPending = false;
    if (stamp.exists) {
        fileWatch.toldMissing = false;
    } else {
        fileWatch.reloaded = stamp;
        tellMissing();
    }
    return false;
}

void markWatchedFileReloaded(bool settled) {
    if (fileWatch.path.empty() || !fileWatch.started) {
        return;
    }
    fileWatch.reloaded = settled && fileWatch.hasPending ? fileWatch.pending : readFileStamp(fileWatch.path.c_str());
    fileWatch.hasPending = false;
}

bool watchedFileMayBeReloaded() {
    const std::string& path = activeSettings.watchFile;
    if (path.empty()) {
        return true;
    }
    const CleanText shown = cleanText(path, loggedPathLimit);
    const FileStamp stamp = readFileStamp(path.c_str());
    if (!stamp.exists || stamp.size > largestChecked) {
        logLine(LogLevel::Warn, "reload: watched file %s %s; reloading without the XML check", shown.text,
                stamp.exists ? "is over 64 MiB" : "not found");
        return true;
    }
    std::string bytes;
    try {
        bytes.resize(static_cast<std::size_t>(stamp.size));
    } catch (...) {
        logLine(LogLevel::Warn, "reload: no memory to check the watched file %s; reloading without the XML check",
                shown.text);
        return true;
    }
    if (!readWhole(path, bytes)) {
        logLine(LogLevel::Warn, "reload: watched file %s cannot be read; reloading without the XML check",
                shown.text);
        return true;
    }
    const Stopwatch stopwatch = startStopwatch();
    const XmlCheck check = checkXml(bytes.data(), bytes.size());
    const double milliseconds = stopwatch.milliseconds();
    const char* const name = fileNameOf(path.c_str());
    if (!check.wellFormed) {
        logLine(LogLevel::Error, "reload: %s not reloaded: XML error at line %zu, column %zu: %s", name, check.line,
                check.column, check.what);
        tellPlayerBuilt("Brackenfold: %s not reloaded: XML error at line %zu, column %zu: %s", name, check.line,
                        check.column, check.what);
        return false;
    }
    logLine(LogLevel::Info, "reload: %s is well-formed XML (%zu bytes, checked in %.3f ms)", name, bytes.size(),
            milliseconds);
    return true;
}

void resetFileWatch() { fileWatch = FileWatch{}; }
