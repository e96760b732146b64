// The plug-in's main job, told as a transcript a person can follow: the game loads
// the plug-in, a player presses and releases F10, and the game unloads it.
#include <cstdio>
#include <string>

#include "tests/standin/driver.h"

namespace {

// The plug-in's main job, told as a transcript a person can follow: what the game
// and the player did, and every call the host saw. Runs in the current directory,
// where a player's BrackenfoldConfig.ini would be.
void printTranscript(std::uint32_t mark) {
    for (const HostRecord& record : recordsSince(mark)) {
        const bool game = record.call == HostCall::GameRoutine;
        std::printf("  %s  %s\n", game ? "game:" : "host:", describe(record).c_str());
    }
}

void mainJob() {
    std::printf("[game]   RDR2.exe started; the script host ScriptHookRDR2.dll is loaded\n");
    std::printf("[game]   loads the plug-in Brackenfold.asi\n");
    std::uint32_t mark = standinRecordCount();
    const Plugin plugin = loadPlugin();
    printTranscript(mark);
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
    for (const HostRecord& record : recordsSince(mark)) {
        if (record.call == HostCall::NativePush64) {
            std::printf("[screen] %s\n", textAt(record.first).value_or("?").c_str());
        }
    }
    std::printf("[game]   unloads the plug-in\n");
    mark = standinRecordCount();
    unloadPlugin(plugin);
    printTranscript(mark);
}

}  // namespace

std::vector<Scenario> mainJobScenarios() {
    return {{"main_job", mainJob}};
}
