// A watched folder's listing: spread over passes, taken in when complete, its
// files looked at in turn meanwhile, and the folder gone and back.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/watch_fixture.h"

namespace {

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

TEST_F(WatchedFolder, LooksAreSpreadOverPassesBoundedByCountAndTimeAndEveryFileIsLookedAtInTurn) {
    struct Case {
        const char* what;
        std::uint64_t counterStep;  // performance counter ticks (0.1 us) a reading costs
        std::size_t mostQueries;    // in one pass
        std::uint32_t lookWithinMs; // no file's last look older, past the first round
    };
    const Case cases[] = {
        // The counter still: the count alone bounds the looks, each file seen within a quarter second.
        {"a fast machine", 0, watchQueriesPerPass, watchCheckIntervalMs},
        // A look costs more than a pass's time for the watch: one a pass (and the settings' own look).
        {"a slow machine", 460, 2, 64 * 16 + 32},
    };
    for (std::size_t mod = 0; mod < 64; ++mod) {
        saveMod("Mod" + std::to_string(mod), wellFormed, 1000);
    }
    writeSettings("[BrackenfoldConfig]\nWatchFile=lml\n");
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        sim::setPerformanceCounterStep(test.counterStep);
        startScript();
        std::size_t most = 0;
        int listed = -1;
        for (int pass = 0; pass < 700; ++pass) {
            const std::size_t before = sim::fileQueries();
            const std::size_t shares = fileWatch.listing.shares;
            const std::uint32_t lastListing = fileWatch.lastListing;
            runPass();
            // A share that spent its budget leaves the taking in of its listing to the next pass.
            ASSERT_FALSE(test.counterStep > 0 && fileWatch.listing.shares != shares &&
                         fileWatch.lastListing != lastListing)
                << pass;
            most = std::max(most, sim::fileQueries() - before);
            listed = listed < 0 && !fileWatch.files.empty() ? pass : listed;
            for (const ::WatchedFile& file : fileWatch.files) {
                ASSERT_TRUE(pass < listed + static_cast<int>(test.lookWithinMs / 16) ||
                            GetTickCount() - file.lastLook < test.lookWithinMs)
                    << pass << " " << file.below;
            }
            sim::advanceTickCount(16);
        }
        EXPECT_EQ(fileWatch.files.size(), 64u);
        EXPECT_EQ(most, test.mostQueries);
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
    // Each reading of the counter a microsecond: a share reads at most one entry a microsecond.
    EXPECT_GE(shares, 65'536 / static_cast<int>(watchListingMicroseconds));
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
