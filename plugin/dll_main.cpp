#include "plugin/dll_main.h"

#include "host/script_host.h"
#include "keys/key_records.h"
#include "plugin/single_instance.h"
#include "plugin/version.h"
#include "reload/reload_loop.h"
#include "reload/reload_record.h"
#include "report/log.h"

extern "C" int BRACKENFOLD_WINAPI DllMain(ModuleHandle module, unsigned long reason, void*) {
    switch (reason) {
    case processAttach:
        if (!claimInstance()) {
            break;
        }
        pluginModule = module;
        pluginVersion = brackenfoldVersion;
        scriptRegister(module, scriptEntry);
        keyboardHandlerRegister(handleKeyMessage);
        break;
    case processDetach:
        if (pluginModule != module) {
            break;
        }
        scriptUnregister(module);
        keyboardHandlerUnregister(handleKeyMessage);
        closeReloadRecord();
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
