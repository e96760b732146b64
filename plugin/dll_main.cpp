#include "plugin/dll_main.h"

#include "host/script_host.h"
#include "keys/key_records.h"
#include "plugin/single_instance.h"
#include "plugin/version.h"
#include "reload/reload_loop.h"
#include "report/log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        if (!claimInstance()) {
            break;
        }
        pluginModule = module;
        pluginVersion = brackenfoldVersion;
        scriptRegister(module, scriptEntry);
        keyboardHandlerRegister(handleKeyMessage);
        break;
    case DLL_PROCESS_DETACH:
        if (pluginModule != module) {
            break;
        }
        scriptUnregister(module);
        keyboardHandlerUnregister(handleKeyMessage);
        logLine(LogLevel::Info, "unloaded");
        closeLog();
        releaseInstance();
        pluginModule = nullptr;
        break;
    default:
        break;
    }
    return 1;
}
