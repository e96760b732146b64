// The script: start-up once, then one pass per game frame that reloads the game's
// vegetation modifier data when the reload key has just been released.
#pragma once

#include <cstdint>

// The virtual-key code that triggers a reload; F10 until the settings replace it.
extern std::uint32_t reloadKey;
inline constexpr std::uint32_t defaultReloadKey = 121;

extern const char gameModuleName[];      // "RDR2.exe"
extern const char reloadDataName[];      // "VegetationModifiers"
extern const char reloadMessage[];       // "Reloaded VegetationModifiers.meta"
extern const char unavailableMessage[];  // shown when the game routine cannot be found

// The four game natives that put a text on screen, in call order; only the first
// takes an argument (the text's address).
inline constexpr std::uint64_t messageNatives[4] = {
    0xFA233F8FE190514CULL,
    0xE9990552DEC71600ULL,
    0xA3108D6981A5CADBULL,
    0xDFF0D417277B41F8ULL,
};

// Shows `text` (static storage) on screen through the four message natives.
void showMessage(const char* text);

// Start-up: finds the game's module and loads the reload key setting.
void startScript();

// One pass of the loop: a reload if the key was just released, then scriptWait(0).
void runPass();

// The script function given to the host: start-up, then passes forever.
void scriptEntry();
