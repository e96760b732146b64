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
std::map<std::string, const void*> modules;
std::vector<Region> regions;
std::vector<Call> recorded;
std::mutex recordLock;

void record(Call call) {
    const std::lock_guard<std::mutex> hold(recordLock);
    recorded.push_back(std::move(call));
}

}  // namespace

void reset() {
    tickCount = 0;
    modules.clear();
    regions.clear();
    clearCalls();
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
    bool readable = true;
    for (const sim::Region& region : sim::regions) {
        const auto first = reinterpret_cast<std::uintptr_t>(region.base);
        const auto last = first + region.size;
        if (at >= first && at < last) {
            start = first;
            end = last;
            readable = region.readable;
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
    info->State = MEM_COMMIT;
    info->Protect = readable ? PAGE_EXECUTE_READ : PAGE_NOACCESS;
    return sizeof *info;
}

void scriptRegister(HINSTANCE module, ScriptFunction script) {
    sim::record({sim::CallKind::ScriptRegister, 0, module, reinterpret_cast<const void*>(script), {}});
}

void scriptUnregister(HINSTANCE module) {
    sim::record({sim::CallKind::ScriptUnregister, 0, module, nullptr, {}});
}

void keyboardHandlerRegister(KeyboardHandler handler) {
    sim::record({sim::CallKind::KeyboardHandlerRegister, 0, reinterpret_cast<const void*>(handler), nullptr, {}});
}

void keyboardHandlerUnregister(KeyboardHandler handler) {
    sim::record({sim::CallKind::KeyboardHandlerUnregister, 0, reinterpret_cast<const void*>(handler), nullptr, {}});
}

void scriptWait(unsigned long milliseconds) {
    sim::record({sim::CallKind::ScriptWait, milliseconds, nullptr, nullptr, {}});
}

void nativeInit(std::uint64_t hash) { sim::record({sim::CallKind::NativeInit, hash, nullptr, nullptr, {}}); }

void nativePush64(std::uint64_t value) { sim::record({sim::CallKind::NativePush64, value, nullptr, nullptr, {}}); }

std::uint64_t* nativeCall() {
    static std::uint64_t result = 0;
    sim::record({sim::CallKind::NativeCall, 0, nullptr, nullptr, {}});
    return &result;
}

void callGameRoutine(const std::uint8_t* entry, const char* dataName) {
    sim::record({sim::CallKind::GameRoutine, 0, entry, nullptr, dataName});
}
