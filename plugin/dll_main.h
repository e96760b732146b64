// The plug-in's only entry: registers the script and the keyboard handler with the
// host on process attach, and withdraws both on process detach. Always returns 1.
#pragma once

#include "plugin/kernel.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
