#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "plugin/dll_main.h"
#include "keys/key_records.h"
#include "reload/reload_loop.h"
#include "tests/plugin_fixture.h"

namespace {

using PluginEntry = InTempDirectory;

HINSTANCE moduleHandle(std::uintptr_t value) { return reinterpret_cast<HINSTANCE>(value); }

const void* scriptFunction() { return reinterpret_cast<const void*>(&scriptEntry); }
const void* keyboardHandler() { return reinterpret_cast<const void*>(&handleKeyMessage); }

TEST_F(PluginEntry, ProcessAttachRegistersTheScriptThenTheKeyboardHandler) {
    const HINSTANCE module = moduleHandle(0x7FF6'1234'0000);
    EXPECT_EQ(DllMain(module, DLL_PROCESS_ATTACH, nullptr), 1);
    const std::vector<sim::Call> expected{
        {sim::CallKind::ScriptRegister, 0, module, scriptFunction()},
        {sim::CallKind::KeyboardHandlerRegister, 0, keyboardHandler()},
    };
    EXPECT_EQ(sim::calls(), expected);
}

TEST_F(PluginEntry, ProcessDetachUnregistersTheSameModuleThenTheSameHandler) {
    const HINSTANCE module = moduleHandle(0x1800'0000);
    DllMain(module, DLL_PROCESS_ATTACH, nullptr);
    sim::clearCalls();
    EXPECT_EQ(DllMain(module, DLL_PROCESS_DETACH, nullptr), 1);
    const std::vector<sim::Call> expected{
        {sim::CallKind::ScriptUnregister, 0, module},
        {sim::CallKind::KeyboardHandlerUnregister, 0, keyboardHandler()},
    };
    EXPECT_EQ(sim::calls(), expected);
}

TEST_F(PluginEntry, AttachAndDetachStartNothingElse) {
    DllMain(moduleHandle(0x1000), DLL_PROCESS_ATTACH, nullptr);
    // The script's start-up waits for the host: no module lookup, no settings.
    EXPECT_EQ(gameModuleBase, nullptr);
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
    DllMain(moduleHandle(0x1000), DLL_PROCESS_DETACH, nullptr);
    EXPECT_EQ(sim::calls().size(), 4u);
}

// Another copy of the plug-in under another file name, loaded into the same game.
TEST_F(PluginEntry, SecondCopyInTheProcessMakesNoHostCallAndTheFirstLogsItsUnload) {
    const HINSTANCE first = moduleHandle(0x1800'0000);
    const HINSTANCE second = moduleHandle(0x1900'0000);
    DllMain(first, DLL_PROCESS_ATTACH, nullptr);
    sim::clearCalls();
    EXPECT_EQ(DllMain(second, DLL_PROCESS_ATTACH, nullptr), 1);
    EXPECT_EQ(DllMain(second, DLL_PROCESS_DETACH, nullptr), 1);
    EXPECT_TRUE(sim::calls().empty());
    EXPECT_EQ(pluginModule, first);

    ASSERT_TRUE(openLog());
    DllMain(first, DLL_PROCESS_DETACH, nullptr);
    std::ifstream file("Brackenfold.log");
    std::string line;
    std::getline(file, line);
    EXPECT_EQ(line.substr(15), "INFO unloaded");
    EXPECT_EQ(sim::calls().size(), 2u);
    // The claim is given up with the unload: a copy loaded later registers.
    DllMain(second, DLL_PROCESS_ATTACH, nullptr);
    EXPECT_EQ(sim::calls().size(), 4u);
}

TEST_F(PluginEntry, ThreadAttachAndDetachDoNothing) {
    EXPECT_EQ(DllMain(moduleHandle(0x1000), DLL_THREAD_ATTACH, nullptr), 1);
    EXPECT_EQ(DllMain(moduleHandle(0x1000), DLL_THREAD_DETACH, nullptr), 1);
    EXPECT_TRUE(sim::calls().empty());
}

TEST_F(PluginEntry, EveryReasonReturnsOneAndUnknownReasonsDoNothing) {
    for (const DWORD reason : {DWORD{4}, DWORD{5}, DWORD{0x10}, DWORD{0x7FFF'FFFF}, DWORD{0xFFFF'FFFF}}) {
        EXPECT_EQ(DllMain(moduleHandle(0x1000), reason, nullptr), 1) << reason;
    }
    EXPECT_TRUE(sim::calls().empty());
    for (const DWORD reason : {DWORD{0}, DWORD{1}, DWORD{2}, DWORD{3}}) {
        EXPECT_EQ(DllMain(moduleHandle(0x1000), reason, reinterpret_cast<LPVOID>(0x1)), 1) << reason;
    }
}

}  // namespace
