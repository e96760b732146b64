#include "plugin/dll_main.h"

#include "plugin/key_records.h"
#include "plugin/script_host.h"
#include "reload/reload_loop.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        scriptRegister(module, scriptEntry);
        keyboardHandlerRegister(handleKeyMessage);
        break;
    case DLL_PROCESS_DETACH:
        scriptUnregister(module);
        keyboardHandlerUnregister(handleKeyMessage);
        break;
    default:
        break;
    }
    return 1;
}
