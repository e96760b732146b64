// The log beside the plug-in, Brackenfold.log: one line per event, "[HH:MM:SS.mmm]
// LEVEL text" in local time, each handed to the operating system with one write
// before the plug-in goes on (the lines of a LogBlock together), so the last line
// survives a crash of the game. The file is shared for reading and never grows
// past 1 MiB: a full log is kept as Brackenfold.1.log (replacing the one before)
// and a fresh Brackenfold.log begins with the lines a reader needs first, so that
// a long session's newest events are always in Brackenfold.log and one run's logs
// never hold more than about 2 MiB.
// At each start the last run's logs are kept as Brackenfold.previous.log and
// Brackenfold.previous.1.log. It is UTF-8 without a byte order mark; a line cut to
// its length is cut between characters. Nothing here throws, and only opening the
// log and beginning a fresh file allocate.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/kernel.h"

#if defined(__MINGW32__)
#define BRACKENFOLD_PRINTF(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define BRACKENFOLD_PRINTF(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif

enum class LogLevel : std::uint8_t { Info, Warn, Error };

extern const char logFileName[];              // "Brackenfold.log"
extern const char keptLogFileName[];          // "Brackenfold.1.log": the full log before it
extern const char previousLogFileName[];      // "Brackenfold.previous.log": the last run's
extern const char previousKeptLogFileName[];  // "Brackenfold.previous.1.log"

// No file of the log grows past this many bytes.
inline constexpr std::size_t logCapacity = std::size_t{1} << 20;
// The longest line, its line feed included; a longer text is cut.
inline constexpr std::size_t logLineCapacity = 2048;

// Creates the log afresh in the plug-in's folder or, when that fails, in
// %LOCALAPPDATA%\Brackenfold\ (made when missing), after keeping the last run's
// logs there. Closes a log open before. False when neither place takes it: the
// plug-in runs on without a log.
bool openLog();

// True when this start kept the last run's log as Brackenfold.previous.log, in
// the folder of the open log: what that file says is then the last run's.
bool lastRunLogKept();

// Where the open log is, as it was opened; empty when there is none.
const char* logPath();
// The folder the log is in, as a path's beginning: empty (the game's folder, the
// current directory) or ending in a separator.
const char* logFolder();

// Writes one line. Does nothing without a log. A line that would take the file
// past logCapacity goes to a fresh file; when the full one cannot be kept (a
// program holds it without letting it be renamed, or the folder refuses), the
// fresh file replaces it, and says so.
void logLine(LogLevel level, const char* format, ...) BRACKENFOLD_PRINTF(2, 3);

// The lines a fresh file begins with, after the line that says where the lines
// before it are: the lines logged from `startLogHeading` to `endLogHeading` become
// that part of the heading, replacing what it held (for each part, about 16 KiB).
enum class LogHeading : std::uint8_t { start, settingsInEffect };
void startLogHeading(LogHeading part);
void endLogHeading();

// While a LogBlock lives, the lines logged reach the operating system together,
// in one write, when the last one ends (or sooner, when 16 KiB wait): for the many
// lines of one event in a pass the game pays for, such as a listing's files. Never
// around the line written before the game's routine is called.
struct LogBlock {
    LogBlock();
    ~LogBlock();
    LogBlock(const LogBlock&) = delete;
    LogBlock& operator=(const LogBlock&) = delete;
};

void closeLog();

// Why a call failed, for a log line: " (in use by another program; Windows error
// 32)", or empty when Windows gave no code.
struct FailureText {
    char text[96] = "";
};
FailureText failureText(const Failure& failure);

// Times what the log reports (a search, a check) on the performance counter.
struct Stopwatch {
    long long start = 0;

    // Milliseconds since the stopwatch was started.
    double milliseconds() const;
};
Stopwatch startStopwatch();
