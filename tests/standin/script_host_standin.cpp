// A stand-in for the game's script host, ScriptHookRDR2.dll: it exports the eight
// operations under the host's MSVC names (see script_host_standin.def), runs the
// registered script on a fiber one frame at a time, and records every call.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/standin/standin_host.h"

using ScriptFunction = void (*)();
using KeyboardHandler = void (*)(unsigned long, unsigned short, unsigned char, int, int, int, int);

namespace {

SRWLOCK recordLock = SRWLOCK_INIT;
std::vector<HostRecord> records;

// Registrations and the fibers: touched only on the game's thread, except the
// handler, which the keyboard thread reads under the lock.
HINSTANCE scriptModule = nullptr;
ScriptFunction scriptFunction = nullptr;
KeyboardHandler keyboardHandler = nullptr;
void* frameFiber = nullptr;
void* scriptFiber = nullptr;
DWORD gameThread = 0;
bool insideScript = false;
std::uint64_t frameNumber = 0;
std::uint64_t nativeResult = 0;

void note(HostCall call, std::uint64_t first, std::uint64_t second, const char* text) {
    HostRecord record{call, first, second, {}};
    if (text != nullptr) {
        std::snprintf(record.text, sizeof record.text, "%s", text);
    }
    AcquireSRWLockExclusive(&recordLock);
    records.push_back(record);
    ReleaseSRWLockExclusive(&recordLock);
}

std::uint64_t address(const void* pointer) {
    return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The script's calls are only valid from inside the script, on the game's thread.
void requireScript(const char* operation) {
    if (!insideScript || GetCurrentThreadId() != gameThread) {
        char text[96];
        std::snprintf(text, sizeof text, "%s called outside the script", operation);
        note(HostCall::Fault, 0, 0, text);
    }
}

void WINAPI runScript(void*) {
    scriptFunction();
    // A script function must never return; if it does, park the fiber for good.
    note(HostCall::Fault, 0, 0, "the script function returned");
    for (;;) {
        SwitchToFiber(frameFiber);
    }
}

struct KeyMessage {
    unsigned long key;
    int isRelease;
    int withAlt;
    const char* thread;
};

void deliver(const KeyMessage& message) {
    AcquireSRWLockShared(&recordLock);
    const KeyboardHandler handler = keyboardHandler;
    ReleaseSRWLockShared(&recordLock);
    note(HostCall::KeyMessage, message.key, static_cast<std::uint64_t>(message.isRelease), message.thread);
    if (handler == nullptr) {
        note(HostCall::Fault, message.key, 0, "key message without a keyboard handler");
        return;
    }
    // Virtual-key code, repeat count, scan code, extended, with Alt, was down before,
    // is up now: the host reports a release as "was down, is up".
    handler(message.key, 1, 0, 0, message.withAlt, message.isRelease, message.isRelease);
}

DWORD WINAPI deliverOnThread(void* parameter) {
    deliver(*static_cast<const KeyMessage*>(parameter));
    return 0;
}

}  // namespace

extern "C" {

void standinScriptRegister(HINSTANCE module, ScriptFunction script) {
    note(HostCall::ScriptRegister, address(module), address(reinterpret_cast<const void*>(script)), nullptr);
    if (scriptFunction != nullptr) {
        note(HostCall::Fault, 0, 0, "a second script registered");
    }
    scriptModule = module;
    scriptFunction = script;
}

void standinScriptUnregister(HINSTANCE module) {
    note(HostCall::ScriptUnregister, address(module), 0, nullptr);
    if (module != scriptModule) {
        note(HostCall::Fault, address(module), 0, "unregistered a module that registered no script");
        return;
    }
    if (insideScript) {
        note(HostCall::Fault, 0, 0, "the script unregistered itself");
        return;
    }
    // The script stops for good: its fiber is never resumed again.
    if (scriptFiber != nullptr) {
        DeleteFiber(scriptFiber);
        scriptFiber = nullptr;
    }
    scriptModule = nullptr;
    scriptFunction = nullptr;
}

void standinKeyboardHandlerRegister(KeyboardHandler handler) {
    note(HostCall::KeyboardHandlerRegister, address(reinterpret_cast<const void*>(handler)), 0, nullptr);
    AcquireSRWLockExclusive(&recordLock);
    keyboardHandler = handler;
    ReleaseSRWLockExclusive(&recordLock);
}

void standinKeyboardHandlerUnregister(KeyboardHandler handler) {
    note(HostCall::KeyboardHandlerUnregister, address(reinterpret_cast<const void*>(handler)), 0, nullptr);
    AcquireSRWLockExclusive(&recordLock);
    if (keyboardHandler == handler) {
        keyboardHandler = nullptr;
    }
    ReleaseSRWLockExclusive(&recordLock);
}

void standinScriptWait(unsigned long milliseconds) {
    note(HostCall::ScriptWait, milliseconds, 0, nullptr);
    requireScript("scriptWait");
    if (insideScript && GetCurrentThreadId() == gameThread) {
        SwitchToFiber(frameFiber);
    }
}

void standinNativeInit(std::uint64_t hash) {
    note(HostCall::NativeInit, hash, 0, nullptr);
    requireScript("nativeInit");
}

void standinNativePush64(std::uint64_t value) {
    note(HostCall::NativePush64, value, 0, nullptr);
    requireScript("nativePush64");
}

std::uint64_t* standinNativeCall() {
    note(HostCall::NativeCall, 0, 0, nullptr);
    requireScript("nativeCall");
    nativeResult = 0;
    return &nativeResult;
}

void standinRunFrame() {
    note(HostCall::Frame, ++frameNumber, 0, nullptr);
    if (scriptFunction == nullptr) {
        return;
    }
    if (frameFiber == nullptr) {
        gameThread = GetCurrentThreadId();
        frameFiber = ConvertThreadToFiber(nullptr);
        if (frameFiber == nullptr) {
            note(HostCall::Fault, GetLastError(), 0, "the game thread could not become a fiber");
            return;
        }
    }
    if (GetCurrentThreadId() != gameThread) {
        note(HostCall::Fault, 0, 0, "a frame ran on another thread");
        return;
    }
    if (scriptFiber == nullptr) {
        scriptFiber = CreateFiber(0, runScript, nullptr);
        if (scriptFiber == nullptr) {
            note(HostCall::Fault, GetLastError(), 0, "no fiber for the script");
            return;
        }
    }
    insideScript = true;
    SwitchToFiber(scriptFiber);
    insideScript = false;
}

void standinSendKey(unsigned long key, int isRelease, int fromOtherThread) {
    standinSendKeyWithAlt(key, isRelease, 0, fromOtherThread);
}

void standinSendKeyWithAlt(unsigned long key, int isRelease, int withAlt, int fromOtherThread) {
    if (fromOtherThread == 0) {
        deliver(KeyMessage{key, isRelease, withAlt, "game thread"});
        return;
    }
    KeyMessage message{key, isRelease, withAlt, "other thread"};
    HANDLE thread = CreateThread(nullptr, 0, deliverOnThread, &message, 0, nullptr);
    if (thread == nullptr) {
        note(HostCall::Fault, GetLastError(), 0, "no keyboard thread");
        return;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void standinNote(HostCall call, std::uint64_t first, const char* text) {
    note(call, first, 0, text);
}

std::uint32_t standinRecordCount() {
    AcquireSRWLockShared(&recordLock);
    const auto count = static_cast<std::uint32_t>(records.size());
    ReleaseSRWLockShared(&recordLock);
    return count;
}

int standinRecordAt(std::uint32_t index, HostRecord* out) {
    AcquireSRWLockShared(&recordLock);
    const bool found = index < records.size();
    if (found) {
        *out = records[index];
    }
    ReleaseSRWLockShared(&recordLock);
    return found ? 1 : 0;
}

}  // extern "C"
