// A watched file's three states and every move between them, one row per road.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "watch/watched_file.h"

namespace {

FileStamp stamp(std::uint64_t writeTime) { return {true, writeTime, 100}; }
const FileStamp missing{};

TEST(WatchedFileStates, LooksSettleAChangeOnlyWhenItStaysTheSameAndAReloadTakesWhatItShould) {
    struct Case {
        const char* what;
        std::vector<FileStamp> looks;  // one a millisecond, from 0
        Edits edits;
        std::uint32_t pendingSince;
        bool reloadSettled;     // then a reload: one the watch called for, or a key's
        FileStamp reloadedAs;   // what counts as reloaded after it
    };
    const Case cases[] = {
        {"the first look is the baseline", {stamp(1)}, Edits::settled, 0, true, stamp(7)},
        {"a new state settles from its first look", {stamp(1), stamp(2), stamp(2)}, Edits::settling, 1, true, stamp(2)},
        {"a state that changes again starts again", {stamp(1), stamp(2), stamp(3)}, Edits::settling, 2, true, stamp(3)},
        {"back to the state reloaded: nothing to settle", {stamp(1), stamp(2), stamp(1)}, Edits::settled, 0, true,
         stamp(7)},
        {"a key's reload takes what its check read", {stamp(1), stamp(2)}, Edits::settling, 1, false, stamp(7)},
        {"a file gone is taken as reloaded, its return a change", {stamp(1), missing, stamp(1)}, Edits::settling, 2,
         true, stamp(1)},
        {"checked before any look: what the check read is the baseline", {}, Edits::unseen, 0, true, stamp(7)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        WatchedFile file;
        std::uint32_t now = 0;
        for (const FileStamp& seen : test.looks) {
            takeLook(file, seen, now++);
        }
        EXPECT_EQ(file.edits, test.edits);
        if (file.edits == Edits::settling) {
            EXPECT_EQ(file.pendingSince, test.pendingSince);
        }
        startCheck(file, stamp(7), false);
        takeReloaded(file, test.reloadSettled);
        EXPECT_EQ(file.edits, Edits::settled);
        EXPECT_EQ(file.reloaded, test.reloadedAs);
    }
}

TEST(WatchedFileStates, WhatTheGameReceivedIsHeldInMemoryOrOnlyInItsCopyAndEachCheckStartsAfresh) {
    WatchedFile file;
    takeLook(file, stamp(1), 0);
    startCheck(file, stamp(2), false);
    file.bytes = "v2";
    endCheck(file, Check::read);
    takeReceived(file, "copy-2", true);
    EXPECT_EQ(file.received, Received::inMemory);
    EXPECT_EQ(file.receivedBytes, "v2");
    EXPECT_EQ(file.gameStamp, stamp(2));
    EXPECT_EQ(file.check, Check::none);
    EXPECT_TRUE(file.bytes.empty());

    EXPECT_EQ(dropReceivedBytes(file), 2u);
    EXPECT_EQ(file.received, Received::inCopy);
    EXPECT_EQ(file.receivedCopy, "copy-2");

    // A check that found the file too large, then one that found it as received: neither holds bytes.
    startCheck(file, stamp(3), false);
    endCheck(file, Check::tooLarge);
    startCheck(file, stamp(2), true);
    EXPECT_EQ(file.check, Check::asReceived);
    dropCheck(file);
    EXPECT_EQ(file.check, Check::none);
}

}  // namespace
