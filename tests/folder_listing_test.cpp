#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/plugin_fixture.h"
#include "text/paths.h"
#include "watch/folder_listing.h"

namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "<CVegetationModifiers/>\n";
}

using FolderListingTest = InTempDirectory;

TEST_F(FolderListingTest, FindsEveryDataFileToEightLevelsInAnyLetterCaseWithoutFollowingLinks) {
    touch("lml/VegetationModifiers.meta");
    touch("lml/ModB/vegetationmodifiers.META");
    touch("lml/ModA/VegetationModifiers.meta");
    touch("lml/ModC/VegetationModifiers.meta.bak");
    touch("lml/ModC/stream/other.meta");
    touch("lml/1/2/3/4/5/6/7/8/VegetationModifiers.meta");
    touch("lml/1/2/3/4/5/6/7/8/9/VegetationModifiers.meta");
    touch("outside/VegetationModifiers.meta");
    // A folder bearing the file's name is entered, not listed.
    touch("lml/VegetationModifiers.meta.d/VegetationModifiers.meta");
    fs::create_directory_symlink(fs::absolute("outside"), "lml/linked");
    fs::create_directory_symlink(fs::absolute("lml"), "lml/ModA/loop");
    fs::create_symlink(fs::absolute("outside/VegetationModifiers.meta"), "lml/ModC/VegetationModifiers.meta");

    const FolderListing listing = listFolder("lml\\");
    EXPECT_TRUE(listing.found);
    EXPECT_FALSE(listing.tooManyFiles);
    EXPECT_FALSE(listing.tooManyEntries);
    const std::vector<std::string> expected{
        "1\\2\\3\\4\\5\\6\\7\\8\\VegetationModifiers.meta",
        "ModA\\VegetationModifiers.meta",
        "ModB\\vegetationmodifiers.META",
        "VegetationModifiers.meta",
        "VegetationModifiers.meta.d\\VegetationModifiers.meta",
    };
    EXPECT_EQ(listing.files, expected);
    EXPECT_EQ(joinPath("lml\\", listing.files[1]), "lml\\ModA\\VegetationModifiers.meta");
    EXPECT_FALSE(listFolder("missing").found);

    // Spread over passes in shares whose time runs out after 1, 2, 17 or 200 entries
    // (each reading of the counter a tick), the listing finds the same; a share
    // whose time is spent before it begins (0) still reads one entry.
    sim::setPerformanceCounterStep(1);
    for (const long long budget : {0LL, 1LL, 2LL, 17LL, 200LL}) {
        SCOPED_TRACE(budget);
        ListingWork work;
        startListing(work, "lml\\");
        std::size_t shares = 1;
        while (!continueListing(work, TimeBudget{budget})) {
            ++shares;
            // Between two shares at most the folder being read is held open.
            EXPECT_LE(sim::openListings(), 1u);
            EXPECT_GE(work.lastShare, 1u);
            EXPECT_LE(work.lastShare, static_cast<std::size_t>(std::max(budget, 1LL)));
        }
        EXPECT_EQ(work.result.files, expected);
        EXPECT_EQ(work.result.entries, listing.entries);
        EXPECT_GE(shares, listing.entries / static_cast<std::size_t>(std::max(budget, 1LL)));
        EXPECT_EQ(sim::openListings(), 0u);
    }
}

TEST_F(FolderListingTest, SubfolderGoneWhileTheListingIsUnderWayIsSkipped) {
    const std::vector<std::string> mods{"A", "B", "C", "D"};
    for (const char* gone : {"waiting", "being read"}) {
        SCOPED_TRACE(gone);
        fs::remove_all("lml");
        for (const std::string& mod : mods) {
            touch("lml/" + mod + "/VegetationModifiers.meta");
        }
        ListingWork work;
        startListing(work, "lml");
        // Share by share, until every mod's folder waits or the first is open.
        const bool waiting = std::string(gone) == "waiting";
        while (waiting ? work.pending.size() < mods.size() : work.reading.below.empty() || work.search == nullptr) {
            ASSERT_FALSE(continueListing(work, TimeBudget{0}));
        }
        const std::string below = waiting ? work.pending.front().below : work.reading.below;
        const std::string removed = below.substr(0, below.size() - 1);
        fs::remove_all("lml/" + removed);
        while (!continueListing(work, TimeBudget{0})) {
        }
        EXPECT_TRUE(work.result.found);
        std::vector<std::string> others;
        for (const std::string& mod : mods) {
            if (mod != removed) {
                others.push_back(mod + "\\VegetationModifiers.meta");
            }
        }
        // A folder that was open may still give what was read of it before it went.
        std::vector<std::string> found = work.result.files;
        if (!waiting) {
            std::erase(found, removed + "\\VegetationModifiers.meta");
        }
        EXPECT_EQ(found, others);
        EXPECT_EQ(sim::openListings(), 0u);
    }
}

TEST_F(FolderListingTest, StopsAtSixtyFourFilesAndAfterSixtyFiveThousandFiveHundredAndThirtySixEntries) {
    struct Case {
        const char* what;
        int mods;
        int otherFiles;
        std::size_t files;
        bool tooManyFiles;
        bool tooManyEntries;
    };
    // The folder grows from row to row: only the files a row adds are made.
    const Case cases[] = {
        {"64 files", 64, 0, 64, false, false},
        {"65 files", 65, 0, 64, true, false},
        // "." and ".." of the folder and of each mod's count among the entries.
        {"65536 entries", 1, 65'536 - 6, 1, false, false},
        {"65537 entries", 1, 65'536 - 5, 0, false, true},
    };
    int made = 0;
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        if (test.otherFiles == 0 || made == 0) {
            fs::remove_all("lml");
            made = 0;
            for (int mod = 0; mod < test.mods; ++mod) {
                touch("lml/mod" + std::to_string(mod) + "/VegetationModifiers.meta");
            }
        }
        for (; made < test.otherFiles; ++made) {
            std::ofstream("lml/file" + std::to_string(made));
        }
        const FolderListing listing = listFolder("lml");
        EXPECT_EQ(listing.tooManyFiles, test.tooManyFiles);
        EXPECT_EQ(listing.tooManyEntries, test.tooManyEntries);
        if (!test.tooManyEntries) {
            EXPECT_EQ(listing.files.size(), test.files);
        }
        EXPECT_EQ(sim::openListings(), 0u);
    }
}

}  // namespace
