// The door to the game's reload routine, found by its signature. The Windows build
// calls it; the Linux tests record the call instead of running image bytes.
#pragma once

#include <cstdint>

// The routine's calling form: one text argument; any result is ignored.
using GameReloadRoutine = void (*)(const char* dataName);

void callGameRoutine(const std::uint8_t* entry, const char* dataName);
