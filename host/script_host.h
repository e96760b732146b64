// The door to the script host: the eight operations the plug-in imports from it.
// The host binds them by their C++ names, so these parameter and result types are
// part of the contract and must not change (a module handle is Windows' HINSTANCE).
#pragma once

#include <cstdint>

#include "host/module_handle.h"

using ScriptFunction = void (*)();
// Virtual-key code, then three values the plug-in does not use, two it stores
// unchanged, and last a flag that is non-zero when the key was released.
using KeyboardHandler = void (*)(unsigned long, unsigned short, unsigned char, int, int, int, int);

void scriptRegister(ModuleHandle module, ScriptFunction script);
void scriptUnregister(ModuleHandle module);
void keyboardHandlerRegister(KeyboardHandler handler);
void keyboardHandlerUnregister(KeyboardHandler handler);
// Hands control back to the game; returns on a later frame.
void scriptWait(unsigned long milliseconds);
// One native call: nativeInit, one nativePush64 per argument, nativeCall.
void nativeInit(std::uint64_t hash);
void nativePush64(std::uint64_t value);
std::uint64_t* nativeCall();
