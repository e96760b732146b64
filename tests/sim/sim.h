// The simulated kernel, script host and game routine of the Linux tests: the Linux
// side of the plug-in's doors to the platform. Every host call is recorded in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class CallKind {
    ScriptRegister,
    ScriptUnregister,
    KeyboardHandlerRegister,
    KeyboardHandlerUnregister,
    ScriptWait,
    NativeInit,
    NativePush64,
    NativeCall,
    GameRoutine,
};

struct Call {
    CallKind kind;
    std::uint64_t value = 0;         // scriptWait's milliseconds, a hash, a pushed value
    const void* pointer = nullptr;   // a module handle, function or routine address
    const void* function = nullptr;  // the script function given to scriptRegister
    std::string text{};              // the text the game routine was called with
    const char* textAddress = nullptr;  // where that text lies

    bool operator==(const Call&) const = default;
};

struct Region {
    const void* base;
    std::size_t size;
    bool readable;
    // What VirtualQuery reports for the region when not 0; by default it is
    // committed, and execute-read or no-access as `readable` says.
    std::uint32_t state = 0;
    std::uint32_t protect = 0;
};

// Back to the start: tick count 0, the performance counter on the steady clock, no
// modules, all memory code, no calls, scripts run on.
void reset();

void setTickCount(std::uint32_t ticks);
void advanceTickCount(std::uint32_t milliseconds);

// The local date GetLocalTime answers (0-0-0 until set).
void setLocalDate(unsigned year, unsigned month, unsigned day);

// The local time of day GetLocalTime answers.
void setLocalTime(unsigned hour, unsigned minute, unsigned second, unsigned millisecond);

// QueryPerformanceCounter counts at 10 MHz. It follows the machine's steady clock,
// so that work bounded by time pays the real budget, until a test sets its step:
// from then on (until the reset) it starts at 0 and moves by `ticks` after each
// reading, so that a budget runs out after a known number of readings.
void setPerformanceCounterStep(std::uint64_t ticks);

// GetEnvironmentVariableW's answer for `name` (both UTF-8 here); unset names give 0.
void setEnvironment(const std::string& name, const std::string& value);

// GetModuleFileNameW's answer for `module` (null: the process's executable), in UTF-8.
// Every module with a path but the executable is loaded: K32EnumProcessModules
// lists it, and GetModuleHandleExW holds it until FreeLibrary.
void setModulePath(const void* module, const std::string& path);
// The holds on modules not yet let go.
int moduleHoldsLeft();

// The version resource FindResourceA finds in `module`.
void setVersionResource(const void* module, std::vector<std::uint8_t> bytes);

// Runs `hook` whenever the game routine is called, after the call is recorded.
void setGameRoutineHook(void (*hook)());

// Files are real files of this machine, named by the wide calls in the long form
// "\\?\Z:\..." alone, with Z: the root of the Linux tree; the current directory is
// the process's, in that drive. A path in any other form (not absolute, no "\\?\",
// a "/", or an empty, "." or ".." part) is refused. FindFirstFileExW ("<folder>\\*")
// and FindNextFileW list a folder with "." and "..", read in batches of 4 KiB of
// records as Windows reads them, giving each entry's name and attributes (links as
// reparse points) but no size or time. The ANSI code page is Windows-1252.

// A file call the simulated kernel can be told to refuse, as Windows does when the
// disk is full or another program (a scanner, a backup) holds the file: making or
// emptying it on open, writing (a short write writes half, then fails as on a
// full disk), renaming it, deleting it, and cutting it to its length.
enum class FileCall { create, write, shortWrite, rename, remove, truncate };
// From now until the reset, `call` fails on every file whose path ends with
// `nameEnding`, with Windows's code `error` (32: in use by another program).
void refuseFileCall(FileCall call, const std::string& nameEnding, std::uint32_t error = 32);
// The refusals end.
void allowFileCalls();

// How many file attribute queries (GetFileAttributesExW) were made since the reset.
std::size_t fileQueries();
// How many times the file at `linuxPath` (absolute) was opened for reading since the reset.
std::size_t fileReads(const std::string& linuxPath);
// How many batches of folder records were read since the reset.
std::size_t folderBatches();
// How many paths were refused for their form since the reset.
std::size_t refusedPaths();
// How many folder listings are open.
std::size_t openListings();


// Makes GetModuleHandleA(name) answer `base`.
void addModule(const std::string& name, const void* base);

// Memory as VirtualQuery reports it: the given regions, and committed execute-read
// memory (code) everywhere else.
void setRegions(std::vector<Region> regions);

const std::vector<Call>& calls();
void clearCalls();

// Thrown by scriptWait once the given number of waits has been recorded: the
// simulated host's way of no longer running a script that never returns.
struct ScriptStopped {};
void stopScriptAfterWaits(std::size_t waits);

// True while the simulated host records a call on this thread: the allocations it
// makes then are the host's, not the plug-in's.
bool recordingCall();

}  // namespace sim
