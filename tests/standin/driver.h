// What every scenario of the stand-in game shares: the plug-in loaded and unloaded
// as the game does it, frames run through the stand-in host, keys sent, and every
// call the host saw read back and checked. A failed check prints what the host saw
// and ends the process with exit code 1.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/standin/standin_host.h"

inline constexpr unsigned long keyF6 = 117;
inline constexpr unsigned long keyF8 = 119;
inline constexpr unsigned long keyF9 = 120;
inline constexpr unsigned long keyF10 = 121;
inline constexpr unsigned long keyShift = 0x10;
inline constexpr unsigned long keyCtrl = 0x11;
inline constexpr unsigned long keyAlt = 0x12;

extern const char reloadText[];       // "Reloaded VegetationModifiers.meta"
extern const char unavailableText[];  // the text shown when the routine is not found
extern const char dataName[];         // "VegetationModifiers"
extern const std::uint64_t messageNatives[4];

struct Scenario {
    const char* name;
    void (*run)();
};

// The scenario running; its name heads every failure.
extern const char* scenarioName;

[[noreturn]] void fail(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
LONG WINAPI reportCrash(EXCEPTION_POINTERS* exception);

std::vector<HostRecord> recordsSince(std::uint32_t mark);
std::string keyName(std::uint64_t key);
// The text at `address` when it is a NUL-terminated string in readable memory.
std::optional<std::string> textAt(std::uint64_t address);
std::string describe(const HostRecord& record);
void printRecords(const std::vector<HostRecord>& records);

// One expected record: its kind, and where given, its first value, its text, or the
// text that its first value points to.
struct Want {
    HostCall call;
    std::optional<std::uint64_t> first = std::nullopt;
    const char* text = nullptr;
    const char* pointsTo = nullptr;
};

void expectRecords(std::uint32_t mark, const std::vector<Want>& wants, const char* what);

std::vector<Want> idleFrame();
// A frame that shows `message`, after a call of the game routine when `routineCalled`.
std::vector<Want> messageFrame(const char* message, bool routineCalled);
std::vector<Want> reloadFrame();
std::vector<Want> unavailableFrame();
// A frame that calls the routine and shows nothing (messages are off).
std::vector<Want> silentReloadFrame();
// Runs one frame and checks the calls it made.
void expectFrame(const std::vector<Want>& wants, const char* what);

// Key messages through the host, on the game's thread or another one; `withAlt` is
// the handler's "is with Alt" value.
void press(unsigned long key, bool otherThread = false);
void release(unsigned long key, bool otherThread = false, bool withAlt = false);
void pressAndRelease(unsigned long key, bool otherThread = false);

// What a run of frames showed and did.
struct FrameRun {
    std::vector<HostRecord> records;
    std::vector<std::string> shown;  // the texts shown on screen, in order
    int routineCalls = 0;
};
FrameRun summarize(const std::vector<HostRecord>& records);
// Runs frames about every 10 ms for `milliseconds` of real time.
FrameRun runFramesFor(DWORD milliseconds);
// Fails unless the run called the routine `routineCalls` times and showed `shown`.
void expectRun(const FrameRun& run, int routineCalls, const std::vector<std::string>& shown, const char* what);
// Runs frames until `text` has been shown, for at most `limit` ms; fails if it is
// never shown or shown more than once, or if anything else is shown.
void expectShownOnceWithin(const std::string& text, DWORD limit);

struct Plugin {
    HMODULE module;
    std::uint64_t script;
    std::uint64_t handler;
};

// Who loads a plug-in, and so which folder is current while it loads: the script
// host's loader, from the game's folder (current all along); or a general loader,
// from scripts\ or plugins\ (or the game's folder), which makes the plug-in's
// folder current while LoadLibraryW runs and the game's folder again after.
enum class Loader { scriptHost, general };

// Loads a module by its UTF-8 path, as the loaders do: with the wide call.
HMODULE loadLibrary(const std::string& path, Loader loader = Loader::scriptHost);

// Loads the plug-in (by default Brackenfold.asi in the game's folder, the current
// directory) and checks what it registered; no frame runs.
Plugin loadRegisteredPlugin(const std::string& path = "", Loader loader = Loader::scriptHost);
// The same, then runs the first frame, in which the host starts its script: an
// idle frame, or one that shows `firstNotice`.
Plugin loadPlugin(const char* firstNotice = nullptr, const std::string& path = "",
                  Loader loader = Loader::scriptHost);
// Loads a copy of the plug-in, which must stay idle: no host call at all; and
// unloads it, which must make none either.
HMODULE loadIdleCopy(const std::string& path, Loader loader);
void unloadIdleCopy(HMODULE copy);
// Unloads the plug-in, checks what it withdrew, and that no fault was seen.
void unloadPlugin(const Plugin& plugin);

// ---- Files ----
// Paths are UTF-8, and every call behind these is a wide one.
std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);

// The game's folder, with its final "\".
std::string directoryOfExe();
std::string currentDirectory();
bool exists(const std::string& path);
bool makeFolder(const std::string& path);
bool deleteFile(const std::string& path);
bool removeFolder(const std::string& path);

struct FoundEntry {
    std::string name;
    bool folder = false;
};
// What `folder` holds whose names start with `prefix`, sorted by name, without "." and "..".
std::vector<FoundEntry> entriesOf(const std::string& folder, const std::string& prefix = "");
// Removes a folder and all it holds, left by an earlier run of a scenario.
void removeTree(const std::string& path);

// Every scenario works in a directory of its own, runs\<scenario>, emptied of the
// files the plug-in reads and writes: its game's folder, the current directory,
// where the plug-in is installed (a copy of the one beside RDR2.exe).
void enterOwnDirectory();
// Copies a file, failing when it cannot.
void copyFile(const std::string& from, const std::string& to);
void writeFile(const std::string& path, const std::string& bytes);
void writeSettings(const std::string& bytes);
// The file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
// The log's lines, without their time stamps ("INFO text"); fails without a log.
std::vector<std::string> logLines(const std::string& path = "Brackenfold.log");
// Fails unless some line of `lines` contains `part`.
void expectLogLine(const std::vector<std::string>& lines, const std::string& part);

// With the plug-in loaded: `reloads` reloads on release, `ignored` does nothing.
void expectReloadKey(unsigned long reloads, unsigned long ignored);
void settingsScenario(const std::string& settings, unsigned long reloads, unsigned long ignored,
                      const char* firstNotice = nullptr);

class ProtectedPage {
public:
    ProtectedPage(const std::uint8_t* page, DWORD protection);
    ~ProtectedPage();
    ProtectedPage(const ProtectedPage&) = delete;
    ProtectedPage& operator=(const ProtectedPage&) = delete;

private:
    std::uint8_t* page_;
    DWORD previous_ = 0;
};

// Overwrites the routine's first byte with int3, so that its signature is gone
// from the image and any call of it would trap; the destructor puts it back.
class PatchedRoutine {
public:
    PatchedRoutine();
    ~PatchedRoutine();
    PatchedRoutine(const PatchedRoutine&) = delete;
    PatchedRoutine& operator=(const PatchedRoutine&) = delete;

private:
    ProtectedPage page_;
    std::uint8_t original_ = 0;
};

void expectNoAccess(const std::uint8_t* page);

// The scenarios, one list per concept.
std::vector<Scenario> reloadScenarios();
std::vector<Scenario> settingsScenarios();
std::vector<Scenario> logScenarios();
std::vector<Scenario> watchScenarios();
std::vector<Scenario> mainJobScenarios();
std::vector<Scenario> loaderScenarios();
