#include "reload/other_copies.h"

#include <cstdint>
#include <string>

#include "place/own_files.h"
#include "report/log.h"
#include "report/messages.h"
#include "report/version_resource.h"
#include "text/clean_text.h"

const char productName[] = "Brackenfold";

namespace {

// The path of `module` when it is a copy of the plug-in; empty otherwise.
std::string copyPath(ModuleHandle module) {
    // Held while its resource is read: another thread may unload it meanwhile.
    if (!holdModule(module)) {
        return {};
    }
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    const bool copy =
        moduleVersionResource(module, data, size) && versionTextIs(data, size, "ProductName", productName);
    std::string path = copy ? modulePath(module) : std::string();
    letModuleGo(module);
    if (copy && path.empty()) {
        path = "(its path cannot be had)";
    }
    return path;
}

}  // namespace

std::size_t tellOtherCopies(ModuleHandle self) {
    std::size_t told = 0;
    try {
        for (const ModuleHandle module : processModules()) {
            const std::string path = module != self ? copyPath(module) : std::string();
            if (path.empty()) {
                continue;
            }
            const CleanText shown = cleanText(shownPath(path), loggedPathLimit);
            logLine(LogLevel::Warn,
                    "Brackenfold: another copy stays idle: %s (only this copy reloads and reads its settings; remove "
                    "the other)",
                    shown.text);
            queueNotice("Brackenfold: another copy stays idle: %s", shown.text);
            ++told;
        }
    } catch (...) {
        // Out of memory for a path: the copies not yet told stay untold.
    }
    return told;
}
