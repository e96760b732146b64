// The log beside the game, Brackenfold.log: one line per event, "[HH:MM:SS.mmm]
// LEVEL text" in local time, each handed to the operating system with one write
// before the plug-in goes on, so the last line survives a crash of the game. The
// file is shared for reading and never grows past 1 MiB. It is UTF-8 without a
// byte order mark; a line cut to its length is cut between characters. Nothing
// here throws, and only opening the log allocates.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__MINGW32__)
#define BRACKENFOLD_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define BRACKENFOLD_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif

enum class LogLevel : std::uint8_t { Info, Warn, Error };

extern const char logFileName[];  // "Brackenfold.log"

// No line starts past this many bytes; the last line written then says so.
inline constexpr std::size_t logCapacity = std::size_t{1} << 20;
// The longest line, its line feed included; a longer text is cut.
inline constexpr std::size_t logLineCapacity = 2048;

// Creates the log afresh (truncated) in the current directory or, when that
// fails, in %LOCALAPPDATA%\Brackenfold\ (made when missing). Closes a log open
// before. False when neither place takes it: the plug-in runs on without a log.
bool openLog();

// Where the open log is, as it was opened; empty when there is none.
const char* logPath();

// Writes one line. Does nothing without a log, and nothing once the log is full.
void logLine(LogLevel level, const char* format, ...) BRACKENFOLD_PRINTF(2, 3);

void closeLog();

// Times what the log reports (a search, a check) on the performance counter.
struct Stopwatch {
    long long start = 0;

    // Milliseconds since the stopwatch was started.
    double milliseconds() const;
};
Stopwatch startStopwatch();
