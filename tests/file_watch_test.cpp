#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/watch_fixture.h"

namespace {

TEST_F(WatchedFile, SaveReloadsOnceAfterHalfASecondOfQuietAndTheBaselineNever) {
    start("VegetationModifiers.meta", "VegetationModifiers.meta");
    EXPECT_EQ(runFor(3000).reloads, 0);
    save("VegetationModifiers.meta", wellFormed, 1001);
    EXPECT_EQ(runFor(400).reloads, 0);
    const Passes settled = runFor(400);
    EXPECT_EQ(settled.reloads, 1);
    EXPECT_EQ(settled.shown, std::vector<std::string>{reloadMessage});
    EXPECT_EQ(runFor(3000).reloads, 0);
}

TEST_F(WatchedFile, BurstOfWritesGivesOneReloadAndSavesTwoSecondsApartOneEach) {
    start("VegetationModifiers.meta", "VegetationModifiers.meta");
    runFor(500);
    for (int step = 0; step < 4; ++step) {
        save("VegetationModifiers.meta", std::string(wellFormed) + std::string(step, ' '), 1001 + step);
        EXPECT_EQ(runFor(300).reloads, 0) << step;
    }
    EXPECT_EQ(runFor(1000).reloads, 1);
    int reloads = 0;
    for (int save_ = 0; save_ < 3; ++save_) {
        save("VegetationModifiers.meta", wellFormed, 2000 + save_);
        reloads += runFor(2000).reloads;
    }
    EXPECT_EQ(reloads, 3);
}

TEST_F(WatchedFile, MissingFileIsToldOnceAndItsReturnIsAChange) {
    writeSettings("[BrackenfoldConfig]\nWatchFile=mods\\missing.meta\n");
    startScript();
    Passes passes = runFor(2000);
    EXPECT_EQ(passes.reloads, 0);
    EXPECT_EQ(passes.shown, std::vector<std::string>{"Brackenfold: watched file not found: mods\\missing.meta"});
    std::filesystem::create_directory("mods");
    save("mods/missing.meta", wellFormed, 1000);
    EXPECT_EQ(runFor(1000).reloads, 1);
    // Gone again: told again, once.
    std::filesystem::remove("mods/missing.meta");
    passes = runFor(2000);
    EXPECT_EQ(passes.shown, std::vector<std::string>{"Brackenfold: watched file not found: mods\\missing.meta"});
}

TEST_F(WatchedFile, KeyAndSettledChangeInOnePassGiveOneReloadAndTheKeyTakesTheState) {
    start("VegetationModifiers.meta", "VegetationModifiers.meta");
    runFor(500);
    save("VegetationModifiers.meta", wellFormed, 1001);
    runFor(496);
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(runFor(16).reloads, 1);
    EXPECT_EQ(runFor(2000).reloads, 0);
    // A key reload before the change settles takes it as reloaded.
    save("VegetationModifiers.meta", wellFormed, 1002);
    runFor(260);
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(runFor(2000).reloads, 1);
}

TEST_F(WatchedFile, PathWithSpacesAndQuotesAndAChangeOfPathWhileRunning) {
    std::filesystem::create_directory("my mods");
    start("  \"my mods\\Vegetation Modifiers.meta\"  ", "my mods/Vegetation Modifiers.meta");
    runFor(100);
    EXPECT_EQ(fileWatch.path, "my mods\\Vegetation Modifiers.meta");
    save("my mods/Vegetation Modifiers.meta", wellFormed, 1001);
    EXPECT_EQ(runFor(1000).reloads, 1);

    // The live re-read names another file: it is the baseline, no reload.
    save("other.meta", wellFormed, 1000);
    writeSettings("[BrackenfoldConfig]\nWatchFile='other.meta'\n");
    std::filesystem::last_write_time(settingsFileName, std::filesystem::file_time_type(std::chrono::seconds(5)));
    EXPECT_EQ(runFor(2000).reloads, 0);
    EXPECT_EQ(fileWatch.path, "other.meta");
    save("other.meta", wellFormed, 1001);
    EXPECT_EQ(runFor(1000).reloads, 1);

    // A path past Windows' old limit of 260 characters is watched like any other.
    std::string deep = "deep";
    for (int level = 0; level < 6; ++level) {
        deep += "/" + std::string(50, static_cast<char>('a' + level));
    }
    std::filesystem::create_directories(deep);
    save(deep + "/VegetationModifiers.meta", wellFormed, 1000);
    ASSERT_GT((std::filesystem::current_path() / deep).string().size(), 260u);
    writeSettings("[BrackenfoldConfig]\nWatchFile=" + deep + "\\VegetationModifiers.meta\n");
    std::filesystem::last_write_time(settingsFileName, std::filesystem::file_time_type(std::chrono::seconds(6)));
    EXPECT_EQ(runFor(2000).reloads, 0);
    save(deep + "/VegetationModifiers.meta", brokenItem, 1001);
    EXPECT_EQ(runFor(1000).shown, std::vector<std::string>{"Brackenfold: VegetationModifiers.meta not reloaded: XML error "
                                                           "at line 3, column 3: expected </Item>"});
    save(deep + "/VegetationModifiers.meta", wellFormed, 1002);
    EXPECT_EQ(runFor(1000).reloads, 1);
    EXPECT_EQ(sim::refusedPaths(), 0u);
}

TEST_F(WatchedFile, BrokenXmlIsNotReloadedAndTheSaveThatMendsItIs) {
    start("mods\\VegetationModifiers.meta", "VegetationModifiers.meta");
    std::filesystem::create_directory("mods");
    save("mods/VegetationModifiers.meta", wellFormed, 1000);
    runFor(500);
    save("mods/VegetationModifiers.meta", "<CVegetationModifiers>\n  <Item>\n</CVegetationModifiers>\n", 1001);
    Passes passes = runFor(1000);
    EXPECT_EQ(passes.reloads, 0);
    EXPECT_EQ(passes.shown, std::vector<std::string>{"Brackenfold: VegetationModifiers.meta not reloaded: XML error "
                                                     "at line 3, column 3: expected </Item>"});
    // The key is refused the broken file too.
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(runFor(16).reloads, 0);
    save("mods/VegetationModifiers.meta", wellFormed, 1002);
    passes = runFor(1000);
    EXPECT_EQ(passes.reloads, 1);
    EXPECT_EQ(passes.shown, std::vector<std::string>{reloadMessage});
}

TEST_F(WatchedFile, KeyReloadGoesAheadUncheckedWhenTheFileIsMissingOrHuge) {
    writeSettings("[BrackenfoldConfig]\nWatchFile=absent.meta\n");
    startScript();
    runFor(100);
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(runFor(16).reloads, 1);
    std::filesystem::resize_file(settingsFileName, 0);
    {
        std::ofstream huge("absent.meta", std::ios::binary);
    }
    std::filesystem::resize_file("absent.meta", (std::uintmax_t{64} << 20) + 1);
    runFor(1000);
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    EXPECT_EQ(runFor(16).reloads, 1);
}

TEST_F(WatchedFolder, SavesInTwoModsGiveOneReloadAModAddedCountsAsSavedAndOneRemovedIsDropped) {
    startWatching();
    EXPECT_EQ(fileWatch.files.size(), 2u);
    saveMod("ModA", wellFormed, 1001);
    runFor(300);
    saveMod("ModB", wellFormed, 1001);
    Passes passes = runFor(2000);
    EXPECT_EQ(passes.reloads, 1);
    EXPECT_EQ(passes.shown, std::vector<std::string>{reloadMessage});
    EXPECT_EQ(logLinesWith(" saved (written ").size(), 2u);

    saveMod("ModC", wellFormed, 1000);
    EXPECT_EQ(runFor(6000).reloads, 1);
    std::filesystem::remove_all("lml/ModB");
    passes = runFor(6000);
    EXPECT_EQ(passes.reloads, 0);
    EXPECT_TRUE(passes.shown.empty());
    EXPECT_EQ(fileWatch.files.size(), 2u);
    EXPECT_EQ(logLinesWith("no longer in"),
              std::vector<std::string>{"INFO watch: ModB\\VegetationModifiers.meta is no longer in lml; not watched"});
}

TEST_F(WatchedFolder, EachBrokenFileIsLoggedAndTheFirstInListingOrderShownByItsPathBelowTheFolder) {
    startWatching();
    // Listing order ignores letter case: alpha, Beta, ModA, ModB.
    saveMod("Beta", brokenItem, 1000);
    saveMod("alpha", brokenItem, 1000);
    EXPECT_EQ(runFor(6000).shown,
              std::vector<std::string>{"Brackenfold: alpha\\VegetationModifiers.meta not reloaded: XML error at line 3, "
                                       "column 3: expected </Item>"});
    EXPECT_EQ(logLinesWith("not reloaded").size(), 2u);
    saveMod("alpha", wellFormed, 1002);
    std::filesystem::remove_all("lml/Beta");
    EXPECT_EQ(runFor(6000).reloads, 1);
}

TEST_F(WatchedFolder, EachVersionTheGameReceivedIsKeptAndItsChangedLinesLogged) {
    startWatching("WatchFile=lml\nKeepVersions=2\n");
    handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
    runFor(16);
    sim::setLocalTime(21, 5, 0, 0);
    const std::string edited = "<CVegetationModifiers>\n  <Item type=\"b\" value=\"0.7\"/>\n  <Item/>\n"
                               "</CVegetationModifiers>\n";
    saveMod("ModA", edited, 1001);
    EXPECT_EQ(runFor(1000).reloads, 1);
    const std::vector<std::string> changes{
        "INFO reload: ModA\\VegetationModifiers.meta: first reload in this run (3 lines)",
        "INFO reload: ModB\\VegetationModifiers.meta: first reload in this run (3 lines)",
        "INFO reload: ModA\\VegetationModifiers.meta: changed at lines 2-3 (3 lines before, 4 now)",
    };
    EXPECT_EQ(logLinesWith(" lines"), changes);
    EXPECT_EQ(logLinesWith("unchanged since the last"),
              std::vector<std::string>{"INFO reload: 1 watched file unchanged since the last reload"});
    const std::vector<std::string> kept{
        "BrackenfoldHistory/ModA_VegetationModifiers.2026-12-08_21-04-17.meta",
        "BrackenfoldHistory/ModA_VegetationModifiers.2026-12-08_21-05-00.meta",
        "BrackenfoldHistory/ModB_VegetationModifiers.2026-12-08_21-04-17.meta",
    };
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(historyFolderName)) {
        found.push_back(std::string(historyFolderName) + "/" + entry.path().filename().string());
    }
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, kept);
    EXPECT_EQ(logLinesWith("INFO reload: kept ").size(), 3u);

    // Turned off: nothing more is kept.
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\nKeepVersions=0\n");
    std::filesystem::last_write_time(settingsFileName, std::filesystem::file_time_type(std::chrono::seconds(7)));
    runFor(2000);
    saveMod("ModA", wellFormed, 1002);
    EXPECT_EQ(runFor(1000).reloads, 1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(historyFolderName), {}), 3);
}

TEST_F(WatchedFolder, ModsWhoseKeptNamesWouldMeetEachKeepTheirOwnNewestVersion) {
    for (const std::uint32_t keep : {1u, 2u}) {
        SCOPED_TRACE(keep);
        resetPluginState();
        setUpGame();
        sim::setLocalDate(2026, 12, 8);
        sim::setLocalTime(21, 4, 17, 0);
        std::filesystem::remove_all(historyFolderName);
        const std::string nested = "<CVegetationModifiers>\n  <Item type=\"nested\"/>\n</CVegetationModifiers>\n";
        saveMod("A/B", nested, 1000);
        saveMod("A_B", wellFormed, 1000);
        saveMod("ModC", wellFormed, 1000);
        writeSettings("[BrackenfoldConfig]\nWatchFile=lml\nKeepVersions=" + std::to_string(keep) + "\n");
        startScript();
        runFor(3000);
        handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
        runFor(16);
        // Saves in A_B alone, more than are kept.
        for (int save = 1; save <= 3; ++save) {
            sim::setLocalTime(21, 4 + save, 0, 0);
            saveMod("A_B", std::string(wellFormed) + std::string(static_cast<std::size_t>(save), '\n'), 1000 + save);
            EXPECT_EQ(runFor(1000).reloads, 1);
        }
        std::vector<std::string> expected{
            "A_B_VegetationModifiers~6a23828e.2026-12-08_21-07-00.meta",
            "A_B_VegetationModifiers~fd68c15b.2026-12-08_21-04-17.meta",
            "ModC_VegetationModifiers.2026-12-08_21-04-17.meta",
        };
        if (keep == 2) {
            expected.insert(expected.begin(), "A_B_VegetationModifiers~6a23828e.2026-12-08_21-06-00.meta");
        }
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(historyFolderName)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, expected);
        std::ifstream copy(std::string(historyFolderName) + "/" + expected[keep == 2 ? 2 : 1], std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}), nested);
    }
}

TEST_F(WatchedFolder, ReloadReadsOnlyTheFilesWhoseStampChangedSinceTheGameReceivedThem) {
    startWatching("WatchFile=lml\nKeepVersions=2\n");
    // As long as wellFormed, and never closes its Item.
    const std::string brokenSameSize = "<CVegetationModifiers>\n  <Item type=\"a\" value=\"0.5\" >\n</CVegetationModifiers>\n";
    ASSERT_EQ(brokenSameSize.size(), std::string(wellFormed).size());
    const std::string error = "Brackenfold: ModB\\VegetationModifiers.meta not reloaded: XML error at line 3, column 3: "
                              "expected </Item>";
    struct Step {
        const char* what;
        const char* mod;      // the mod saved first, if any
        std::string content;
        int second;
        bool byKey;           // else the save reloads by itself
        std::size_t readsA;   // of each mod's file in this step
        std::size_t readsB;
        int reloads;
        std::vector<std::string> shown;
    };
    const Step steps[] = {
        {"the first reload reads every file", nullptr, "", 0, true, 1, 1, 1, {reloadMessage}},
        {"nothing saved since: a key reload reads none", nullptr, "", 0, true, 0, 0, 1, {reloadMessage}},
        {"one mod saved: only its file is read", "ModA", std::string(wellFormed) + "\n", 1001, false, 1, 0, 1,
         {reloadMessage}},
        {"saved broken, same size, new time: read and refused", "ModB", brokenSameSize, 1002, false, 0, 1, 0, {error}},
        {"still broken: read again at the key, and refused", nullptr, "", 0, true, 0, 1, 0, {error}},
        {"mended: read and reloaded", "ModB", wellFormed, 1003, false, 0, 1, 1, {reloadMessage}},
        {"then unchanged again", nullptr, "", 0, true, 0, 0, 1, {reloadMessage}},
    };
    const std::string fileA = std::filesystem::absolute(modFile("ModA")).string();
    const std::string fileB = std::filesystem::absolute(modFile("ModB")).string();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::size_t readsA = sim::fileReads(fileA);
        const std::size_t readsB = sim::fileReads(fileB);
        if (step.mod != nullptr) {
            saveMod(step.mod, step.content, step.second);
        }
        if (step.byKey) {
            handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
        }
        const Passes passes = runFor(step.byKey ? 16 : 1000);
        EXPECT_EQ(passes.reloads, step.reloads);
        EXPECT_EQ(passes.shown, step.shown);
        EXPECT_EQ(sim::fileReads(fileA) - readsA, step.readsA);
        EXPECT_EQ(sim::fileReads(fileB) - readsB, step.readsB);
    }
    // The versions the game received, each kept once: ModB, mended back to its first, has that copy.
    EXPECT_EQ(logLinesWith("INFO reload: kept ").size(), 3u);
    EXPECT_EQ(
        logLinesWith("2 watched files are well-formed XML, unchanged since the game received them, not read again").size(),
        2u);
}

TEST_F(WatchedFolder, ModsNamedInAnyScriptAreWatchedShownAndKeptByTheirNamesWhateverTheSettingsEncoding) {
    const std::string accented = "lml\\V\u00E9g\u00E9tation";
    const std::string settingsLine = "[BrackenfoldConfig]\nWatchFile=" + accented + "\n";
    struct Case {
        const char* what;
        std::string settings;  // the settings file's bytes
        std::string folder;    // the watched folder on disk
        std::string mod;       // the mod's folder in it
    };
    const Case cases[] = {
        {"Cyrillic and a star", "[BrackenfoldConfig]\nWatchFile=lml\n", "lml", "\u041C\u043E\u0434 \u2605"},
        {"CJK", "[BrackenfoldConfig]\nWatchFile=lml\n", "lml", "\u68EE\u306E\u8349"},
        {"an accented folder, in UTF-8", settingsLine, "lml/V\u00E9g\u00E9tation", "Mod"},
        {"an accented folder, in UTF-16", utf16File(settingsLine, false), "lml/V\u00E9g\u00E9tation", "Mod"},
        {"an accented folder, in the ANSI code page", "[BrackenfoldConfig]\nWatchFile=lml\\V\xE9g\xE9tation\n",
         "lml/V\u00E9g\u00E9tation", "Mod"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        std::filesystem::remove_all("lml");
        std::filesystem::remove_all(historyFolderName);
        const std::string file = test.folder + "/" + test.mod + "/VegetationModifiers.meta";
        std::filesystem::create_directories(test.folder + "/" + test.mod);
        save(file, wellFormed, 1000);
        writeSettings(test.settings);
        startScript();
        EXPECT_EQ(runFor(3000).reloads, 0);
        ASSERT_EQ(fileWatch.files.size(), 1u);
        save(file, brokenItem, 1001);
        EXPECT_EQ(runFor(1000).shown, std::vector<std::string>{"Brackenfold: " + test.mod +
                                                               "\\VegetationModifiers.meta not reloaded: XML error at "
                                                               "line 3, column 3: expected </Item>"});
        save(file, wellFormed, 1002);
        EXPECT_EQ(runFor(1000).reloads, 1);
        EXPECT_TRUE(std::filesystem::exists(std::string(historyFolderName) + "/" + test.mod +
                                            "_VegetationModifiers.2026-12-08_21-04-17.meta"));
        EXPECT_EQ(logLinesWith("INFO reload: kept " + test.mod).size(), 1u);
        closeLog();
    }
}

TEST_F(WatchedFolder, KeyReleasedBeforeTheFirstLookChecksEveryWatchedFileAsItIs) {
    struct Case {
        const char* what;
        const char* watched;
        std::uint32_t tickCount;
        const char* checked;  // the log line of the check
        bool savedBeforeTheFirstLook = false;
    };
    const Case cases[] = {
        {"a folder, just after Windows started", "lml", 100, "INFO reload: 2 watched files are well-formed XML"},
        {"a folder, after the tick count wrapped", "lml", 20, "INFO reload: 2 watched files are well-formed XML"},
        {"a file, just after Windows started", "lml\\ModA\\VegetationModifiers.meta", 0,
         "INFO reload: VegetationModifiers.meta is well-formed XML"},
        {"a folder, saved after the reload and before its first look", "lml", 100,
         "INFO reload: 2 watched files are well-formed XML", true},
    };
    saveMod("ModA", wellFormed, 1000);
    saveMod("ModB", wellFormed, 1000);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        writeSettings(std::string("[BrackenfoldConfig]\nWatchFile=") + test.watched + "\n");
        sim::setTickCount(test.tickCount);
        startScript();
        handleKeyMessage(121, 1, 0, 0, 0, 1, 1);
        EXPECT_EQ(runFor(16).reloads, 1);
        EXPECT_EQ(logLinesWith(" not found").size(), 0u);
        EXPECT_EQ(logLinesWith(test.checked).size(), 1u);
        if (test.savedBeforeTheFirstLook) {
            saveMod("ModA", std::string(wellFormed) + "\n", 1001);
        }
        // What the check read is the state reloaded: only a save after it reloads.
        EXPECT_EQ(runFor(6000).reloads, test.savedBeforeTheFirstLook ? 1 : 0);
        closeLog();
    }
}

}  // namespace
