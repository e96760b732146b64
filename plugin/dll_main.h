// The plug-in's only entry. On process attach the first copy of the plug-in in the
// process registers the script and the keyboard handler with the host; on process
// detach it withdraws both and closes the log. A second copy does nothing at all.
// Always returns 1.
#pragma once

#include "plugin/kernel.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);

// This copy's module handle once it has registered; null before, and in a copy
// that stood back for another.
extern HINSTANCE pluginModule;
