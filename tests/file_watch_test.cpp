#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugin_fixture.h"
#include "watch/file_watch.h"
#include "watch/kept_versions.h"

namespace {

constexpr std::size_t plantedAt = 0x800;
const char wellFormed[] = "<CVegetationModifiers>\n  <Item type=\"a\" value=\"0.5\"/>\n</CVegetationModifiers>\n";

// What passes did: how many times the routine ran, and what the screen showed.
struct Passes {
    int reloads = 0;
    std::vector<std::string> shown;
};

class WatchedFile : public InTempDirectory {
protected:
    void SetUp() override {
        InTempDirectory::SetUp();
        image_ = makeImage(0x2000);
        plantSignature(image_.data(), plantedAt);
        sim::addModule("RDR2.exe", image_.data());
        sim::setTickCount(100'000);
    }

    // Writes `content` with a last-write time of `second` seconds after an epoch.
    static void save(const std::string& path, const std::string& content, int second) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        std::filesystem::last_write_time(path, std::filesystem::file_time_type(std::chrono::seconds(second)));
    }

    // Starts the script watching `path` (as the setting writes it), with the
    // file saved once before.
    void start(const std::string& setting, const std::string& path) {
        save(path, wellFormed, 1000);
        writeSettings("[BrackenfoldConfig]\nWatchFile = " + setting + "\n");
        startScript();
    }

    // Passes, one each 16 ms, for `milliseconds`.
    static Passes runFor(std::uint32_t milliseconds) {
        Passes passes;
        for (std::uint32_t t = 0; t < milliseconds; t += 16) {
            sim::clearCalls();
            runPass();
            for (const sim::Call& call : sim::calls()) {
                if (call.kind == sim::CallKind::GameRoutine) {
                    ++passes.reloads;
                } else if (call.kind == sim::CallKind::NativePush64) {
                    passes.shown.emplace_back(reinterpret_cast<const char*>(static_cast<std::uintptr_t>(call.value)));
                }
            }
            sim::advanceTickCount(16);
        }
        return passes;
    }

    std::vector<std::uint8_t> image_;
};

// The log's lines that contain `part`, without their time stamps.
std::vector<std::string> logLinesWith(const std::string& part) {
    std::ifstream file("Brackenfold.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (line.find(part) != std::string::npos) {
            lines.push_back(line.substr(15));
        }
    }
    return lines;
}

const char brokenItem[] = "<CVegetationModifiers>\n  <Item>\n</CVegetationModifiers>\n";

// A mod loader's folder, lml, with one folder per mod.
class WatchedFolder : public WatchedFile {
protected:
    void SetUp() override {
        WatchedFile::SetUp();
        sim::setLocalDate(2026, 12, 8);
        sim::setLocalTime(21, 4, 17, 0);
    }

    static std::string modFile(const std::string& mod) { return "lml/" + mod + "/VegetationModifiers.meta"; }

    static void saveMod(const std::string& mod, const std::string& content, int second) {
        std::filesystem::create_directories("lml/" + mod);
        save(modFile(mod), content, second);
    }

    void startWatching(const std::string& settings = "WatchFile=lml\n") {
        saveMod("ModA", wellFormed, 1000);
        saveMod("ModB", wellFormed, 1000);
        writeSettings("[BrackenfoldConfig]\n" + settings);
        startScript();
        EXPECT_EQ(runFor(3000).reloads, 0);
    }
};

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

TEST_F(WatchedFolder, FolderGoneIsToldOnceEachTimeAndWhatComesBackIsWatchedAsWhatItIs) {
    startWatching();
    const std::vector<std::string> gone{"Brackenfold: watched folder not found: lml"};
    std::filesystem::rename("lml", "lml.off");
    EXPECT_EQ(runFor(10'000).shown, gone);
    std::filesystem::rename("lml.off", "lml");
    EXPECT_EQ(runFor(1000).reloads, 1);
    std::filesystem::rename("lml", "lml.off");
    EXPECT_EQ(runFor(6000).shown, gone);
    // Back as a file: watched as one, and its arrival is a save.
    save("lml", wellFormed, 1000);
    EXPECT_EQ(runFor(1000).reloads, 1);
    save("lml", brokenItem, 1001);
    EXPECT_EQ(runFor(1000).shown, std::vector<std::string>{"Brackenfold: lml not reloaded: XML error at line 3, column 3: "
                                                           "expected </Item>"});
}

TEST_F(WatchedFolder, LooksAreSpreadOverPassesAtMostEightQueriesAndEveryFileWithinAQuarterSecond) {
    for (std::size_t mod = 0; mod < 64; ++mod) {
        saveMod("Mod" + std::to_string(mod), wellFormed, 1000);
    }
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    startScript();
    std::size_t most = 0;
    int listed = -1;
    for (int pass = 0; pass < 700; ++pass) {
        const std::size_t before = sim::fileQueries();
        runPass();
        most = std::max(most, sim::fileQueries() - before);
        listed = listed < 0 && !fileWatch.files.empty() ? pass : listed;
        // Past the first round after the first listing, no file's last look is ever a quarter second old.
        for (const ::WatchedFile& file : fileWatch.files) {
            ASSERT_TRUE(pass < listed + 16 || GetTickCount() - file.lastLook < watchCheckIntervalMs)
                << pass << " " << file.below;
        }
        sim::advanceTickCount(16);
    }
    EXPECT_EQ(fileWatch.files.size(), 64u);
    EXPECT_EQ(most, watchQueriesPerPass);
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
    EXPECT_EQ(logLinesWith("unchanged"),
              std::vector<std::string>{"INFO reload: 1 watched files unchanged since the last reload"});
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
        {"an accented folder, in UTF-8 with a byte order mark", "\xEF\xBB\xBF" + settingsLine,
         "lml/V\u00E9g\u00E9tation", "Mod"},
        {"an accented folder, in UTF-16", utf16File(settingsLine, false), "lml/V\u00E9g\u00E9tation", "Mod"},
        {"an accented folder, in UTF-16 big-endian", utf16File(settingsLine, true), "lml/V\u00E9g\u00E9tation", "Mod"},
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
    };
    const Case cases[] = {
        {"a folder, just after Windows started", "lml", 100, "INFO reload: 2 watched files are well-formed XML"},
        {"a folder, after the tick count wrapped", "lml", 20, "INFO reload: 2 watched files are well-formed XML"},
        {"a file, just after Windows started", "lml\\ModA\\VegetationModifiers.meta", 0,
         "INFO reload: VegetationModifiers.meta is well-formed XML"},
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
        // What the check read is the state reloaded: no reload follows by itself.
        EXPECT_EQ(runFor(6000).reloads, 0);
        closeLog();
    }
}

// Passes until the watch's next listing is under way, then `more` passes of it.
void runIntoAListing(int more) {
    for (int pass = 0; pass < 1000 && !fileWatch.listing.active; ++pass) {
        runPass();
        sim::advanceTickCount(16);
    }
    for (int pass = 0; pass < more; ++pass) {
        runPass();
        sim::advanceTickCount(16);
    }
}

TEST_F(WatchedFolder, ListingOverManyPassesTakesEffectWhenCompleteAndEachCapIsToldOnce) {
    // One more mod than are watched.
    for (int mod = 0; mod < 65; ++mod) {
        saveMod("Mod" + std::to_string(100 + mod), wellFormed, 1000);
    }
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    startScript();
    Passes passes = runFor(1000);
    EXPECT_EQ(fileWatch.files.size(), listingFiles);
    EXPECT_EQ(passes.shown, std::vector<std::string>{"Brackenfold: lml holds more than 64 files named "
                                                     "VegetationModifiers.meta; only 64 are watched"});
    // A mod's worth of entries more than one listing reads.
    std::filesystem::create_directory("lml/zz");
    for (int other = 0; other < 65'536; ++other) {
        std::ofstream("lml/zz/stream" + std::to_string(other) + ".ymt");
    }
    saveMod("ModNew", wellFormed, 1000);
    runIntoAListing(0);
    int shares = 0;
    passes = {};
    while (fileWatch.listing.active) {
        // The files watched meanwhile are those of the last complete listing.
        ASSERT_EQ(fileWatch.files.size(), listingFiles);
        const Passes pass = runFor(16);
        passes.shown.insert(passes.shown.end(), pass.shown.begin(), pass.shown.end());
        ++shares;
    }
    EXPECT_GT(shares, 65'536 / static_cast<int>(watchListingShare));
    EXPECT_EQ(passes.shown,
              std::vector<std::string>{"Brackenfold: lml holds more than 65536 entries; some mods are not watched"});
    // Told once each: the next listings say nothing more.
    EXPECT_TRUE(runFor(12'000).shown.empty());
}

TEST_F(WatchedFolder, FolderGoneWhileItIsBeingListedIsToldOnceAndItsFilesDropped) {
    startWatching();
    for (int other = 0; other < 4000; ++other) {
        std::ofstream("lml/ModB/stream" + std::to_string(other) + ".ymt");
    }
    runIntoAListing(3);
    ASSERT_TRUE(fileWatch.listing.active);
    std::filesystem::rename("lml", "lml.off");
    const Passes passes = runFor(6000);
    EXPECT_EQ(passes.shown, std::vector<std::string>{"Brackenfold: watched folder not found: lml"});
    EXPECT_EQ(passes.reloads, 0);
    EXPECT_EQ(logLinesWith("dropped with their folder").size(), 1u);
    EXPECT_EQ(sim::openListings(), 0u);
}

}  // namespace
