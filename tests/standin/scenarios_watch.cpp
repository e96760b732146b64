// Scenarios of the watched file: a reload after each save, and none of a broken file.
#include <string>

#include "tests/standin/driver.h"

namespace {

const char wellFormed[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<CVegetationModifiers>\r\n  <Item type=\"Grass\" value=\"0.5\"/>\r\n"
    "</CVegetationModifiers>\r\n";
const char broken[] = "<CVegetationModifiers>\r\n  <Item type=\"Grass\">\r\n</CVegetationModifiers>\r\n";

void expectRun(const FrameRun& run, int routineCalls, const std::vector<std::string>& shown, const char* what) {
    if (run.routineCalls != routineCalls || run.shown != shown) {
        printRecords(run.records);
        fail("%s: %d routine calls and %zu texts shown; %d and %zu expected", what, run.routineCalls,
             run.shown.size(), routineCalls, shown.size());
    }
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
    DeleteFileA("missing.meta");
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

}  // namespace

std::vector<Scenario> watchScenarios() {
    return {
        {"watched_file_saves_reload", watchedFileSavesReload},
        {"watched_file_missing", watchedFileMissing},
        {"watched_file_broken_then_mended", watchedFileBrokenThenMended},
    };
}
