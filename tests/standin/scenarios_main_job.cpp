// The plug-in's main job, told as a transcript a person can follow and checked step
// by step: in a game folder laid out as a modder has it, with two mods in the mod
// loader's folder lml, the modder saves an edit, a broken edit and its mending, and
// the plug-in reloads, refuses and reloads; the versions kept and the changes logged
// are read back; then a player reloads with F10.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/standin/driver.h"

namespace {

// The two mods' files, by their paths below lml.
const std::string forestPlus = "ForestPlus\\VegetationModifiers.meta";
const std::string dryGrass = "DryGrass\\VegetationModifiers.meta";

// The plug-in reloads once a save has stayed the same for half a second.
constexpr ULONGLONG quietMs = 500;
// Frames run after each save: the reload is due within about 0.8 s.
constexpr DWORD framesAfterSaveMs = 1500;

std::string forestPlusMod(const char* grassDensity) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<CVegetationModifiers>\r\n"
                       "  <Item type=\"Grass\" density=\"") +
           grassDensity + "\"/>\r\n  <Item type=\"Fern\" density=\"0.8\"/>\r\n</CVegetationModifiers>\r\n";
}

// `closed` false leaves out the "/" of the grass item: the shrub item becomes its
// child, and the root's end tag comes while the grass item is still open.
std::string dryGrassMod(const char* grassTint, bool closed) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<CVegetationModifiers>\r\n"
                       "  <Item type=\"Grass\" tint=\"") +
           grassTint + (closed ? "\"/>" : "\">") +
           "\r\n  <Item type=\"Shrub\" tint=\"0.4\"/>\r\n</CVegetationModifiers>\r\n";
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The files in `folder`, by name, sorted.
std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const FoundEntry& entry : entriesOf(folder)) {
        if (!entry.folder) {
            names.push_back(entry.name);
        }
    }
    return names;
}

// The game runs where it lies, beside the package, and the mods and kept copies are this run's own.
void expectGameFolder() {
    const std::string current = currentDirectory();
    if (lowered(current + "\\") != lowered(directoryOfExe())) {
        fail("start RDR2.exe in its own folder, the game folder, not in %s", current.c_str());
    }
    for (const char* name : {"ScriptHookRDR2.dll", "Brackenfold.asi", "BrackenfoldConfig.ini", "INSTALL.txt"}) {
        if (!exists(name)) {
            fail("the game folder has no %s: lay it out with the package beside RDR2.exe and its script host", name);
        }
    }
    for (const char* name : {"lml", "BrackenfoldHistory"}) {
        if (exists(name)) {
            fail("the game folder already has %s: this scenario lays out its own mods, in a fresh game folder", name);
        }
    }
}

void layOutMods() {
    for (const char* folder : {"lml", "lml\\ForestPlus", "lml\\DryGrass"}) {
        if (!makeFolder(folder)) {
            fail("cannot make the folder %s (error %lu)", folder, GetLastError());
        }
    }
    writeFile("lml\\" + forestPlus, forestPlusMod("0.5"));
    writeFile("lml\\" + dryGrass, dryGrassMod("0.2", true));
    std::printf("[modder] has two mods in lml: %s (grass density 0.5) and %s (grass tint 0.2)\n", forestPlus.c_str(),
                dryGrass.c_str());
}

// The modder's settings: the package's sample, with the mod loader's folder watched.
void watchTheModFolder() {
    const std::string sample = readFile("BrackenfoldConfig.ini");
    const std::string wanted = "WatchFile=lml";
    std::size_t start = 0;
    while (start < sample.size()) {
        const std::size_t end = std::min(sample.find('\n', start), sample.size());
        std::string line = sample.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line == wanted) {
            std::printf("[modder] keeps the package's sample BrackenfoldConfig.ini: it has %s\n", wanted.c_str());
            return;
        }
        if (line.rfind("WatchFile=", 0) == 0) {
            writeSettings(sample.substr(0, start) + wanted + sample.substr(start + line.size()));
            std::printf("[modder] sets %s in BrackenfoldConfig.ini (the package's sample has \"%s\")\n", wanted.c_str(),
                        line.c_str());
            return;
        }
        start = end + 1;
    }
    writeSettings(sample + (sample.empty() || sample.back() == '\n' ? "" : "\n") + wanted + "\n");
    std::printf("[modder] adds %s to the package's sample BrackenfoldConfig.ini\n", wanted.c_str());
}

// Each call the host saw, one line each.
void printTranscript(std::uint32_t mark) {
    for (const HostRecord& record : recordsSince(mark)) {
        const bool game = record.call == HostCall::GameRoutine;
        std::printf("  %s  %s\n", game ? "game:" : "host:", describe(record).c_str());
    }
}

std::string quotedList(const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& text : texts) {
        list += (list.empty() ? "\"" : ", \"") + text + "\"";
    }
    return list.empty() ? "nothing" : list;
}

// Runs frames for `milliseconds` after `since` and tells only the frames that
// called the game's routine or showed a text; fails unless exactly `routineCalls`
// calls and the texts `shown` came, the first not before `notBeforeMs`.
void expectFrames(ULONGLONG since, DWORD milliseconds, int routineCalls, const std::vector<std::string>& shown,
                  ULONGLONG notBeforeMs, const char* what) {
    FrameRun all;
    ULONGLONG firstMs = 0;
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (GetTickCount64() < end) {
        const std::uint32_t mark = standinRecordCount();
        standinRunFrame();
        const FrameRun frame = summarize(recordsSince(mark));
        const ULONGLONG afterMs = GetTickCount64() - since;
        if (frame.routineCalls > 0 || !frame.shown.empty()) {
            if (all.routineCalls == 0 && all.shown.empty()) {
                firstMs = afterMs;
            }
            if (frame.routineCalls > 0) {
                std::printf("[game]   %.2f s after the save the game routine is called with \"%s\"\n", afterMs / 1000.0,
                            dataName);
            } else {
                std::printf("[game]   %.2f s after the save the plug-in refuses it: the game routine is not called\n",
                            afterMs / 1000.0);
            }
            for (const std::string& text : frame.shown) {
                std::printf("[screen] %s\n", text.c_str());
            }
        }
        all.records.insert(all.records.end(), frame.records.begin(), frame.records.end());
        all.shown.insert(all.shown.end(), frame.shown.begin(), frame.shown.end());
        all.routineCalls += frame.routineCalls;
        Sleep(10);
    }
    if (all.routineCalls == 0 && all.shown.empty()) {
        std::printf("[game]   %.1f s of frames: no reload, nothing on screen\n", milliseconds / 1000.0);
    }
    if (all.routineCalls != routineCalls || all.shown != shown) {
        printRecords(all.records);
        fail("%s: in %.1f s of frames the game routine was called %d times and the screen showed %s; %d calls and "
             "%s expected",
             what, milliseconds / 1000.0, all.routineCalls, quotedList(all.shown).c_str(), routineCalls,
             quotedList(shown).c_str());
    }
    if ((routineCalls > 0 || !shown.empty()) && firstMs < notBeforeMs) {
        fail("%s: the plug-in acted %.2f s after the save, before the save had stayed the same for %.1f s", what,
             firstMs / 1000.0, quietMs / 1000.0);
    }
}

void save(const std::string& mod, const std::string& bytes, const char* change) {
    std::printf("[modder] saves %s (%s)\n", mod.c_str(), change);
    writeFile("lml\\" + mod, bytes);
}

// Reads the kept copies: one of ForestPlus as the game received it, two of DryGrass.
void expectKeptCopies() {
    const std::vector<std::string> names = namesIn("BrackenfoldHistory");
    std::printf("[modder] finds %zu kept copies in BrackenfoldHistory:\n", names.size());
    std::vector<std::string> forest;
    std::vector<std::string> dry;
    for (const std::string& name : names) {
        std::printf("           %s\n", name.c_str());
        const std::string bytes = readFile("BrackenfoldHistory\\" + name);
        if (name.rfind("ForestPlus_VegetationModifiers.", 0) == 0) {
            forest.push_back(bytes);
        } else if (name.rfind("DryGrass_VegetationModifiers.", 0) == 0) {
            dry.push_back(bytes);
        }
    }
    std::sort(dry.begin(), dry.end());
    std::vector<std::string> dryWanted{dryGrassMod("0.2", true), dryGrassMod("0.6", true)};
    std::sort(dryWanted.begin(), dryWanted.end());
    if (names.size() != 3 || forest != std::vector<std::string>{forestPlusMod("0.7")} || dry != dryWanted) {
        fail("BrackenfoldHistory should hold three copies, as the game received them: ForestPlus with grass density "
             "0.7, DryGrass with grass tint 0.2 and with 0.6");
    }
}

// Shows the log's lines on how each file changed, and checks them.
void expectChangeLines(const std::string& refusal) {
    const std::vector<std::string> lines = logLines();
    std::printf("[modder] reads in Brackenfold.log what reached the game:\n");
    for (const std::string& line : lines) {
        if (line.find(".meta: first reload in this run") != std::string::npos ||
            line.find(".meta: changed at line") != std::string::npos ||
            line.find("unchanged since the last reload") != std::string::npos || line.find(" not reloaded: ") !=
            std::string::npos) {
            std::printf("           %s\n", line.c_str());
        }
    }
    expectLogLine(lines, "INFO reload: " + forestPlus + ": first reload in this run (5 lines)");
    expectLogLine(lines, "INFO reload: " + dryGrass + ": first reload in this run (5 lines)");
    expectLogLine(lines, "ERROR reload: " + refusal.substr(std::string("Brackenfold: ").size()));
    expectLogLine(lines,
                  "INFO reload: " + dryGrass + ": changed at line 3 (5 lines before, 5 now)");
    expectLogLine(lines, "INFO reload: 1 watched file unchanged since the last reload");
}

void mainJob() {
    expectGameFolder();
    layOutMods();
    watchTheModFolder();
    std::printf("[game]   RDR2.exe started; the script host ScriptHookRDR2.dll is loaded\n");
    std::printf("[game]   loads the plug-in Brackenfold.asi\n");
    std::uint32_t mark = standinRecordCount();
    const Plugin plugin = loadPlugin();
    printTranscript(mark);
    // The files as found at the start are the baseline: no reload for them.
    expectFrames(GetTickCount64(), 800, 0, {}, 0, "the frames after the start");

    save(forestPlus, forestPlusMod("0.7"), "grass density 0.5 -> 0.7");
    expectFrames(GetTickCount64(), framesAfterSaveMs, 1, {reloadText}, quietMs, "the save in ForestPlus");

    save(dryGrass, dryGrassMod("0.6", false), "grass tint 0.2 -> 0.6, but the grass <Item .../> loses its \"/\"");
    const std::string refusal = "Brackenfold: " + dryGrass +
                                " not reloaded: XML error at line 5, column 3: expected </Item>";
    expectFrames(GetTickCount64(), framesAfterSaveMs, 0, {refusal}, quietMs, "the broken save in DryGrass");

    save(dryGrass, dryGrassMod("0.6", true), "mended: the \"/\" is back");
    expectFrames(GetTickCount64(), framesAfterSaveMs, 1, {reloadText}, quietMs, "the save that mends DryGrass");

    expectKeptCopies();
    expectChangeLines(refusal);

    std::printf("[player] presses F10\n");
    mark = standinRecordCount();
    press(keyF10);
    expectFrame(idleFrame(), "a frame while F10 is down");
    printTranscript(mark);
    std::printf("[player] releases F10\n");
    mark = standinRecordCount();
    release(keyF10);
    expectFrame(reloadFrame(), "the frame after F10 is released");
    printTranscript(mark);
    for (const std::string& text : summarize(recordsSince(mark)).shown) {
        std::printf("[screen] %s\n", text.c_str());
    }
    std::printf("[game]   unloads the plug-in\n");
    mark = standinRecordCount();
    unloadPlugin(plugin);
    printTranscript(mark);
    // The key's reload gave the game the same files again: nothing new to keep.
    expectLogLine(logLines(), "INFO reload: 2 watched files unchanged since the last reload");
    if (namesIn("BrackenfoldHistory").size() != 3) {
        fail("the reload by F10, with no file changed, kept another copy");
    }
}

}  // namespace

std::vector<Scenario> mainJobScenarios() {
    return {{"main_job", mainJob}};
}
