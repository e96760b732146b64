#include "reload/reload_loop.h"

#include <cstdio>
#include <cstring>

#include "host/game_routine.h"
#include "host/kernel.h"
#include "host/script_host.h"
#include "keys/key_names.h"
#include "keys/key_records.h"
#include "locate/signature_scan.h"
#include "place/own_files.h"
#include "reload/live_settings.h"
#include "reload/other_copies.h"
#include "reload/reload_record.h"
#include "report/log.h"
#include "report/version_resource.h"
#include "settings/settings.h"
#include "text/clean_text.h"
#include "text/paths.h"
#include "watch/file_watch.h"
#include "watch/received_versions.h"
#include "watch/reload_check.h"

const char gameModuleName[] = "RDR2.exe";
const char reloadDataName[] = "VegetationModifiers";
const char reloadMessage[] = "Reloaded VegetationModifiers.meta";
const char unavailableMessage[] = "VegetationModifiers reload unavailable: game routine not found";

ModuleHandle pluginModule = nullptr;
const char* pluginVersion = "";

namespace {

// A module's path as the log shows it, or "unknown".
CleanText moduleText(ModuleHandle module) {
    const std::string path = modulePath(module);
    return path.empty() ? cleanText("unknown", 7, loggedPathLimit) : cleanText(path, loggedPathLimit);
}

void logPlugin() {
    logLine(LogLevel::Info, "Brackenfold %s (%s)", pluginVersion,
            pluginModule != nullptr ? moduleText(pluginModule).text : "unknown");
    if (ownPlace() == OwnPlace::unknown) {
        logLine(LogLevel::Warn,
                "files: the plug-in's own path cannot be had; its settings, log and kept versions are in the "
                "current directory, the game's folder");
    }
}

void logWhereTheLogIs() {
    if (ownFolder() != logFolder()) {
        logLine(LogLevel::Warn, "log: %s%s takes no %s; this log is %s",
                ownFolder().empty() ? "the game's folder" : "the plug-in's folder ",
                cleanText(ownFolder(), loggedPathLimit).text, logFileName,
                cleanText(logPath(), std::strlen(logPath()), loggedPathLimit).text);
    }
}

void logGame() {
    const std::uint8_t* const base = gameModuleBase;
    if (base == nullptr) {
        logLine(LogLevel::Error, "game: no module %s in this process (%s); reloads are unavailable", gameModuleName,
                fileNameOf(moduleText(nullptr).text));
        return;
    }
    const auto module = reinterpret_cast<ModuleHandle>(const_cast<std::uint8_t*>(base));
    const std::size_t size = imageSize(base);
    if (const auto version = moduleFileVersion(module)) {
        logLine(LogLevel::Info, "game: %s %u.%u.%u.%u, image %zu bytes", gameModuleName, unsigned{version->major},
                unsigned{version->minor}, unsigned{version->build}, unsigned{version->revision}, size);
    } else {
        logLine(LogLevel::Warn, "game: %s, file version unknown, image %zu bytes", gameModuleName, size);
    }
}

// Checks the watched file, finds the routine afresh, calls it and says so.
void reload(std::uint32_t now) {
    if (!watchedFileMayBeReloaded(now)) {
        return;
    }
    if (gameModuleBase == nullptr) {
        forgetCheckedFiles();
        logLine(LogLevel::Error, "reload: no module %s to search; nothing reloaded", gameModuleName);
        tellPlayer(unavailableMessage);
        return;
    }
    const Stopwatch stopwatch = startStopwatch();
    ImageSearch search;
    try {
        search = searchGameImage(reloadSignature);
    } catch (...) {
        forgetCheckedFiles();
        logLine(LogLevel::Error, "reload: no memory for the search; nothing reloaded");
        tellPlayer(unavailableMessage);
        return;
    }
    const double milliseconds = stopwatch.milliseconds();
    if (search.match == nullptr) {
        forgetCheckedFiles();
        logLine(LogLevel::Error,
                "reload: game routine not found in %.3f ms with %s (searched %zu bytes of code, skipped %zu bytes "
                "of data and %zu unreadable bytes); nothing reloaded",
                milliseconds, vectorWidthName(search.width), search.searched, search.skippedData,
                search.skippedUnreadable);
        tellPlayer(unavailableMessage);
        return;
    }
    logLine(LogLevel::Info,
            "reload: game routine found at %s+0x%zX in %.3f ms with %s (searched %zu bytes of code, skipped %zu "
            "bytes of data and %zu unreadable bytes)",
            gameModuleName, static_cast<std::size_t>(search.match - gameModuleBase), milliseconds,
            vectorWidthName(search.width), search.searched, search.skippedData, search.skippedUnreadable);
    recordReloadUnderway();
    logLine(LogLevel::Info, "%s with \"%s\"", routineCallLine, reloadDataName);
    callGameRoutine(search.match, reloadDataName);
    clearReloadRecord();
    logLine(LogLevel::Info, "%s", routineReturnLine);
    tellPlayer(reloadMessage);
    keepReceivedVersions(activeSettings.keepVersions);
}

}  // namespace

void startScript() {
    // Before anything of the plug-in's own is read or made.
    findOwnFolder(pluginModule);
    openLog();
    // What a reader needs first heads every fresh file of the log.
    startLogHeading(LogHeading::start);
    logPlugin();
    gameModuleBase = reinterpret_cast<const std::uint8_t*>(moduleNamed(gameModuleName));
    logGame();
    logWhereTheLogIs();
    endLogHeading();
    clearNotices();
    tellOtherCopies(pluginModule);
    openReloadRecord();
    resetFileWatch();
    loadSettings();
}

void runPass() {
    try {
        const auto now = tickCount();
        std::size_t queries = 0;
        pollSettings(now, &queries);
        const KeyChord key = activeSettings.reloadKey;
        std::uint32_t missing = 0;
        const bool byKey = key.key < keyRecordCount && consumeChordRelease(key, &missing);
        if (missing != 0) {
            logLine(LogLevel::Info, "key: %s released without %s held; %s reloads",
                    keyLabel({key.key, 0}).text, keyLabel({0, missing}).text, keyLabel(key).text);
        }
        const bool byFile = pollWatchedFile(now, watchQueriesPerPass - queries);
        if (byKey) {
            logLine(LogLevel::Info, "reload: %s (%u) released", keyLabel(key).text, static_cast<unsigned>(key.key));
        }
        if (byFile) {
            logSavedFiles();
        }
        if (byKey || byFile) {
            reload(now);
            markWatchedFileReloaded(byFile && !byKey);
        } else {
            tendReloadRecord();
            showNextNotice();
        }
    } catch (...) {
        // Nothing may reach the host; what failed has been logged where it could be.
    }
    scriptWait(0);
}

void scriptEntry() {
    startScript();
    for (;;) {
        runPass();
    }
}
