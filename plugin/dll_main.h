// The plug-in's only entry. On process attach the first copy of the plug-in in the
// process hands the script its module and version, and registers the script and
// the keyboard handler with the host; on process detach it withdraws both and
// closes the log. A second copy does nothing at all.
// Always returns 1.
#pragma once

#include "host/kernel.h"

extern "C" int BRACKENFOLD_WINAPI DllMain(ModuleHandle module, unsigned long reason, void* reserved);
