// The stand-in script host's control side: what the stand-in game uses to run
// frames, send keyboard messages and read back, in order, every call the plug-in
// made to the host. Plain C linkage, so the game and the host share no C++ runtime.
#pragma once

#include <cstdint>

enum class HostCall : std::uint32_t {
    ScriptRegister,             // first: module handle, second: script function
    ScriptUnregister,           // first: module handle
    KeyboardHandlerRegister,    // first: handler
    KeyboardHandlerUnregister,  // first: handler
    ScriptWait,                 // first: milliseconds
    NativeInit,                 // first: native hash
    NativePush64,               // first: value
    NativeCall,
    // Not calls of the plug-in: what the host and the game did around them.
    Frame,        // the host began a frame; first: frame number from 1
    KeyMessage,   // the host called the keyboard handler; first: key, second: release flag,
                  // text: "game thread" or "other thread"
    GameRoutine,  // the game's reload routine ran; text: its argument
    Fault,        // something a host must never see; text: what
};

struct HostRecord {
    HostCall call;
    std::uint64_t first;
    std::uint64_t second;
    char text[96];
};

extern "C" {
// One game frame: starts the registered script on its first frame, else resumes it
// where its scriptWait left it, and returns when it waits again.
void standinRunFrame();
// Calls the keyboard handler with a key message (release flag 0 or 1), on the
// calling thread or on a new thread that the call waits for.
void standinSendKey(unsigned long key, int isRelease, int fromOtherThread);
// The same, with the handler's "is with Alt" value given (0 or 1).
void standinSendKeyWithAlt(unsigned long key, int isRelease, int withAlt, int fromOtherThread);
// Adds a record of the game's own (GameRoutine) or a fault.
void standinNote(HostCall call, std::uint64_t first, const char* text);
std::uint32_t standinRecordCount();
// Copies record `index` to `out`; false when there is no such record.
int standinRecordAt(std::uint32_t index, HostRecord* out);
}
