#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/kernel.h"
#include "host/utf8.h"

const char logFileName[] = "Brackenfold.log";

namespace {

FileHandle logFile = nullptr;
// Assigned only when a log opens; emptied, which frees nothing, when it closes.
std::string openedPath;
std::size_t written = 0;
bool full = false;

const char* const levelNames[] = {"INFO", "WARN", "ERROR"};
const char fullText[] = "log is full (1 MiB); nothing more is written";
// "[HH:MM:SS.mmm] WARN " and the text with its line feed.
constexpr std::size_t closingSize = 20 + sizeof fullText;

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

bool writeAll(const char* data, std::size_t size) {
    return writeFile(logFile, data, static_cast<std::uint32_t>(size));
}

}  // namespace

bool openLog() {
    closeLog();
    try {
        logFile = openFile(logFileName, FileOpen::replace);
        if (logFile != nullptr) {
            openedPath = logFileName;
            return true;
        }
        const std::string folder = environmentValue("LOCALAPPDATA");
        if (folder.empty()) {
            return false;
        }
        std::string path = folder;
        if (path.back() != '\\' && path.back() != '/') {
            path += '\\';
        }
        path += "Brackenfold";
        makeFolder(path);
        path += '\\';
        path += logFileName;
        logFile = openFile(path, FileOpen::replace);
        if (logFile == nullptr) {
            return false;
        }
        openedPath = std::move(path);
        return true;
    } catch (...) {
        closeLog();
        return false;
    }
}

const char* logPath() { return openedPath.c_str(); }

void logLine(LogLevel level, const char* format, ...) {
    if (logFile == nullptr || full) {
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
    std::size_t size = formatLine(line, level, text);
    // The closing line must still fit below the cap after this one.
    if (written + size + closingSize > logCapacity) {
        full = true;
        size = formatLine(line, LogLevel::Warn, fullText);
    }
    if (writeAll(line, size)) {
        written += size;
    }
}

void closeLog() {
    closeFile(logFile);
    logFile = nullptr;
    openedPath.clear();
    written = 0;
    full = false;
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
