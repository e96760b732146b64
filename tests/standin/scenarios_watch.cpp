// Scenarios of the watched file or folder: a reload after each save, none of a
// broken file, and the versions the game received kept.
#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "tests/standin/driver.h"

namespace {

const char wellFormed[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<CVegetationModifiers>\r\n  <Item type=\"Grass\" value=\"0.5\"/>\r\n"
    "</CVegetationModifiers>\r\n";
const char broken[] = "<CVegetationModifiers>\r\n  <Item type=\"Grass\">\r\n</CVegetationModifiers>\r\n";

// The contents of the files in `folder` whose names start with `prefix`, sorted.
std::vector<std::string> contentsOf(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> contents;
    for (const FoundEntry& entry : entriesOf(folder, prefix)) {
        contents.push_back(readFile(folder + "\\" + entry.name));
    }
    std::sort(contents.begin(), contents.end());
    return contents;
}

// One save, then an editor's save in three writes 100 ms apart: two reloads.
void watchedFileSavesReload() {
    enterOwnDirectory();
    writeFile("VegetationModifiers.meta", wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile = VegetationModifiers.meta\n");
    const Plugin plugin = loadPlugin();
    expectRun(runFramesFor(800), 0, {}, "frames after the start, whose file state is the baseline");
    writeFile("VegetationModifiers.meta", std::string(wellFormed) + "\r\n");
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after one save");
    for (int write = 0; write < 3; ++write) {
        writeFile("VegetationModifiers.meta", std::string(wellFormed) + std::string(write + 2, ' '));
        expectRun(runFramesFor(100), 0, {}, "frames between the writes of one save");
    }
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after a save in three writes");
    unloadPlugin(plugin);
    expectLogLine(logLines(), "INFO reload: watched file saved (written ");
}

void watchedFileMissing() {
    enterOwnDirectory();
    deleteFile("missing.meta");
    writeSettings("[BrackenfoldConfig]\nWatchFile=\"missing.meta\"\n");
    const Plugin plugin = loadPlugin("Brackenfold: watched file not found: missing.meta");
    expectRun(runFramesFor(1000), 0, {}, "frames while the file stays missing");
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a key reload while the watched file is missing, unchecked");
    unloadPlugin(plugin);
    expectLogLine(logLines(), "WARN reload: watched file missing.meta not found; reloading without the XML check");
}

void watchedFileBrokenThenMended() {
    enterOwnDirectory();
    writeFile("VegetationModifiers.meta", wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile=VegetationModifiers.meta\n");
    const Plugin plugin = loadPlugin();
    runFramesFor(500);
    writeFile("VegetationModifiers.meta", broken);
    const std::string error =
        "Brackenfold: VegetationModifiers.meta not reloaded: XML error at line 3, column 3: expected </Item>";
    expectRun(runFramesFor(1200), 0, {error}, "frames after a save that breaks the XML");
    writeFile("VegetationModifiers.meta", wellFormed);
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after the save that mends it");
    unloadPlugin(plugin);
    expectLogLine(logLines(), "ERROR reload: " + error.substr(13));
}

// A watched file more than 260 characters from the drive's root, which only a path
// in its long form reaches on Windows.
void watchedFileDeepBelowTheGame() {
    enterOwnDirectory();
    const std::string longForm = "\\\\?\\";
    std::string folder = longForm + currentDirectory() + "\\deep";
    removeTree(folder);
    makeFolder(folder);
    for (int level = 1; wide(folder).size() - longForm.size() < 280; ++level) {
        folder += "\\folder " + std::to_string(level) + " of a mod kept far below the game's own folder";
        if (!makeFolder(folder)) {
            fail("cannot make the folder %s (error %lu)", folder.c_str(), GetLastError());
        }
    }
    const std::string file = folder + "\\VegetationModifiers.meta";
    writeFile(file, wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile=" + file.substr(longForm.size()) + "\n");
    const Plugin plugin = loadPlugin();
    expectRun(runFramesFor(800), 0, {}, "frames after the start, whose file state is the baseline");
    writeFile(file, std::string(wellFormed) + "\r\n");
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after a save of the deep file");
    unloadPlugin(plugin);
    expectLogLine(logLines(), "INFO reload: watched file saved (written ");
}

const char edited[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<CVegetationModifiers>\r\n  <Item type=\"Grass\" value=\"0.7\"/>\r\n"
    "</CVegetationModifiers>\r\n";

// Whether `name` is a kept copy's: `prefix` (the path below the folder, then "."),
// the local time, perhaps "-2", "-3", ... and ".meta".
bool keptCopyName(const std::string& name, const std::string& prefix) {
    static const std::regex rest(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d(-[0-9]+)?\.meta)");
    return name.compare(0, prefix.size(), prefix) == 0 && std::regex_match(name.substr(prefix.size()), rest);
}

// A mod loader's folder with two mods, one named with characters no ANSI code page
// holds: a save in each reloads once, a broken save is refused by its path below the
// folder, and the save that mends it reloads; each version the game received is kept,
// named by that path.
void watchedFolderOfMods() {
    enterOwnDirectory();
    removeTree("lml");
    removeTree("BrackenfoldHistory");
    const std::string modA = "ModA\\VegetationModifiers.meta";
    const std::string modB = "Мод ★\\VegetationModifiers.meta";
    for (const char* folder : {"lml", "lml\\ModA", "lml\\Мод ★"}) {
        makeFolder(folder);
    }
    writeFile("lml\\" + modA, wellFormed);
    writeFile("lml\\" + modB, wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    const Plugin plugin = loadPlugin();
    expectRun(runFramesFor(800), 0, {}, "frames after the start, whose files are the baseline");
    writeFile("lml\\" + modA, std::string(wellFormed) + "\r\n");
    expectRun(runFramesFor(1500), 1, {reloadText}, "frames after a save in one mod");
    writeFile("lml\\" + modB, edited);
    expectRun(runFramesFor(1500), 1, {reloadText}, "frames after a save in the other mod");
    writeFile("lml\\" + modB, broken);
    const std::string error =
        "Brackenfold: " + modB + " not reloaded: XML error at line 3, column 3: expected </Item>";
    expectRun(runFramesFor(1500), 0, {error}, "frames after a save that breaks it");
    const std::string mended = std::string(edited) + "<!-- mended -->\r\n";
    writeFile("lml\\" + modB, mended);
    expectRun(runFramesFor(1500), 1, {reloadText}, "frames after the save that mends it");
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogLine(lines, "INFO reload: watched file " + modA + " saved (written ");
    expectLogLine(lines, "INFO reload: watched file " + modB + " saved (written ");
    expectLogLine(lines, "ERROR reload: " + error.substr(13));
    expectLogLine(lines, "INFO reload: " + modB + ": changed at line 3 (4 lines before, 4 now)");
    expectLogLine(lines, "INFO reload: " + modB + ": changed at line 5 (4 lines before, 5 now)");
    expectLogLine(lines, "INFO reload: 1 watched file unchanged since the last reload");
    const std::vector<FoundEntry> kept = entriesOf("BrackenfoldHistory");
    const auto named = [&](const std::string& prefix) {
        return std::count_if(kept.begin(), kept.end(),
                             [&](const FoundEntry& entry) { return keptCopyName(entry.name, prefix); });
    };
    if (kept.size() != 4 || named("ModA_VegetationModifiers.") != 1 || named("Мод ★_VegetationModifiers.") != 3) {
        for (const FoundEntry& entry : kept) {
            std::printf("    %s\n", entry.name.c_str());
        }
        fail("BrackenfoldHistory holds %zu entries, not one copy of ModA and three of Мод ★ named by their paths",
             kept.size());
    }
    if (contentsOf("BrackenfoldHistory", "ModA_VegetationModifiers.") !=
            std::vector<std::string>{std::string(wellFormed) + "\r\n"} ||
        contentsOf("BrackenfoldHistory", "Мод ★_VegetationModifiers.") !=
            std::vector<std::string>{wellFormed, edited, mended}) {
        fail("BrackenfoldHistory does not hold the versions the game received");
    }
}

// Two saves of a single watched file: two reloads, two copies, the change logged.
void watchedFileVersionsKept() {
    enterOwnDirectory();
    removeTree("BrackenfoldHistory");
    writeFile("VegetationModifiers.meta", wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile=VegetationModifiers.meta\nKeepVersions=5\n");
    const Plugin plugin = loadPlugin();
    runFramesFor(800);
    writeFile("VegetationModifiers.meta", edited);
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after the first save");
    writeFile("VegetationModifiers.meta", std::string(edited) + "<!-- tried -->\r\n");
    expectRun(runFramesFor(1200), 1, {reloadText}, "frames after the second save");
    unloadPlugin(plugin);
    const std::vector<std::string> lines = logLines();
    expectLogLine(lines, "INFO reload: VegetationModifiers.meta: first reload in this run (4 lines)");
    expectLogLine(lines, "INFO reload: VegetationModifiers.meta: changed at line 5 (4 lines before, 5 now)");
    expectLogLine(lines, "INFO reload: kept VegetationModifiers.meta as BrackenfoldHistory\\VegetationModifiers.");
    const std::vector<std::string> kept = contentsOf("BrackenfoldHistory", "VegetationModifiers.");
    if (kept != std::vector<std::string>{edited, std::string(edited) + "<!-- tried -->\r\n"}) {
        fail("BrackenfoldHistory holds %zu copies, not the two versions the game received", kept.size());
    }
}

// The names of a copy's part for each second from one before now to four after:
// where the plug-in writes a copy of VegetationModifiers.meta in a reload now.
std::vector<std::string> partNamesAroundNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    FILETIME time{};
    SystemTimeToFileTime(&now, &time);
    std::vector<std::string> names;
    for (int second = -1; second <= 4; ++second) {
        ULARGE_INTEGER at{};
        at.LowPart = time.dwLowDateTime;
        at.HighPart = time.dwHighDateTime;
        at.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(second) * 10'000'000);
        const FILETIME moved{at.LowPart, at.HighPart};
        SYSTEMTIME local{};
        FileTimeToSystemTime(&moved, &local);
        char name[96];
        std::snprintf(name, sizeof name, "VegetationModifiers.%04u-%02u-%02u_%02u-%02u-%02u.meta.partial", local.wYear,
                      local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond);
        names.emplace_back(name);
    }
    return names;
}

// A scanner opens the copy being written and lets no one rename or delete it: no
// part takes a copy's name, and the next start, which finds only parts, makes the
// copy whole and removes them.
void watchedFileCopyHeldByAnotherProgram() {
    enterOwnDirectory();
    removeTree("BrackenfoldHistory");
    makeFolder("BrackenfoldHistory");
    writeFile("VegetationModifiers.meta", wellFormed);
    writeSettings("[BrackenfoldConfig]\nWatchFile=VegetationModifiers.meta\n");
    std::vector<HANDLE> held;
    for (const std::string& name : partNamesAroundNow()) {
        held.push_back(CreateFileW(wide("BrackenfoldHistory\\" + name).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (held.back() == INVALID_HANDLE_VALUE) {
            fail("cannot hold %s (error %lu)", name.c_str(), GetLastError());
        }
    }
    Plugin plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectRun(runFramesFor(300), 1, {reloadText}, "frames after F10 while a program holds the copy");
    unloadPlugin(plugin);
    for (const HANDLE file : held) {
        CloseHandle(file);
    }
    expectLogLine(logLines(), "cannot take its copy's name (in use by another program; Windows error 32); this "
                              "version is not kept, and the part left is no copy");
    std::size_t whole = 0;
    for (const FoundEntry& entry : entriesOf("BrackenfoldHistory")) {
        if (entry.name.ends_with(".meta")) {
            fail("BrackenfoldHistory holds %s while no copy could be made whole", entry.name.c_str());
        }
        whole += readFile("BrackenfoldHistory\\" + entry.name) == wellFormed ? 1 : 0;
    }
    if (whole != 1) {
        fail("%zu parts hold the version the game received, not 1", whole);
    }

    // The next start takes no part for a version: the same bytes are copied, whole.
    plugin = loadPlugin();
    pressAndRelease(keyF10);
    expectRun(runFramesFor(300), 1, {reloadText}, "frames after F10 at the next start");
    unloadPlugin(plugin);
    expectLogLine(logLines(), "INFO history: removed 6 unfinished copies (.partial)");
    const std::vector<FoundEntry> after = entriesOf("BrackenfoldHistory");
    if (after.size() != 1 || !after[0].name.ends_with(".meta") ||
        readFile("BrackenfoldHistory\\" + after[0].name) != wellFormed) {
        fail("BrackenfoldHistory holds %zu files, not one whole copy", after.size());
    }
}

}  // namespace

std::vector<Scenario> watchScenarios() {
    return {
        {"watched_file_saves_reload", watchedFileSavesReload},
        {"watched_file_missing", watchedFileMissing},
        {"watched_file_broken_then_mended", watchedFileBrokenThenMended},
        {"watched_file_deep_below_the_game", watchedFileDeepBelowTheGame},
        {"watched_folder_of_mods", watchedFolderOfMods},
        {"watched_file_versions_kept", watchedFileVersionsKept},
        {"watched_file_copy_held_by_another_program", watchedFileCopyHeldByAnotherProgram},
    };
}
