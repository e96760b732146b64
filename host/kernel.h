// The door to the Windows kernel: what the plug-in asks of it, in its own terms.
// Text in and out is UTF-8. A path is taken as the player wrote it (absolute, or
// relative to the current directory; "\" and "/" both separate) and may be longer
// than 260 characters: the door makes it absolute, hands Windows its "\\?\" form
// and calls the wide functions. The Windows build calls the system; the Linux
// tests a simulated kernel behind the same calls (tests/sim). Nothing here throws:
// a failure, out of memory included, is a null, empty or false result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/module_handle.h"

#if defined(_WIN32)
#define BRACKENFOLD_WINAPI __stdcall
#else
#define BRACKENFOLD_WINAPI
#endif

// The reasons DllMain is called for that the plug-in acts on.
inline constexpr unsigned long processDetach = 0;
inline constexpr unsigned long processAttach = 1;

// ---- Time ----
// Milliseconds since Windows started, wrapping every 49.7 days.
std::uint32_t tickCount();

struct LocalTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t millisecond = 0;
};
LocalTime localTime();

// The high-resolution counter and its counts per second (0 when unknown).
long long performanceCount();
long long performanceFrequency();

// ---- The process, its modules and its memory ----
std::uint32_t processId();

// The module of that file name ("RDR2.exe"), or null.
ModuleHandle moduleNamed(const char* name);

// The path of a module's file (null: the process's executable); empty when unknown.
std::string modulePath(ModuleHandle module);

// The modules loaded in the process; empty when Windows cannot say.
std::vector<ModuleHandle> processModules();
// Keeps a module of that list loaded while it is read, since another thread may
// unload it: false when it is no longer loaded. Each hold ends with letModuleGo.
bool holdModule(ModuleHandle module);
void letModuleGo(ModuleHandle module);

// The version resource of a module (resource 1 of type 16); false when it has none.
bool moduleVersionResource(ModuleHandle module, const std::uint8_t*& data, std::size_t& size);

// What may be done with a region of memory: nothing, read it (data), or read and
// run it (code: committed, execute-read, execute-read-write or execute-write-copy).
enum class RegionAccess : std::uint8_t { none, data, code };

struct MemoryRegion {
    std::uintptr_t base = 0;  // the region's first byte
    std::size_t size = 0;
    RegionAccess access = RegionAccess::none;
};

// The region that holds `address`; false when the system cannot say.
bool regionAt(const void* address, MemoryRegion& region);

// A named object of the session, to tell whether another copy holds the name.
enum class NameClaim : std::uint8_t { claimed, heldElsewhere, failed };
NameClaim claimName(const char* name, void*& object);
void releaseName(void* object);

// ---- Files ----
using FileHandle = void*;  // null: none

enum class FileOpen : std::uint8_t {
    read,        // an existing file, shared with writers and deleters (an editor may hold it)
    replace,     // made, or emptied, for writing; shared for reading
    createNew,   // made for writing; fails when the name exists
};
// Null when the file cannot be opened, or the path is a folder.
FileHandle openFile(std::string_view path, FileOpen how);
// Reads at most `size` bytes; `got` says how many (0 at the end).
bool readFile(FileHandle file, void* data, std::uint32_t size, std::uint32_t& got);
// True when all `size` bytes were written.
bool writeFile(FileHandle file, const void* data, std::uint32_t size);
void closeFile(FileHandle file);

// Reads the file at `path` into `bytes`, whose size is the most read; `bytes` keeps
// what was read (less when the file shrank). False when it cannot be opened or a
// read fails.
bool readWholeFile(std::string_view path, std::string& bytes);

// What one attribute query tells of a path.
struct PathInfo {
    bool exists = false;
    bool folder = false;
    std::uint64_t writeTime = 0;  // 100-ns units since 1601-01-01 UTC
    std::uint64_t size = 0;
};
PathInfo queryPath(std::string_view path);

// Replaces what an open file holds with `size` bytes (none: it is emptied), in
// place: no path is looked up and nothing is allocated. True when all were written.
bool rewriteFile(FileHandle file, const void* data, std::uint32_t size);

// True when the folder was made.
bool makeFolder(std::string_view path);
// True when the file was deleted; never deletes a folder.
bool deleteFile(std::string_view path);
// Whether moveFile may replace a file that already has the new name.
enum class FileMove : std::uint8_t { replace, keepExisting };
// Gives the file at `from` the name `to`, replacing a file of that name unless
// `how` keeps it; never moves a folder, nor replaces one. False also when a
// program holds either file without letting it be renamed.
bool moveFile(std::string_view from, std::string_view to, FileMove how = FileMove::replace);

// Why the last call of this thread failed, as Windows tells it: its code (0 when
// it gave none) and, for the codes a disk or another program gives, what it means
// and a few words for the log ("in use by another program"; empty for others).
enum class FailureKind : std::uint8_t { other, notFound, accessDenied, inUse, diskFull, nameTaken };
struct Failure {
    std::uint32_t code = 0;
    FailureKind kind = FailureKind::other;
    const char* reason = "";
};
Failure lastFailure();

// A folder read entry by entry: Windows reads the folder's records in small
// batches, so most entries cost no system call and a few cost one.
using FolderSearch = void*;  // null: none

struct FolderEntry {
    char name[766];        // UTF-8; a name is at most 255 UTF-16 units
    bool folder = false;
    bool link = false;     // a reparse point: a link or junction
};
// Opens `folder` and reads its first entry ("." on most file systems); null when
// it cannot be listed.
FolderSearch openFolderSearch(std::string_view folder, FolderEntry& first);
// The next entry; false at the end.
bool nextFolderEntry(FolderSearch search, FolderEntry& entry);
void closeFolderSearch(FolderSearch search);

// The current directory, as Windows gives it ("C:\Games\RDR2"); empty when unknown.
std::string currentFolder();

// ---- Text from outside ----
// An environment variable's value; empty when it is not set.
std::string environmentValue(const char* name);

// `bytes` read in the system's ANSI code page, as an older editor writes text.
std::string textFromAnsi(std::string_view bytes);
// `bytes` read as UTF-16 in either byte order (without the byte order mark).
std::string textFromUtf16(std::string_view bytes, bool bigEndian);
