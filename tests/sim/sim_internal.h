// What the simulated kernel's sources share.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "host/win32.h"

namespace sim {

// True while the simulation works on this thread: its allocations are not the plug-in's.
extern thread_local bool inRecord;
extern thread_local DWORD lastError;
// Handles of named objects and listings lie far from any file descriptor.
extern std::uintptr_t nextHandle;
extern std::map<std::uintptr_t, std::string> mutexes;

struct SimulatorWork {
    bool outer = inRecord;
    SimulatorWork() { inRecord = true; }
    ~SimulatorWork() { inRecord = outer; }
    SimulatorWork(const SimulatorWork&) = delete;
    SimulatorWork& operator=(const SimulatorWork&) = delete;
};

// Closes every listing and forgets the file counts.
void resetFiles();

}  // namespace sim
