// Compiled by clang for the MSVC ABI, only to read off the names that the
// declarations in host/script_host.h get there: they must be the host's exports.
#include "host/script_host.h"

void useEveryHostOperation() {
    scriptRegister(nullptr, nullptr);
    scriptUnregister(nullptr);
    keyboardHandlerRegister(nullptr);
    keyboardHandlerUnregister(nullptr);
    scriptWait(0);
    nativeInit(0);
    nativePush64(0);
    nativeCall();
}
