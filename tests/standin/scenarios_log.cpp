// Scenarios of what the plug-in tells a player who reports a problem: the log
// beside the game, the versions, and one copy of the plug-in per game.
#include <cstdio>
#include <string>

#include "locate/byte_scan.h"
#include "tests/standin/driver.h"
#include "tests/standin/game_image.h"

namespace {

// The vector width the plug-in's search runs with in this process, as the log names it.
std::string searchWidth() { return vectorWidthName(widthUsed()); }

// The lines every log starts with in a scenario's own directory without settings.
void expectLogStart(const std::vector<std::string>& lines) {
    const std::string version =
        "INFO Brackenfold " BRACKENFOLD_VERSION_TEXT " (" + currentDirectory() + "\\Brackenfold.asi)";
    const std::string game = "INFO game: RDR2.exe 1.0.1491.50, image " + std::to_string(gameImageSize()) + " bytes";
    if (lines.size() < 2 || lines[0] != version || lines[1] != game) {
        fail("the log starts \"%s\", \"%s\"; expected \"%s\", \"%s\"", lines.empty() ? "" : lines[0].c_str(),
             lines.size() < 2 ? "" : lines[1].c_str(), version.c_str(), game.c_str());
    }
}

void logRecordsAReload() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    const std::string calling = "INFO reload: calling the game routine with \"VegetationModifiers\"";
    // Read by the routine while it ran: the line before the call was already in the file.
    if (logLineAtRoutineCall().substr(15) != calling) {
        fail("while the routine ran, the log's last line was \"%s\"", logLineAtRoutineCall().c_str());
    }
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogStart(lines);
    expectLogLine(lines, "INFO setting ReloadKey: F10 (121)");
    expectLogLine(lines, "INFO reload: F10 (121) released");
    expectLogLine(lines, "INFO reload: game routine found at " + routineText() + " in ");
    // The only search, so the only line that can hold this.
    expectLogLine(lines, " ms with " + searchWidth() + " " + searchedText(mappedKinds(routineOffset() + 34)));
    expectLogLine(lines, calling);
    expectLogLine(lines, "INFO reload: the game routine returned");
    if (lines.back() != "INFO unloaded") {
        fail("the log's last line is \"%s\", not the unload", lines.back().c_str());
    }
}

void logRecordsAMissingRoutine() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    {
        const PatchedRoutine patched;
        pressAndRelease(keyF10);
        expectFrame(unavailableFrame(), "a release while the signature is gone");
    }
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogStart(lines);
    expectLogLine(lines, "ERROR reload: game routine not found in ");
    // The code of the whole image, as its section headers lay it out.
    expectLogLine(lines, " ms with " + searchWidth() + " " + searchedText(mappedKinds(gameImageSize())));
}

// The game's folder takes no log: a directory stands where the file would be. The
// user's folder, where the log goes instead, has a name no ANSI code page holds.
void logFallsBackToLocalAppData() {
    enterOwnDirectory();
    const std::string user = currentDirectory() + "\\Пользователь ★";
    const std::string appData = user + "\\AppData\\Local";
    const std::string fallback = appData + "\\Brackenfold\\Brackenfold.log";
    removeTree(user);
    if (!makeFolder(user) || !makeFolder(user + "\\AppData") || !makeFolder(appData)) {
        fail("cannot make the user's folder %s", appData.c_str());
    }
    if (!makeFolder("Brackenfold.log") || SetEnvironmentVariableW(L"LOCALAPPDATA", wide(appData).c_str()) == 0) {
        fail("cannot block the log in the game's folder");
    }
    const Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines(fallback.c_str());
    expectLogStart(lines);
    expectLogLine(lines, "WARN log: the game's folder takes no Brackenfold.log; this log is " + fallback);
    expectLogLine(lines, "INFO reload: the game routine returned");
}

// A second copy of the plug-in under another name, loaded after the script's first
// frame, makes no host call at all.
void twoCopiesGiveOneReload() {
    enterOwnDirectory();
    const std::string copy = currentDirectory() + "\\Brackenfold copy.asi";
    copyFile(currentDirectory() + "\\Brackenfold.asi", copy);
    const Plugin plugin = loadPlugin();
    const HMODULE second = loadIdleCopy(copy, Loader::scriptHost);
    if (second == plugin.module) {
        fail("the copy did not load as a module of its own");
    }
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released: one reload");
    expectFrame(idleFrame(), "the frame after that");
    unloadIdleCopy(second);
    deleteFile(copy);
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    int versionLines = 0;
    for (const std::string& line : lines) {
        versionLines += line.rfind("INFO Brackenfold ", 0) == 0 ? 1 : 0;
    }
    if (versionLines != 1) {
        fail("the log holds %d starts of the plug-in; one expected", versionLines);
    }
}

const char callingLine[] = "INFO reload: calling the game routine with \"VegetationModifiers\"";
const char forestPlus[] = "lml\\ForestPlus\\VegetationModifiers.meta";
const char forestData[] = "<CVegetationModifiers>\r\n  <Item type=\"fern\" value=\"0.5\"/>\r\n</CVegetationModifiers>\r\n";

// This game, run again in the current directory for `scenario`; its exit code.
DWORD runGame(const char* scenario) {
    std::wstring exe(32'768, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    std::wstring commandLine = L"RDR2.exe " + wide(scenario);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == 0) {
        fail("cannot start the game for %s (error %lu)", scenario, GetLastError());
    }
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, 60'000) != WAIT_OBJECT_0 ||
        GetExitCodeProcess(process.hProcess, &code) == 0) {
        TerminateProcess(process.hProcess, 1);
        fail("the game for %s did not end", scenario);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The run before, in its own process: a reload the game receives, then a save that
// holds the marker, whose reload the game never returns from.
void gameStopsInItsRoutine() {
    loadPlugin();
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "the first reload, whose version is kept");
    writeFile(forestPlus, std::string(forestData) + gameStopsMarker + "\r\n");
    runFramesFor(5000);
    fail("the game did not stop in its routine");
}

void gameStoppedInItsRoutineIsToldAtTheNextStart() {
    enterOwnDirectory();
    removeTree("lml");
    removeTree("BrackenfoldHistory");
    makeFolder("lml");
    makeFolder("lml\\ForestPlus");
    writeFile(forestPlus, forestData);
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    const DWORD code = runGame("game_stops_in_its_routine");
    if (code != gameStoppedExitCode) {
        fail("the run before ended with exit code %lu, not %u, the game stopped in its routine", code,
             gameStoppedExitCode);
    }
    const std::vector<std::string> lastRun = logLines();
    if (lastRun.back() != callingLine) {
        fail("the run before's log ends \"%s\", not with the call of the routine", lastRun.back().c_str());
    }
    const std::vector<FoundEntry> kept = entriesOf("BrackenfoldHistory");
    if (kept.size() != 1) {
        fail("the run before kept %zu copies, not 1", kept.size());
    }
    const std::string told = "Brackenfold: the game stopped during the last reload (ForestPlus\\VegetationModifiers.meta "
                             "had changed); the version before is BrackenfoldHistory\\" + kept[0].name;
    Plugin plugin = loadPlugin(told.c_str());
    expectRun(runFramesFor(300), 0, {}, "the frames after: told once");
    unloadPlugin(plugin);
    if (logLines("Brackenfold.previous.log") != lastRun) {
        fail("Brackenfold.previous.log does not hold the run before's log");
    }
    expectLogLine(logLines(), "WARN reload:   ForestPlus\\VegetationModifiers.meta had changed; the version before "
                              "is BrackenfoldHistory\\" + kept[0].name);
    // The run that unloaded leaves nothing to tell.
    plugin = loadPlugin();
    unloadPlugin(plugin);
    if (exists("Brackenfold.reloading")) {
        fail("the record of a reload is left after the plug-in unloaded");
    }
}

// Reloads until the log has gone on in a fresh file, then one more.
void logGoesOnPastOneMebibyte() {
    enterOwnDirectory();
    const Plugin plugin = loadPlugin();
    int reloads = 0;
    while (!exists("Brackenfold.1.log")) {
        if (++reloads > 20'000) {
            fail("after %d reloads the log has not gone on in a fresh file", reloads);
        }
        pressAndRelease(keyF10);
        expectFrame(reloadFrame(), "a reload on the way to 1 MiB of log");
    }
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a reload after the log went on");
    if (logLineAtRoutineCall().substr(15) != callingLine) {
        fail("while the routine ran, the fresh log's last line was \"%s\"", logLineAtRoutineCall().c_str());
    }
    unloadPlugin(plugin);
    const std::string full = readFile("Brackenfold.1.log");
    if (full.size() > (1u << 20) || full.size() < (1u << 20) - 4096) {
        fail("Brackenfold.1.log holds %zu bytes, not just under 1 MiB", full.size());
    }
    const std::vector<std::string> before = logLines("Brackenfold.1.log");
    const std::vector<std::string> fresh = logLines();
    if (fresh.empty() || fresh[0].rfind("INFO log: continued from Brackenfold.1.log", 0) != 0) {
        fail("the fresh log starts \"%s\"", fresh.empty() ? "" : fresh[0].c_str());
    }
    expectLogStart({fresh.begin() + 1, fresh.end()});
    expectLogLine(fresh, "INFO setting ReloadKey: F10 (121)");
    expectLogLine(before, "INFO reload: F10 (121) released");
    if (fresh.back() != "INFO unloaded") {
        fail("the fresh log's last line is \"%s\", not the unload", fresh.back().c_str());
    }
    std::printf("the log went on after %d reloads\n", reloads);
}

std::string versionString(const std::vector<char>& block, const char* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring path = L"\\StringFileInfo\\040904b0\\" + wide(name);
    if (VerQueryValueW(block.data(), path.c_str(), &value, &length) == 0 || length == 0) {
        return "";
    }
    return utf8(static_cast<const wchar_t*>(value));
}

// Windows reads the version resource of Brackenfold.asi as the file's properties.
void pluginVersionResource() {
    const std::wstring path = wide(directoryOfExe() + "Brackenfold.asi");
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (block.empty() || GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) == 0) {
        fail("Brackenfold.asi has no version resource");
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) == 0 || fixed == nullptr) {
        fail("the version resource has no fixed file information");
    }
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%u.%u.%u", unsigned{HIWORD(fixed->dwFileVersionMS)},
                  unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)});
    const std::pair<const char*, std::string> expected[] = {
        {"fixed file version", BRACKENFOLD_VERSION_TEXT},
        {"FileVersion", BRACKENFOLD_VERSION_TEXT},
        {"ProductVersion", BRACKENFOLD_VERSION_TEXT},
        {"ProductName", "Brackenfold"},
        {"OriginalFilename", "Brackenfold.asi"},
    };
    for (const auto& [name, value] : expected) {
        const std::string found = std::string(name) == "fixed file version" ? numbers : versionString(block, name);
        if (found != value) {
            fail("%s is \"%s\", not \"%s\"", name, found.c_str(), value.c_str());
        }
    }
    if (versionString(block, "FileDescription").empty()) {
        fail("the version resource has no description");
    }
}

}  // namespace

std::vector<Scenario> logScenarios() {
    return {
        {"log_records_a_reload", logRecordsAReload},
        {"log_records_a_missing_routine", logRecordsAMissingRoutine},
        {"log_falls_back_to_local_app_data", logFallsBackToLocalAppData},
        {"two_copies_give_one_reload", twoCopiesGiveOneReload},
        {"plugin_version_resource", pluginVersionResource},
        {"game_stopped_in_its_routine_is_told_at_the_next_start", gameStoppedInItsRoutineIsToldAtTheNextStart},
        {"game_stops_in_its_routine", gameStopsInItsRoutine},
        {"log_goes_on_past_one_mebibyte", logGoesOnPastOneMebibyte},
    };
}
