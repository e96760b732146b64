#include "reload/reload_loop.h"

#include "plugin/kernel.h"
#include "plugin/key_records.h"
#include "plugin/script_host.h"
#include "reload/game_routine.h"
#include "reload/reload_key.h"
#include "reload/signature_scan.h"

std::uint32_t reloadKey = defaultReloadKey;

const char gameModuleName[] = "RDR2.exe";
const char reloadDataName[] = "VegetationModifiers";
const char reloadMessage[] = "Reloaded VegetationModifiers.meta";
const char unavailableMessage[] = "VegetationModifiers reload unavailable: game routine not found";

namespace {

void reload() {
    const std::uint8_t* entry = nullptr;
    try {
        entry = findPattern(reloadSignature);
    } catch (...) {
        // No memory for the pattern: treated like a routine that cannot be found.
    }
    if (entry == nullptr) {
        showMessage(unavailableMessage);
        return;
    }
    callGameRoutine(entry, reloadDataName);
    showMessage(reloadMessage);
}

}  // namespace

void showMessage(const char* text) {
    nativeInit(messageNatives[0]);
    nativePush64(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text)));
    nativeCall();
    for (int i = 1; i < 4; ++i) {
        nativeInit(messageNatives[i]);
        nativeCall();
    }
}

void startScript() {
    gameModuleBase = reinterpret_cast<const std::uint8_t*>(GetModuleHandleA(gameModuleName));
    loadSettings();
}

void runPass() {
    const std::uint32_t key = reloadKey;
    if (key < keyRecordCount && consumeKeyRelease(key)) {
        reload();
    }
    scriptWait(0);
}

void scriptEntry() {
    startScript();
    for (;;) {
        runPass();
    }
}
