#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/win32.h"
#include "keys/key_records.h"
#include "reload/reload_loop.h"
#include "locate/signature_scan.h"
#include "plugin/version.h"
#include "tests/plugin_fixture.h"

namespace {

constexpr std::size_t plantedAt = 0x1234;

void release(unsigned long key) { handleKeyMessage(key, 1, 0x44, 0, 0, 1, 1); }
void press(unsigned long key) { handleKeyMessage(key, 1, 0x44, 0, 0, 0, 0); }

std::vector<sim::Call> onlyWait() { return {waitCall()}; }

std::vector<sim::Call> reloadPass(const std::uint8_t* entry) {
    std::vector<sim::Call> calls{gameRoutineCall(entry)};
    for (const sim::Call& call : messageCalls(reloadMessage)) {
        calls.push_back(call);
    }
    calls.push_back(waitCall());
    return calls;
}

std::vector<sim::Call> unavailablePass() {
    std::vector<sim::Call> calls = messageCalls(unavailableMessage);
    calls.push_back(waitCall());
    return calls;
}

// The log's lines without their time stamps.
std::vector<std::string> logLines() {
    std::ifstream file("Brackenfold.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line.substr(15));
    }
    return lines;
}

// The last line of the log when the game routine was called.
std::string lineAtRoutineCall;
void noteLastLogLine() { lineAtRoutineCall = logLines().back(); }

// One pass, and the host calls it made.
std::vector<sim::Call> pass() {
    sim::clearCalls();
    runPass();
    return sim::calls();
}

class ReloadLoop : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        image_ = makeImage(0x3000);
        plantSignature(image_.data(), plantedAt);
        sim::addModule("RDR2.exe", image_.data());
        sim::setTickCount(50'000);
    }

    const std::uint8_t* routine() const { return image_.data() + plantedAt; }

    std::vector<std::uint8_t> image_;
};

TEST_F(ReloadLoop, ReleaseOfTheReloadKeyCallsTheRoutineThenShowsTheMessageThenWaits) {
    startScript();
    EXPECT_EQ(gameModuleBase, image_.data());
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
    EXPECT_TRUE(sim::calls().empty());

    handleKeyMessage(121, 1, 0x44, 0, 0, 1, 1);
    sim::advanceTickCount(16);
    runPass();

    using sim::CallKind;
    const auto message = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(reloadMessage));
    const std::vector<sim::Call> expected{
        {CallKind::GameRoutine, 0, routine(), nullptr, "VegetationModifiers", reloadDataName},
        {CallKind::NativeInit, 0xFA233F8FE190514CULL},
        {CallKind::NativePush64, message},
        {CallKind::NativeCall},
        {CallKind::NativeInit, 0xE9990552DEC71600ULL},
        {CallKind::NativeCall},
        {CallKind::NativeInit, 0xA3108D6981A5CADBULL},
        {CallKind::NativeCall},
        {CallKind::NativeInit, 0xDFF0D417277B41F8ULL},
        {CallKind::NativeCall},
        {CallKind::ScriptWait, 0},
    };
    EXPECT_EQ(sim::calls(), expected);
    EXPECT_STREQ(reloadMessage, "Reloaded VegetationModifiers.meta");
    EXPECT_STREQ(reloadDataName, "VegetationModifiers");

    // The release has been used up.
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, IdlePassOnlyWaits) {
    startScript();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(pass(), onlyWait());
        sim::advanceTickCount(16);
    }
}

TEST_F(ReloadLoop, PressingAndHoldingDoesNothingUntilRelease) {
    startScript();
    for (int frame = 0; frame < 40; ++frame) {
        press(121);  // the key repeats while held
        sim::advanceTickCount(16);
        ASSERT_EQ(pass(), onlyWait()) << "frame " << frame;
    }
    release(121);
    sim::advanceTickCount(16);
    EXPECT_EQ(pass(), reloadPass(routine()));
}

TEST_F(ReloadLoop, TwoReleasesBetweenPassesGiveOneReload) {
    startScript();
    release(121);
    sim::advanceTickCount(5);
    press(121);
    sim::advanceTickCount(5);
    release(121);
    sim::advanceTickCount(5);
    EXPECT_EQ(pass(), reloadPass(routine()));
    sim::advanceTickCount(16);
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, ReleaseOf100MsAgoIsIgnoredAndKept) {
    startScript();
    release(121);
    sim::advanceTickCount(100);
    EXPECT_EQ(pass(), onlyWait());
    EXPECT_EQ(keyRecords[121].released.load(), 1);
    EXPECT_EQ(keyRecords[121].stamp.load(), 50'000u);
}

TEST_F(ReloadLoop, ReleaseOfAnotherKeyDoesNothing) {
    startScript();
    release(120);
    release(122);
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, ReloadKey255NeverTriggers) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=255\n");
    startScript();
    ASSERT_EQ(activeSettings.reloadKey.key, 255u);
    for (unsigned long key = 0; key < 256; ++key) {
        release(key);
    }
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, ReloadKeyIsReadAfreshAtEveryPass) {
    startScript();
    release(121);
    release(117);
    activeSettings.reloadKey.key = 117;
    EXPECT_EQ(pass(), reloadPass(routine()));
    activeSettings.reloadKey.key = 121;
    EXPECT_EQ(pass(), reloadPass(routine()));
}

TEST_F(ReloadLoop, StartUpTakesTheReloadKeyFromTheSettings) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n");
    startScript();
    release(121);
    EXPECT_EQ(pass(), onlyWait());
    release(117);
    EXPECT_EQ(pass(), reloadPass(routine()));
}

TEST_F(ReloadLoop, WithMessagesOffNothingIsShownAtAll) {
    writeSettings("[BrackenfoldConfig]\nShowMessages=0\nReloadKey=Ctrl+Banana\nRelaodKey=1\n");
    startScript();
    EXPECT_EQ(pass(), onlyWait());
    release(121);
    EXPECT_EQ(pass(), (std::vector<sim::Call>{gameRoutineCall(routine()), waitCall()}));
    std::memset(image_.data() + plantedAt, 0, 34);
    release(121);
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, NoticeWaitsForAPassWithoutAReload) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=Ctrl+Banana\n");
    startScript();
    release(121);
    EXPECT_EQ(pass(), reloadPass(routine()));
    std::vector<sim::Call> notice = pass();
    ASSERT_EQ(notice.size(), 10u);
    EXPECT_STREQ(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(notice[1].value)),
                 "Brackenfold: ReloadKey \"Ctrl+Banana\" not understood, F10 reloads");
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, WithoutTheGameModuleTheReleaseShowsThatReloadIsUnavailable) {
    sim::reset();
    sim::setTickCount(50'000);
    startScript();
    EXPECT_EQ(gameModuleBase, nullptr);
    release(121);
    EXPECT_EQ(pass(), unavailablePass());
    EXPECT_EQ(pass(), onlyWait());
    EXPECT_STREQ(unavailableMessage, "VegetationModifiers reload unavailable: game routine not found");
}

TEST_F(ReloadLoop, WithoutTheSignatureTheReleaseShowsThatReloadIsUnavailable) {
    std::memset(image_.data() + plantedAt, 0, 34);
    startScript();
    release(121);
    EXPECT_EQ(pass(), unavailablePass());
    EXPECT_EQ(pass(), onlyWait());
}

TEST_F(ReloadLoop, EveryReleaseSearchesTheImageAfresh) {
    startScript();
    release(121);
    EXPECT_EQ(pass(), reloadPass(routine()));

    std::memset(image_.data() + plantedAt, 0, 34);
    sim::advanceTickCount(500);
    release(121);
    EXPECT_EQ(pass(), unavailablePass());

    plantSignature(image_.data(), 0x2800);
    sim::advanceTickCount(500);
    release(121);
    EXPECT_EQ(pass(), reloadPass(image_.data() + 0x2800));

    plantSignature(image_.data(), 0x200);
    sim::advanceTickCount(500);
    release(121);
    EXPECT_EQ(pass(), reloadPass(image_.data() + 0x200));
}

TEST_F(ReloadLoop, LogTellsThePlugInTheGameTheSettingsAndEachReload) {
    sim::setModulePath(nullptr, "C:\\Games\\RDR2\\RDR2.exe");
    const std::string plugin = installPlugin();
    sim::setVersionResource(image_.data(), versionResource());
    sim::setGameRoutineHook(noteLastLogLine);
    writeSettings("[BrackenfoldConfig]\nReloadKey=F10\n");
    // A data page before the routine, and an unreadable one after it.
    sim::setRegions({{image_.data() + 0x400, 0x400, true, MEM_COMMIT, PAGE_READWRITE},
                     {image_.data() + 0x2000, 0x100, false}});
    startScript();
    release(121);
    sim::setPerformanceCounterStep(12'340);
    pass();
    sim::setPerformanceCounterStep(0);
    std::memset(image_.data() + plantedAt, 0, 34);
    release(121);
    pass();

    const std::string width = vectorWidthName(widthUsed());
    const std::vector<std::string> expected{
        "INFO Brackenfold " + std::string(brackenfoldVersion) + " (" + plugin + ")",
        "INFO game: RDR2.exe 1.0.1491.50, image 12288 bytes",
        "INFO settings: BrackenfoldConfig.ini found",
        "INFO setting ReloadKey: F10 (121)",
        "INFO setting ShowMessages: on",
        "INFO setting WatchFile: none",
        "INFO reload: F10 (121) released",
        "INFO reload: game routine found at RDR2.exe+0x1234 in 1.234 ms with " + width +
            " (searched 3670 bytes of code, skipped 1024 bytes of data and 0 unreadable bytes)",
        "INFO reload: calling the game routine with \"VegetationModifiers\"",
        "INFO reload: the game routine returned",
        "INFO reload: F10 (121) released",
        "ERROR reload: game routine not found in 0.000 ms with " + width +
            " (searched 11008 bytes of code, skipped 1024 bytes of data and 256 unreadable bytes); nothing reloaded",
    };
    EXPECT_EQ(logLines(), expected);
    EXPECT_EQ(lineAtRoutineCall, expected[8]);
}

TEST_F(ReloadLoop, LogNamesTheProcessWhenTheGameModuleIsMissing) {
    sim::reset();
    sim::setModulePath(nullptr, "C:\\Games\\Other\\OtherGame.exe");
    startScript();
    release(121);
    pass();
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "INFO Brackenfold " + std::string(brackenfoldVersion) + " (unknown)");
    // Without its own path the plug-in keeps its files where it always did.
    EXPECT_EQ(lines[1], "WARN files: the plug-in's own path cannot be had; its settings, log and kept versions are "
                        "in the current directory, the game's folder");
    EXPECT_EQ(lines[2], "ERROR game: no module RDR2.exe in this process (OtherGame.exe); reloads are unavailable");
    EXPECT_EQ(lines[3], "INFO settings: BrackenfoldConfig.ini not found in the game's folder; the defaults are used");
    EXPECT_EQ(lines[8], "ERROR reload: no module RDR2.exe to search; nothing reloaded");
}

TEST_F(ReloadLoop, ScriptStartsUpOnceThenRunsPassesThatEachEndInAWait) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n");
    release(117);
    sim::stopScriptAfterWaits(3);
    EXPECT_THROW(scriptEntry(), sim::ScriptStopped);

    std::vector<sim::Call> expected = reloadPass(routine());
    expected.push_back(waitCall());
    expected.push_back(waitCall());
    EXPECT_EQ(sim::calls(), expected);
    EXPECT_EQ(gameModuleBase, image_.data());
}

}  // namespace
