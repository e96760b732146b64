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
    std::string text;                // the text the game routine was called with

    bool operator==(const Call&) const = default;
};

struct Region {
    const void* base;
    std::size_t size;
    bool readable;
};

// Back to the start: tick count 0, no modules, all memory readable, no calls.
void reset();

void setTickCount(std::uint32_t ticks);
void advanceTickCount(std::uint32_t milliseconds);

// Makes GetModuleHandleA(name) answer `base`.
void addModule(const std::string& name, const void* base);

// Memory as VirtualQuery reports it: the given regions, and readable memory
// everywhere else.
void setRegions(std::vector<Region> regions);

const std::vector<Call>& calls();
void clearCalls();

}  // namespace sim
