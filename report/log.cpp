#include "report/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/kernel.h"

const char logFileName[] = "Brackenfold.log";

namespace {

HANDLE logFile = INVALID_HANDLE_VALUE;
char openedPath[300] = {};
std::size_t written = 0;
bool full = false;

const char* const levelNames[] = {"INFO", "WARN", "ERROR"};
const char fullText[] = "log is full (1 MiB); nothing more is written";
// "[HH:MM:SS.mmm] WARN " and the text with its line feed.
constexpr std::size_t closingSize = 20 + sizeof fullText;

HANDLE create(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// "[HH:MM:SS.mmm] LEVEL " followed by `text`, cut to fit, and a line feed.
std::size_t formatLine(char (&line)[logLineCapacity + 1], LogLevel level, const char* text) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const int length = std::snprintf(line, sizeof line, "[%02u:%02u:%02u.%03u] %s %s", unsigned{now.wHour},
                                     unsigned{now.wMinute}, unsigned{now.wSecond}, unsigned{now.wMilliseconds},
                                     levelNames[static_cast<int>(level)], text);
    std::size_t size = length < 0 ? 0 : static_cast<std::size_t>(length);
    if (size > logLineCapacity - 1) {
        size = logLineCapacity - 1;
    }
    line[size++] = '\n';
    line[size] = '\0';
    return size;
}

bool writeAll(const char* data, std::size_t size) {
    DWORD done = 0;
    return WriteFile(logFile, data, static_cast<DWORD>(size), &done, nullptr) != 0 && done == size;
}

}  // namespace

bool openLog() {
    closeLog();
    logFile = create(logFileName);
    if (logFile != INVALID_HANDLE_VALUE) {
        std::snprintf(openedPath, sizeof openedPath, "%s", logFileName);
        return true;
    }
    char folder[260] = {};
    const DWORD length = GetEnvironmentVariableA("LOCALAPPDATA", folder, sizeof folder);
    // Zero: not set; as large as the buffer or more: the buffer cannot hold it.
    if (length == 0 || length >= sizeof folder) {
        return false;
    }
    char path[sizeof openedPath];
    std::snprintf(path, sizeof path, "%s\\Brackenfold", folder);
    CreateDirectoryA(path, nullptr);
    const int size = std::snprintf(path, sizeof path, "%s\\Brackenfold\\%s", folder, logFileName);
    if (size < 0 || static_cast<std::size_t>(size) >= sizeof path) {
        return false;
    }
    logFile = create(path);
    if (logFile == INVALID_HANDLE_VALUE) {
        return false;
    }
    std::memcpy(openedPath, path, static_cast<std::size_t>(size) + 1);
    return true;
}

const char* logPath() { return openedPath; }

void logLine(LogLevel level, const char* format, ...) {
    if (logFile == INVALID_HANDLE_VALUE || full) {
        return;
    }
    char text[logLineCapacity];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);

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
    if (logFile != INVALID_HANDLE_VALUE) {
        CloseHandle(logFile);
    }
    logFile = INVALID_HANDLE_VALUE;
    openedPath[0] = '\0';
    written = 0;
    full = false;
}

Stopwatch startStopwatch() {
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return Stopwatch{now.QuadPart};
}

double Stopwatch::milliseconds() const {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    if (frequency.QuadPart <= 0) {
        return 0.0;
    }
    return static_cast<double>(now.QuadPart - start) * 1000.0 / static_cast<double>(frequency.QuadPart);
}
