#include "tests/sim/sim.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "host/game_routine.h"
#include "host/script_host.h"
#include "host/utf16.h"
#include "host/win32.h"
#include "tests/sim/sim_internal.h"

namespace sim {

thread_local bool inRecord = false;
thread_local DWORD lastError = 0;
std::uintptr_t nextHandle = 0x10'0000;
std::map<std::uintptr_t, std::string> mutexes;

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
bool performanceCounterStepped = false;  // else it follows the machine's steady clock
std::map<std::string, std::string, std::less<>> environment;
std::map<const void*, std::string> modulePaths;
std::map<const void*, int> moduleHolds;
std::map<const void*, std::vector<std::uint8_t>> versionResources;
void (*gameRoutineHook)() = nullptr;

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
    performanceCounterStepped = false;
    environment.clear();
    modulePaths.clear();
    moduleHolds.clear();
    versionResources.clear();
    gameRoutineHook = nullptr;
    mutexes.clear();
    resetFiles();
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

void setPerformanceCounterStep(std::uint64_t ticks) {
    performanceCounterStepped = true;
    performanceCounterStep = ticks;
}
void setEnvironment(const std::string& name, const std::string& value) { environment[name] = value; }
void setModulePath(const void* module, const std::string& path) { modulePaths[module] = path; }
void setVersionResource(const void* module, std::vector<std::uint8_t> bytes) {
    versionResources[module] = std::move(bytes);
}
void setGameRoutineHook(void (*hook)()) { gameRoutineHook = hook; }

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

int moduleHoldsLeft() {
    int left = 0;
    for (const auto& [module, holds] : moduleHolds) {
        left += holds;
    }
    return left;
}

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

DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
    const sim::SimulatorWork work;
    const auto found = sim::modulePaths.find(module);
    if (found == sim::modulePaths.end() || size == 0) {
        return 0;
    }
    // As Windows does: a path that does not fit is cut, and the size given returned.
    const std::u16string text = widen<char16_t>(found->second);
    const std::size_t copied = std::min<std::size_t>(text.size(), size - 1);
    std::copy_n(text.data(), copied, path);
    path[copied] = u'\0';
    return text.size() < size ? static_cast<DWORD>(text.size()) : size;
}

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

// The modules are those with a path, the process's executable aside.
BOOL K32EnumProcessModules(HANDLE, HMODULE* modules, DWORD bytes, DWORD* needed) {
    const sim::SimulatorWork work;
    std::size_t count = 0;
    for (const auto& [module, path] : sim::modulePaths) {
        if (module != nullptr) {
            if ((count + 1) * sizeof(HMODULE) <= bytes) {
                modules[count] = static_cast<HMODULE>(const_cast<void*>(module));
            }
            ++count;
        }
    }
    *needed = static_cast<DWORD>(count * sizeof(HMODULE));
    return 1;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR name, HMODULE* module) {
    const sim::SimulatorWork work;
    const void* const address = name;
    if (flags != GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS || sim::modulePaths.count(address) == 0) {
        return 0;
    }
    ++sim::moduleHolds[address];
    *module = static_cast<HMODULE>(const_cast<void*>(address));
    return 1;
}

BOOL FreeLibrary(HMODULE module) {
    const sim::SimulatorWork work;
    --sim::moduleHolds[module];
    return 1;
}

DWORD GetEnvironmentVariableW(LPCWSTR name, LPWSTR value, DWORD size) {
    const sim::SimulatorWork work;
    const auto found = sim::environment.find(narrow(name, std::char_traits<char16_t>::length(name)));
    if (found == sim::environment.end()) {
        return 0;
    }
    const std::u16string text = widen<char16_t>(found->second);
    if (text.size() + 1 > size) {
        return static_cast<DWORD>(text.size() + 1);
    }
    std::copy_n(text.c_str(), text.size() + 1, value);
    return static_cast<DWORD>(text.size());
}

DWORD GetLastError() { return sim::lastError; }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
void GetLocalTime(SYSTEMTIME* time) { *time = sim::localTime; }

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!sim::performanceCounterStepped) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        count->QuadPart = std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10'000'000>>>(now).count();
        return 1;
    }
    count->QuadPart = static_cast<long long>(sim::performanceCounter);
    sim::performanceCounter += sim::performanceCounterStep;
    return 1;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    frequency->QuadPart = 10'000'000;
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
