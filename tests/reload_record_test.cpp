// The record of a reload under way: a game that stopped in its routine is told at
// the next start, once, and a run that ended any other way tells nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "reload/reload_record.h"
#include "tests/watch_fixture.h"

namespace {

// The game's routine never returns: the script's pass is left by an exception.
void gameStops() { throw std::runtime_error("the game stopped"); }

enum class End { inTheRoutine, betweenReloads, unloaded };

class ReloadRecord : public WatchedFolder {
protected:
    static HINSTANCE module() { return reinterpret_cast<HINSTANCE>(0x1800'0000); }

    // Ends the run as `end` says, then the game starts the plug-in again in the
    // same folder, the disk refusing `refused` on the record, and the last run's
    // log kept or lost as `logKept` says; gives what the first passes showed.
    Passes restart(End end, const std::vector<sim::FileCall>& refused = {}, bool logKept = true) {
        if (end == End::unloaded) {
            DllMain(module(), DLL_PROCESS_DETACH, nullptr);
        }
        // A process that ends leaves its files as they are.
        std::ifstream file(reloadRecordName, std::ios::binary);
        const bool left = file.good();
        const std::string record{std::istreambuf_iterator<char>(file), {}};
        leftFull_ = !record.empty();
        file.close();
        resetPluginState();
        if (left) {
            std::ofstream(reloadRecordName, std::ios::binary) << record;
        }
        if (!logKept) {
            std::filesystem::remove("Brackenfold.log");
        }
        for (const sim::FileCall call : refused) {
            sim::refuseFileCall(call, reloadRecordName);
        }
        startGame();
        DllMain(module(), DLL_PROCESS_ATTACH, nullptr);
        startScript();
        return runFor(160);
    }

    // The game's image and clocks as the game starts; the folder and its files stay.
    void startGame() {
        setUpGame();
        sim::setLocalDate(2026, 12, 8);
        sim::setLocalTime(21, 4, 17, 0);
    }

    bool leftFull_ = false;  // the run before the last restart left the record full
};

TEST_F(ReloadRecord, GameStoppedInItsRoutineIsToldOnceAtTheNextStartAndNoOtherEndTellsAnything) {
    const std::string changedA = std::string(wellFormed) + "<!-- edited -->\n";
    struct Case {
        const char* what;
        const char* settings;
        bool firstReloadByKey;  // received and kept before the save that stops the game
        bool bothSaved;         // ModB saved with ModA
        End end;
        std::vector<std::string> shown;  // at the next start
        std::vector<std::string> logged; // the warnings, each line cut to its start
        // The disk refuses these on the record during the run; with `refusalPasses`, only until the reload is over.
        std::vector<sim::FileCall> refusedInRun = {};
        bool refusalPasses = false;
        bool leftFull = false;  // the run leaves the record full
        std::vector<sim::FileCall> refusedAtNextStart = {};
        bool logKept = true;  // the next start has the last run's log to ask
    };
    using sim::FileCall;
    const std::string notHeld = "WARN reload: Brackenfold.reloading cannot be made";
    const std::string stoppedLine =
        "WARN reload: the game stopped during the last reload: its routine was called and did not return";
    const std::string stopped = "Brackenfold: the game stopped during the last reload";
    const Case cases[] = {
        {"stopped with a kept copy of the version before", "KeepVersions=2\n", true, false, End::inTheRoutine,
         {stopped + " (ModA\\VegetationModifiers.meta had changed); the version before is "
                    "BrackenfoldHistory\\ModA_VegetationModifiers.2026-12-08_21-04-17.meta"},
         {"WARN reload: the game stopped during the last reload: its routine was called and did not return",
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; the version before is "
          "BrackenfoldHistory\\ModA_VegetationModifiers.2026-12-08_21-04-17.meta"}},
        {"stopped with no copy kept", "KeepVersions=0\n", true, false, End::inTheRoutine,
         {stopped + " (ModA\\VegetationModifiers.meta had changed)"},
         {"WARN reload: the game stopped during the last reload: its routine was called and did not return",
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; no version before it was kept in that run"}},
        {"stopped at the run's first reload, two mods saved: nothing kept before", "", false, true, End::inTheRoutine,
         {stopped + " (ModA\\VegetationModifiers.meta and 1 more watched files had changed); the log names them"},
         {"WARN reload: the game stopped during the last reload: its routine was called and did not return",
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; no version before it was kept in that run",
          "WARN reload:   ModB\\VegetationModifiers.meta had changed; no version before it was kept in that run"}},
        {"messages off: the log alone tells", "ShowMessages=0\n", true, false, End::inTheRoutine, {},
         {"WARN reload: the game stopped during the last reload: its routine was called and did not return",
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; the version before is "
          "BrackenfoldHistory\\ModA_VegetationModifiers.2026-12-08_21-04-17.meta"}},
        {"the process ended after the routine returned", "", true, true, End::betweenReloads, {}, {}},
        {"unloaded", "", true, true, End::unloaded, {}, {}},
        // The record could not be emptied: the last run's log says the routine returned.
        {"returned; the record's emptying refused, then its delete at unload", "", true, false, End::unloaded, {}, {},
         {FileCall::truncate, FileCall::remove}, false, true},
        {"returned; the emptying refused, and the next start cannot hold the record", "", true, false,
         End::betweenReloads, {}, {notHeld}, {FileCall::truncate}, false, true, {FileCall::create}},
        {"returned; the emptying refused for a moment: a later pass empties it", "", true, false, End::betweenReloads,
         {}, {}, {FileCall::truncate}, true, false},
        // A real stop is told, once, whatever else the disk does.
        {"stopped, and the next start cannot hold the record", "KeepVersions=0\n", true, false, End::inTheRoutine,
         {stopped + " (ModA\\VegetationModifiers.meta had changed)"},
         {stoppedLine,
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; no version before it was kept in that run",
          notHeld},
         {}, false, true, {FileCall::create}},
        {"stopped, and the last run's log is lost", "KeepVersions=0\n", true, false, End::inTheRoutine,
         {stopped + " (ModA\\VegetationModifiers.meta had changed)"},
         {stoppedLine,
          "WARN reload:   ModA\\VegetationModifiers.meta had changed; no version before it was kept in that run"},
         {}, false, true, {}, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        resetPluginState();
        startGame();
        std::filesystem::remove_all(historyFolderName);
        DllMain(module(), DLL_PROCESS_ATTACH, nullptr);
        startWatching(std::string("WatchFile=lml\n") + test.settings);
        if (test.firstReloadByKey) {
            handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
            runFor(16);
        }
        if (test.end == End::inTheRoutine) {
            sim::setGameRoutineHook(gameStops);
        }
        for (const FileCall call : test.refusedInRun) {
            sim::refuseFileCall(call, reloadRecordName);
        }
        saveMod("ModA", changedA, 1001);
        if (test.bothSaved) {
            saveMod("ModB", changedA, 1001);
        }
        // The game ends in the pass that calls its routine.
        int passes = 0;
        while (passes++ < 100 && runFor(16).reloads == 0) {
        }
        ASSERT_LT(passes, 100);
        if (test.refusalPasses) {
            sim::allowFileCalls();
            runFor(16);
        }
        EXPECT_EQ(restart(test.end, test.refusedAtNextStart, test.logKept).shown, test.shown);
        EXPECT_EQ(leftFull_, test.leftFull || test.end == End::inTheRoutine);
        std::vector<std::string> logged;
        for (const std::string& line : logLinesWith("WARN reload:")) {
            logged.push_back(line.substr(0, line.find(" (")));
        }
        EXPECT_EQ(logged, test.logged);
        // Told once: the run after says nothing more.
        EXPECT_EQ(restart(End::inTheRoutine).shown, std::vector<std::string>{});
        EXPECT_TRUE(logLinesWith("WARN reload:").empty());
    }
}

}  // namespace
