// The script: start-up once, then one pass per game frame that reloads the game's
// vegetation modifier data when the reload key has just been released, looks for
// changed settings, and shows what the player should know.
#pragma once

#include <cstdint>

#include "host/kernel.h"
#include "report/messages.h"

extern const char gameModuleName[];      // "RDR2.exe"
extern const char reloadDataName[];      // "VegetationModifiers"
extern const char reloadMessage[];       // "Reloaded VegetationModifiers.meta"
extern const char unavailableMessage[];  // shown when the game routine cannot be found

// What the script knows of the plug-in itself, handed down by the entry at load:
// this copy's module handle (null before it registers, and in a copy that stood
// back for another) and its version.
extern ModuleHandle pluginModule;
extern const char* pluginVersion;

// Start-up: opens the log, records the plug-in and the game, finds the game's
// module and loads the settings.
void startScript();

// One pass of the loop: settings looked at, a reload if the key was just released,
// a waiting notice shown, then scriptWait(0). Nothing is thrown out of it.
void runPass();

// The script function given to the host: start-up, then passes forever.
void scriptEntry();
