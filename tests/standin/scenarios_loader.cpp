// Scenarios of the plug-in wherever a player's loader loads it: from scripts\ as a
// general loader does (that folder current while it loads), with its settings, log
// and kept versions beside it and the mods still found in the game's folder; and
// two copies, one in the game's folder and one in scripts\, either loaded first.
#include <string>
#include <vector>

#include "tests/standin/driver.h"

namespace {

const char modFile[] = "lml\\ForestPlus\\VegetationModifiers.meta";
const char modData[] = "<CVegetationModifiers>\r\n  <Item type=\"fern\" value=\"0.5\"/>\r\n</CVegetationModifiers>\r\n";

// The game's folder, the current directory, with scripts\Brackenfold.asi in it too.
std::string gameWithScriptsFolder() {
    enterOwnDirectory();
    const std::string game = currentDirectory() + "\\";
    for (const char* left : {"scripts", "lml", "BrackenfoldHistory"}) {
        removeTree(left);
    }
    makeFolder("scripts");
    copyFile(game + "Brackenfold.asi", game + "scripts\\Brackenfold.asi");
    return game;
}

void failIfThere(const std::vector<std::string>& names, const char* where) {
    for (const std::string& name : names) {
        if (exists(name)) {
            fail("%s is in %s", name.c_str(), where);
        }
    }
}

// Settings in both folders: the ones beside the plug-in count (F9), and count again
// when saved while playing (F8); the game folder's (F6) are not read. The log and
// the kept versions are beside the plug-in, and WatchFile=lml is the game folder's.
void scriptsFolderHoldsThePluginAndItsFiles() {
    const std::string game = gameWithScriptsFolder();
    writeFile("scripts\\BrackenfoldConfig.ini", "[BrackenfoldConfig]\r\nReloadKey=F9\r\nWatchFile=lml\r\n");
    writeSettings("[BrackenfoldConfig]\r\nReloadKey=F6\r\n");
    makeFolder("lml");
    makeFolder("lml\\ForestPlus");
    writeFile(modFile, modData);
    const Plugin plugin = loadPlugin(nullptr, game + "scripts\\Brackenfold.asi", Loader::general);
    expectReloadKey(keyF9, keyF6);
    expectReloadKey(keyF9, keyF10);
    expectRun(runFramesFor(800), 0, {}, "frames after the start, whose files are the baseline");
    writeFile(modFile, std::string(modData) + "\r\n");
    expectRun(runFramesFor(1500), 1, {reloadText}, "frames after a save in the game folder's lml");
    writeFile("scripts\\BrackenfoldConfig.ini", "[BrackenfoldConfig]\r\nReloadKey=F8\r\nWatchFile=lml\r\n");
    expectShownOnceWithin("Brackenfold: settings reloaded, F8 reloads", 2500);
    expectReloadKey(keyF8, keyF9);
    unloadPlugin(plugin);

    const std::vector<std::string> lines = logLines("scripts\\Brackenfold.log");
    const std::string first = "INFO Brackenfold " BRACKENFOLD_VERSION_TEXT " (" + game + "scripts\\Brackenfold.asi)";
    if (lines.empty() || lines[0] != first) {
        fail("the log starts \"%s\", not \"%s\"", lines.empty() ? "" : lines[0].c_str(), first.c_str());
    }
    expectLogLine(lines, "WARN settings: BrackenfoldConfig.ini in the game's folder not read; "
                         "scripts\\BrackenfoldConfig.ini, beside the plug-in, counts");
    expectLogLine(lines, "INFO settings: scripts\\BrackenfoldConfig.ini found");
    expectLogLine(lines, "INFO settings: scripts\\BrackenfoldConfig.ini changed; read again");
    expectLogLine(lines, "INFO watch: watching lml");
    expectLogLine(lines, "INFO reload: watched file ForestPlus\\VegetationModifiers.meta saved (written ");
    if (entriesOf("scripts\\BrackenfoldHistory").size() != 2) {
        fail("scripts\\BrackenfoldHistory does not hold the two versions the game received");
    }
    failIfThere({"Brackenfold.log", "Brackenfold.previous.log", "Brackenfold.reloading", "BrackenfoldHistory"},
                "the game's folder");
}

// One copy in the game's folder, one in scripts\: the one loaded first runs and
// names the other once, before the first frame's end; the other stays silent.
void twoCopies(bool gameFolderFirst) {
    const std::string game = gameWithScriptsFolder();
    const std::string inGame = game + "Brackenfold.asi";
    const std::string inScripts = game + "scripts\\Brackenfold.asi";
    const Plugin plugin = gameFolderFirst ? loadRegisteredPlugin(inGame, Loader::scriptHost)
                                          : loadRegisteredPlugin(inScripts, Loader::general);
    const HMODULE idle =
        gameFolderFirst ? loadIdleCopy(inScripts, Loader::general) : loadIdleCopy(inGame, Loader::general);
    const std::string told =
        std::string("Brackenfold: another copy stays idle: ") + (gameFolderFirst ? "scripts\\Brackenfold.asi" : "Brackenfold.asi");
    expectFrame(messageFrame(told.c_str(), false), "the first frame, which names the idle copy");
    expectRun(runFramesFor(300), 0, {}, "the frames after: told once");
    pressAndRelease(keyF10);
    expectFrame(reloadFrame(), "a release of F10: one reload");
    expectFrame(idleFrame(), "the frame after it");
    unloadIdleCopy(idle);
    unloadPlugin(plugin);

    const std::string log = gameFolderFirst ? "Brackenfold.log" : "scripts\\Brackenfold.log";
    int named = 0;
    for (const std::string& line : logLines(log)) {
        named += line.rfind("WARN " + told + " (", 0) == 0 ? 1 : 0;
    }
    if (named != 1) {
        fail("%s names the idle copy %d times, not once", log.c_str(), named);
    }
    failIfThere({gameFolderFirst ? "scripts\\Brackenfold.log" : "Brackenfold.log"}, "the idle copy's folder");
}

}  // namespace

std::vector<Scenario> loaderScenarios() {
    return {
        {"loader_scripts_folder_holds_the_plugin_and_its_files", scriptsFolderHoldsThePluginAndItsFiles},
        {"loader_two_copies_game_folder_first", [] { twoCopies(true); }},
        {"loader_two_copies_scripts_first", [] { twoCopies(false); }},
    };
}
