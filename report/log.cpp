#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/kernel.h"
#include "host/utf8.h"
#include "place/own_files.h"

const char logFileName[] = "Brackenfold.log";
const char keptLogFileName[] = "Brackenfold.1.log";
const char previousLogFileName[] = "Brackenfold.previous.log";
const char previousKeptLogFileName[] = "Brackenfold.previous.1.log";

namespace {

FileHandle logFile = nullptr;
// Assigned only when a log opens; emptied, which frees nothing, when it closes.
std::string openedFolder;
std::string openedPath;
std::string keptPath;
std::size_t written = 0;

const char* const levelNames[] = {"INFO", "WARN", "ERROR"};

// The lines a fresh file repeats, part by part, as they were written.
struct HeadingPart {
    char text[16 * 1024];
    std::size_t size = 0;
};
HeadingPart heading[2];
int recording = -1;  // the part being recorded, or none

// The lines of a LogBlock not yet handed to the operating system.
char block[16 * 1024];
std::size_t blockSize = 0;
int blocks = 0;  // LogBlocks alive

// "[HH:MM:SS.mmm] LEVEL " followed by `text`, cut to fit, and a line feed.
std::size_t formatLine(char (&line)[logLineCapacity + 1], LogLevel level, const char* text) {
    const LocalTime now = localTime();
    const int length = std::snprintf(line, sizeof line, "[%02u:%02u:%02u.%03u] %s %s", unsigned{now.hour},
                                     unsigned{now.minute}, unsigned{now.second}, unsigned{now.millisecond},
                                     levelNames[static_cast<int>(level)], text);
    std::size_t size = length < 0 ? 0 : static_cast<std::size_t>(length);
    if (size > logLineCapacity - 1) {
        size = cutBetweenCharacters(std::string_view(line, size), logLineCapacity - 1);
    }
    line[size++] = '\n';
    line[size] = '\0';
    return size;
}

void writeLine(const char* line, std::size_t size) {
    if (writeFile(logFile, line, static_cast<std::uint32_t>(size))) {
        written += size;
    }
}

// This start moved the last run's log to Brackenfold.previous.log.
bool lastRunLogMoved = false;

void flushBlock() {
    if (blockSize > 0) {
        writeLine(block, blockSize);
        blockSize = 0;
    }
}

void writeFormatted(LogLevel level, const char* text) {
    char line[logLineCapacity + 1];
    writeLine(line, formatLine(line, level, text));
}

// Keeps the last run's logs in `folder` before a new one is made there; false when
// a log was there and could not be kept.
bool keepLastRun(const std::string& folder) {
    const std::string log = folder + logFileName;
    const std::string kept = folder + keptLogFileName;
    const std::string previousKept = folder + previousKeptLogFileName;
    // The run before last's second file is no part of the last run.
    deleteFile(previousKept);
    moveFile(kept, previousKept);
    lastRunLogMoved = moveFile(log, folder + previousLogFileName);
    return lastRunLogMoved || !queryPath(log).exists;
}

bool openIn(const std::string& folder, bool& lastRunKept) {
    lastRunKept = keepLastRun(folder);
    std::string path = folder + logFileName;
    logFile = openFile(path, FileOpen::replace);
    if (logFile == nullptr) {
        return false;
    }
    openedFolder = folder;
    keptPath = folder + keptLogFileName;
    openedPath = std::move(path);
    return true;
}

// The full file kept as Brackenfold.1.log, or, when it cannot be, emptied; a fresh
// file begins with where the lines before it are, then the heading.
void beginFreshFile() {
    closeFile(logFile);
    const bool kept = moveFile(openedPath, keptPath);
    logFile = openFile(openedPath, FileOpen::replace);
    written = 0;
    if (logFile == nullptr) {
        return;
    }
    if (kept) {
        writeFormatted(LogLevel::Info,
                       "log: continued from Brackenfold.1.log, which holds the lines before (each file of the log "
                       "holds at most 1 MiB); the plug-in, the game and the settings in effect, as logged before:");
    } else {
        writeFormatted(LogLevel::Warn,
                       "log: the full log could not be kept as Brackenfold.1.log (a program holds it without letting "
                       "it be renamed, or the folder refuses); it begins again here and the lines before are lost; "
                       "the plug-in, the game and the settings in effect, as logged before:");
    }
    for (const HeadingPart& part : heading) {
        if (part.size > 0) {
            writeLine(part.text, part.size);
        }
    }
}

}  // namespace

bool openLog() {
    closeLog();
    bool lastRunKept = true;
    try {
        if (!openIn(ownFolder(), lastRunKept)) {
            const std::string folder = fallbackFolder();
            if (folder.empty() || !openIn(folder, lastRunKept)) {
                return false;
            }
        }
    } catch (...) {
        closeLog();
        return false;
    }
    if (!lastRunKept) {
        logLine(LogLevel::Warn, "log: the last run's log could not be kept as %s (a program holds it)",
                previousLogFileName);
    }
    return true;
}

const char* logPath() { return openedPath.c_str(); }

bool lastRunLogKept() { return lastRunLogMoved && logFile != nullptr; }

const char* logFolder() { return openedFolder.c_str(); }

void logLine(LogLevel level, const char* format, ...) {
    if (logFile == nullptr) {
        return;
    }
    char text[logLineCapacity];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length >= static_cast<int>(sizeof text)) {
        text[cutBetweenCharacters(std::string_view(text, sizeof text - 1), sizeof text - 1)] = '\0';
    }

    char line[logLineCapacity + 1];
    const std::size_t size = formatLine(line, level, text);
    if (written + blockSize + size > logCapacity) {
        flushBlock();
        try {
            beginFreshFile();
        } catch (...) {
            // Out of memory for a path: the log ends here.
            closeLog();
        }
        if (logFile == nullptr) {
            return;
        }
    }
    if (recording >= 0) {
        HeadingPart& part = heading[recording];
        if (part.size + size <= sizeof part.text) {
            std::memcpy(part.text + part.size, line, size);
            part.size += size;
        }
    }
    if (blocks == 0) {
        writeLine(line, size);
        return;
    }
    if (blockSize + size > sizeof block) {
        flushBlock();
    }
    std::memcpy(block + blockSize, line, size);
    blockSize += size;
}

LogBlock::LogBlock() { ++blocks; }

LogBlock::~LogBlock() {
    if (--blocks == 0) {
        flushBlock();
    }
}

void startLogHeading(LogHeading part) {
    recording = static_cast<int>(part);
    heading[recording].size = 0;
}

void endLogHeading() { recording = -1; }

void closeLog() {
    flushBlock();
    closeFile(logFile);
    logFile = nullptr;
    openedPath.clear();
    openedFolder.clear();
    keptPath.clear();
    written = 0;
    recording = -1;
    for (HeadingPart& part : heading) {
        part.size = 0;
    }
}

Stopwatch startStopwatch() { return Stopwatch{performanceCount()}; }

double Stopwatch::milliseconds() const {
    const long long now = performanceCount();
    const long long frequency = performanceFrequency();
    if (frequency <= 0) {
        return 0.0;
    }
    return static_cast<double>(now - start) * 1000.0 / static_cast<double>(frequency);
}

FailureText failureText(const Failure& failure) {
    FailureText text;
    if (failure.code != 0) {
        std::snprintf(text.text, sizeof text.text, " (%s%sWindows error %u)", failure.reason,
                      failure.reason[0] != '\0' ? "; " : "", static_cast<unsigned>(failure.code));
    }
    return text;
}
