#include "plugin/single_instance.h"

#include <cstdio>

#include "host/kernel.h"

namespace {

void* claim = nullptr;

}  // namespace

bool claimInstance() {
    // Named objects are seen by every process of the session, so the name holds
    // this process's id.
    char name[64];
    std::snprintf(name, sizeof name, "Local\\Brackenfold.instance.%lu", static_cast<unsigned long>(processId()));
    void* object = nullptr;
    switch (claimName(name, object)) {
    case NameClaim::claimed:
        claim = object;
        return true;
    case NameClaim::heldElsewhere:
        return false;
    case NameClaim::failed:
        break;
    }
    // Without the object nothing can be told apart: acting beats staying silent.
    return true;
}

void releaseInstance() {
    releaseName(claim);
    claim = nullptr;
}
