#include "plugin/single_instance.h"

#include <cstdio>

#include "host/kernel.h"

namespace {

HANDLE claim = nullptr;

}  // namespace

bool claimInstance() {
    // Named objects are seen by every process of the session, so the name holds
    // this process's id.
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Brackenfold.instance.%lu",
                  static_cast<unsigned long>(GetCurrentProcessId()));
    const HANDLE mutex = CreateMutexA(nullptr, 0, name);
    if (mutex == nullptr) {
        // Without the object nothing can be told apart: acting beats staying silent.
        return true;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    claim = mutex;
    return true;
}

void releaseInstance() {
    if (claim != nullptr) {
        CloseHandle(claim);
        claim = nullptr;
    }
}
