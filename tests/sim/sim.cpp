#include "tests/sim/sim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "host/kernel.h"
#include "host/script_host.h"
#include "host/game_routine.h"

namespace sim {
namespace {

std::atomic<std::uint32_t> tickCount{0};
std::map<std::string, const void*, std::less<>> modules;
std::vector<Region> regions;
std::vector<Call> recorded;
std::mutex recordLock;
std::size_t waitsBeforeStop = 0;  // 0: the script runs on
std::size_t waitsSinceStopSet = 0;

SYSTEMTIME localTime{};
std::uint64_t performanceCounter = 0;
std::uint64_t performanceCounterStep = 0;
std::map<std::string, std::string, std::less<>> environment;
std::map<const void*, std::string> modulePaths;
std::map<const void*, std::vector<std::uint8_t>> versionResources;
void (*gameRoutineHook)() = nullptr;
std::size_t fileQueryCount = 0;
// Named mutexes and folder listings by handle; the handles lie far from any file
// descriptor.
std::map<std::uintptr_t, std::string> mutexes;
struct Listing {
    DIR* folder;
};
std::map<std::uintptr_t, Listing> listings;
std::uintptr_t nextHandle = 0x10'0000;
thread_local DWORD lastError = 0;

thread_local bool inRecord = false;

// The simulation's own allocations are not the plug-in's.
struct SimulatorWork {
    bool outer = inRecord;
    SimulatorWork() { inRecord = true; }
    ~SimulatorWork() { inRecord = outer; }
    SimulatorWork(const SimulatorWork&) = delete;
    SimulatorWork& operator=(const SimulatorWork&) = delete;
};

std::string unixPath(const char* path) {
    std::string converted(path);
    std::replace(converted.begin(), converted.end(), '\\', '/');
    return converted;
}

// Windows counts 100-ns steps from 1601; Unix seconds from 1970.
FILETIME fileTime(const struct stat& status) {
    const std::uint64_t time = (static_cast<std::uint64_t>(status.st_mtim.tv_sec) + 11'644'473'600ULL) * 10'000'000ULL +
                               static_cast<std::uint64_t>(status.st_mtim.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(time & 0xFFFF'FFFF), static_cast<DWORD>(time >> 32)};
}

HANDLE fileHandle(int descriptor) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(descriptor) + 1); }
int descriptorOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }

void record(CallKind kind, std::uint64_t value, const void* pointer = nullptr, const void* function = nullptr,
            const char* text = nullptr) {
    inRecord = true;
    {
        const std::lock_guard<std::mutex> hold(recordLock);
        recorded.push_back(Call{kind, value, pointer, function, text == nullptr ? "" : text, text});
    }
    inRecord = false;
}

}  // namespace

void reset() {
    tickCount = 0;
    modules.clear();
    regions.clear();
    clearCalls();
    waitsBeforeStop = 0;
    waitsSinceStopSet = 0;
    localTime = SYSTEMTIME{};
    performanceCounter = 0;
    performanceCounterStep = 0;
    environment.clear();
    modulePaths.clear();
    versionResources.clear();
    gameRoutineHook = nullptr;
    fileQueryCount = 0;
    mutexes.clear();
    for (auto& [handle, listing] : listings) {
        closedir(listing.folder);
    }
    listings.clear();
}

void setLocalDate(unsigned year, unsigned month, unsigned day) {
    localTime.wYear = static_cast<WORD>(year);
    localTime.wMonth = static_cast<WORD>(month);
    localTime.wDay = static_cast<WORD>(day);
}

void setLocalTime(unsigned hour, unsigned minute, unsigned second, unsigned millisecond) {
    localTime.wHour = static_cast<WORD>(hour);
    localTime.wMinute = static_cast<WORD>(minute);
    localTime.wSecond = static_cast<WORD>(second);
    localTime.wMilliseconds = static_cast<WORD>(millisecond);
}

void setPerformanceCounterStep(std::uint64_t ticks) { performanceCounterStep = ticks; }
void setEnvironment(const std::string& name, const std::string& value) { environment[name] = value; }
void setModulePath(const void* module, const std::string& path) { modulePaths[module] = path; }
void setVersionResource(const void* module, std::vector<std::uint8_t> bytes) {
    versionResources[module] = std::move(bytes);
}
void setGameRoutineHook(void (*hook)()) { gameRoutineHook = hook; }
std::size_t fileQueries() { return fileQueryCount; }

void setTickCount(std::uint32_t ticks) { tickCount = ticks; }
void advanceTickCount(std::uint32_t milliseconds) { tickCount += milliseconds; }
void addModule(const std::string& name, const void* base) { modules[name] = base; }
void setRegions(std::vector<Region> given) { regions = std::move(given); }

const std::vector<Call>& calls() { return recorded; }

void clearCalls() {
    const std::lock_guard<std::mutex> hold(recordLock);
    recorded.clear();
}

void stopScriptAfterWaits(std::size_t waits) {
    waitsBeforeStop = waits;
    waitsSinceStopSet = 0;
}

bool recordingCall() { return inRecord; }

}  // namespace sim

DWORD GetTickCount() { return sim::tickCount.load(std::memory_order_relaxed); }

HMODULE GetModuleHandleA(const char* moduleName) {
    const auto found = sim::modules.find(moduleName);
    if (found == sim::modules.end()) {
        return nullptr;
    }
    return static_cast<HMODULE>(const_cast<void*>(found->second));
}

SIZE_T VirtualQuery(const void* address, MEMORY_BASIC_INFORMATION* info, SIZE_T length) {
    if (length < sizeof *info) {
        return 0;
    }
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::uintptr_t start = 0;
    std::uintptr_t end = UINTPTR_MAX;
    DWORD state = MEM_COMMIT;
    DWORD protect = PAGE_EXECUTE_READ;
    for (const sim::Region& region : sim::regions) {
        const auto first = reinterpret_cast<std::uintptr_t>(region.base);
        const auto last = first + region.size;
        if (at >= first && at < last) {
            start = first;
            end = last;
            state = region.state != 0 ? region.state : MEM_COMMIT;
            protect = region.protect != 0 ? region.protect : region.readable ? PAGE_EXECUTE_READ : PAGE_NOACCESS;
            break;
        }
        // Outside every region: readable up to the nearest region on either side.
        if (first > at) {
            end = std::min(end, first);
        } else {
            start = std::max(start, last);
        }
    }
    *info = MEMORY_BASIC_INFORMATION{};
    info->BaseAddress = reinterpret_cast<void*>(start);
    info->AllocationBase = info->BaseAddress;
    info->RegionSize = end - start;
    info->State = state;
    info->Protect = protect;
    return sizeof *info;
}

void scriptRegister(HINSTANCE module, ScriptFunction script) {
    sim::record(sim::CallKind::ScriptRegister, 0, module, reinterpret_cast<const void*>(script));
}

void scriptUnregister(HINSTANCE module) {
    sim::record(sim::CallKind::ScriptUnregister, 0, module);
}

void keyboardHandlerRegister(KeyboardHandler handler) {
    sim::record(sim::CallKind::KeyboardHandlerRegister, 0, reinterpret_cast<const void*>(handler));
}

void keyboardHandlerUnregister(KeyboardHandler handler) {
    sim::record(sim::CallKind::KeyboardHandlerUnregister, 0, reinterpret_cast<const void*>(handler));
}

void scriptWait(unsigned long milliseconds) {
    sim::record(sim::CallKind::ScriptWait, milliseconds);
    if (sim::waitsBeforeStop != 0 && ++sim::waitsSinceStopSet >= sim::waitsBeforeStop) {
        throw sim::ScriptStopped{};
    }
}

void nativeInit(std::uint64_t hash) { sim::record(sim::CallKind::NativeInit, hash); }

void nativePush64(std::uint64_t value) { sim::record(sim::CallKind::NativePush64, value); }

std::uint64_t* nativeCall() {
    static std::uint64_t result = 0;
    sim::record(sim::CallKind::NativeCall, 0);
    return &result;
}

void callGameRoutine(const std::uint8_t* entry, const char* dataName) {
    sim::record(sim::CallKind::GameRoutine, 0, entry, nullptr, dataName);
    if (sim::gameRoutineHook != nullptr) {
        sim::gameRoutineHook();
    }
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    const sim::SimulatorWork work;
    const auto found = sim::modulePaths.find(module);
    if (found == sim::modulePaths.end() || size == 0) {
        return 0;
    }
    // As Windows does: a path that does not fit is cut, and the full size returned.
    const std::string& text = found->second;
    const std::size_t copied = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(path, text.data(), copied);
    path[copied] = '\0';
    return text.size() < size ? static_cast<DWORD>(text.size()) : size;
}

DWORD GetEnvironmentVariableA(LPCSTR name, LPSTR value, DWORD size) {
    const sim::SimulatorWork work;
    const auto found = sim::environment.find(name);
    if (found == sim::environment.end()) {
        return 0;
    }
    const std::string& text = found->second;
    if (text.size() + 1 > size) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::memcpy(value, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

DWORD GetLastError() { return sim::lastError; }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
void GetLocalTime(SYSTEMTIME* time) { *time = sim::localTime; }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    count->QuadPart = static_cast<long long>(sim::performanceCounter);
    sim::performanceCounter += sim::performanceCounterStep;
    return 1;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 10'000'000;
    return 1;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
    const sim::SimulatorWork work;
    const int flags = disposition == OPEN_EXISTING ? O_RDONLY
                      : disposition == CREATE_NEW  ? O_WRONLY | O_CREAT | O_EXCL
                                                   : O_WRONLY | O_CREAT | O_TRUNC;
    const int descriptor = (access == GENERIC_READ) == (disposition == OPEN_EXISTING)
                               ? open(sim::unixPath(name).c_str(), flags | O_CLOEXEC, 0644)
                               : -1;
    struct stat status {};
    // Windows opens no directory as a file.
    if (descriptor >= 0 && (fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode))) {
        close(descriptor);
        return INVALID_HANDLE_VALUE;
    }
    return descriptor < 0 ? INVALID_HANDLE_VALUE : sim::fileHandle(descriptor);
}

BOOL ReadFile(HANDLE file, void* data, DWORD size, DWORD* read, void*) {
    const ssize_t done = ::read(sim::descriptorOf(file), data, size);
    *read = done < 0 ? 0 : static_cast<DWORD>(done);
    return done < 0 ? 0 : 1;
}

BOOL WriteFile(HANDLE file, const void* data, DWORD size, DWORD* written, void*) {
    const ssize_t done = write(sim::descriptorOf(file), data, size);
    *written = done < 0 ? 0 : static_cast<DWORD>(done);
    return done < 0 ? 0 : 1;
}

BOOL CloseHandle(HANDLE handle) {
    const sim::SimulatorWork work;
    if (sim::mutexes.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0) {
        return 1;
    }
    return close(sim::descriptorOf(handle)) == 0 ? 1 : 0;
}

BOOL CreateDirectoryA(LPCSTR path, void*) {
    const sim::SimulatorWork work;
    return mkdir(sim::unixPath(path).c_str(), 0755) == 0 ? 1 : 0;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS, void* information) {
    const sim::SimulatorWork work;
    ++sim::fileQueryCount;
    struct stat status {};
    if (stat(sim::unixPath(name).c_str(), &status) != 0) {
        return 0;
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    *data = WIN32_FILE_ATTRIBUTE_DATA{};
    data->dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data->ftLastWriteTime = sim::fileTime(status);
    data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFF'FFFF);
    return 1;
}

BOOL DeleteFileA(LPCSTR name) {
    const sim::SimulatorWork work;
    struct stat status {};
    const std::string path = sim::unixPath(name);
    if (lstat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return 0;
    }
    return unlink(path.c_str()) == 0 ? 1 : 0;
}

namespace sim {
namespace {

// The next entry of a listing, as a directory's own records give it: its name and
// whether it is a folder or a link (a reparse point, with the folder bit when it
// leads to one). Sizes and times stay 0: reading them would cost a query per entry
// that a listing on Windows does not make.
bool nextEntry(Listing& listing, WIN32_FIND_DATAA* found) {
    const dirent* entry = readdir(listing.folder);
    if (entry == nullptr) {
        return false;
    }
    *found = WIN32_FIND_DATAA{};
    std::snprintf(found->cFileName, sizeof found->cFileName, "%s", entry->d_name);
    unsigned char type = entry->d_type;
    struct stat status {};
    const int folder = dirfd(listing.folder);
    if (type == DT_UNKNOWN && fstatat(folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
    }
    if (type == DT_LNK) {
        found->dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
        if (fstatat(folder, entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode)) {
            found->dwFileAttributes |= FILE_ATTRIBUTE_DIRECTORY;
        }
    } else {
        found->dwFileAttributes = type == DT_DIR ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    }
    return true;
}

}  // namespace
}  // namespace sim

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found) {
    const sim::SimulatorWork work;
    // Only "<folder>\*" is asked for: every entry of the folder.
    std::string path = sim::unixPath(pattern);
    if (path.size() < 2 || path.compare(path.size() - 2, 2, "/*") != 0) {
        return INVALID_HANDLE_VALUE;
    }
    path.resize(path.size() - 2);
    DIR* const folder = opendir(path.c_str());
    if (folder == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    sim::Listing listing{folder};
    if (!sim::nextEntry(listing, found)) {
        closedir(folder);
        return INVALID_HANDLE_VALUE;
    }
    const std::uintptr_t handle = sim::nextHandle++;
    sim::listings[handle] = listing;
    return reinterpret_cast<HANDLE>(handle);
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found) {
    const sim::SimulatorWork work;
    const auto listing = sim::listings.find(reinterpret_cast<std::uintptr_t>(search));
    return listing != sim::listings.end() && sim::nextEntry(listing->second, found) ? 1 : 0;
}

BOOL FindClose(HANDLE search) {
    const sim::SimulatorWork work;
    const auto listing = sim::listings.find(reinterpret_cast<std::uintptr_t>(search));
    if (listing == sim::listings.end()) {
        return 0;
    }
    closedir(listing->second.folder);
    sim::listings.erase(listing);
    return 1;
}

HANDLE CreateMutexA(void*, BOOL, LPCSTR name) {
    const sim::SimulatorWork work;
    bool exists = false;
    for (const auto& [handle, held] : sim::mutexes) {
        exists = exists || held == name;
    }
    const std::uintptr_t handle = sim::nextHandle++;
    sim::mutexes[handle] = name;
    sim::lastError = exists ? ERROR_ALREADY_EXISTS : 0;
    return reinterpret_cast<HANDLE>(handle);
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    const auto found = sim::versionResources.find(module);
    if (found == sim::versionResources.end() || name != MAKEINTRESOURCEA(1) || type != MAKEINTRESOURCEA(16)) {
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(&found->second);
}

DWORD SizeofResource(HMODULE, HRSRC resource) {
    return static_cast<DWORD>(reinterpret_cast<const std::vector<std::uint8_t>*>(resource)->size());
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    return reinterpret_cast<std::vector<std::uint8_t>*>(resource)->data();
}

void* LockResource(HGLOBAL data) { return data; }
