#include "tests/sim/sim.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "plugin/kernel.h"
#include "plugin/script_host.h"
#include "reload/game_routine.h"

namespace sim {
namespace {

std::atomic<std::uint32_t> tickCount{0};
std::map<std::string, const void*, std::less<>> modules;
std::vector<Region> regions;
std::vector<Call> recorded;
std::mutex recordLock;
std::size_t waitsBeforeStop = 0;  // 0: the script runs on
std::size_t waitsSinceStopSet = 0;

thread_local bool inRecord = false;

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
}

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
}
