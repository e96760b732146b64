#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

#include "keys/key_records.h"
#include "tests/plugin_fixture.h"

namespace {

using KeyRecords = PluginTest;

struct Fields {
    std::uint32_t stamp;
    std::int32_t withAlt;
    std::int32_t wasDownBefore;
    std::int32_t released;
    bool operator==(const Fields&) const = default;
};

Fields fieldsOf(std::uint32_t key) {
    const KeyRecord& record = keyRecords[key];
    return {record.stamp.load(), record.withAlt.load(), record.wasDownBefore.load(), record.released.load()};
}

bool tableIsZero() {
    for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
        if (fieldsOf(key) != Fields{}) {
            return false;
        }
    }
    return true;
}

void release(unsigned long key, int withAlt = 0, int wasDownBefore = 0) {
    handleKeyMessage(key, 1, 0x44, 0, withAlt, wasDownBefore, 1);
}
void press(unsigned long key) { handleKeyMessage(key, 1, 0x44, 0, 0, 0, 0); }

TEST_F(KeyRecords, CodesOf255AndAboveLeaveTheWholeTableUnchanged) {
    sim::setTickCount(5000);
    for (const unsigned long code : {255ul, 256ul, 1000ul, 0xFFFFul, 0xFFFF'FFFFul}) {
        release(code, 7, 8);
        press(code);
    }
    EXPECT_TRUE(tableIsZero());
}

// The host's code is 32 bits wide; a wider long (as on Linux) is taken by its low
// 32 bits, as the host would have passed it.
TEST_F(KeyRecords, CodeIsTakenAsItsLow32Bits) {
    sim::setTickCount(5000);
    release(0x1'0000'00FFul);
    release(0xFFFF'FFFF'0000'0100ul);
    EXPECT_TRUE(tableIsZero());

    release(0x1'0000'0079ul, 3, 4);
    EXPECT_EQ(fieldsOf(121), (Fields{5000, 3, 4, 1}));
    for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
        if (key != 121) {
            EXPECT_EQ(fieldsOf(key), Fields{}) << "key " << key;
        }
    }
}

TEST_F(KeyRecords, Code254IsTheLastEntry) {
    sim::setTickCount(70);
    release(254);
    sim::advanceTickCount(10);
    EXPECT_TRUE(consumeKeyRelease(254));
}

TEST_F(KeyRecords, UntouchedEntryNeverCountsAsReleased) {
    for (const std::uint32_t now : {0u, 50u, 99u, 100u, 0xFFFF'FFFFu}) {
        sim::setTickCount(now);
        for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
            EXPECT_FALSE(consumeKeyRelease(key)) << "key " << key << " at " << now;
        }
    }
}

TEST_F(KeyRecords, MessageStoresStampWithAltWasDownBeforeAndReleaseUnchanged) {
    sim::setTickCount(123456);
    handleKeyMessage(65, 9, 0x1E, 1, -7, 0x7FFF'FFFF, -2);
    EXPECT_EQ(fieldsOf(65), (Fields{123456, -7, 0x7FFF'FFFF, -2}));

    // The next message of the key replaces the whole entry.
    sim::setTickCount(123999);
    handleKeyMessage(65, 1, 0x1E, 0, 0, -1, 0);
    EXPECT_EQ(fieldsOf(65), (Fields{123999, 0, -1, 0}));
}

TEST_F(KeyRecords, ReleaseTested99MsLaterCountsOnceThenClears) {
    sim::setTickCount(10'000);
    release(121, 5, 6);
    sim::advanceTickCount(99);
    EXPECT_TRUE(consumeKeyRelease(121));
    EXPECT_EQ(fieldsOf(121), Fields{});
    EXPECT_FALSE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, AnyNonZeroReleaseFlagCounts) {
    sim::setTickCount(10'000);
    handleKeyMessage(121, 1, 0x44, 0, 0, 0, -1);
    EXPECT_TRUE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, ReleaseTestedInTheSameMillisecondCounts) {
    sim::setTickCount(0);
    release(121);
    EXPECT_TRUE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, ReleaseOlderThanWindowIsIgnoredAndKept) {
    for (const std::uint32_t age : {100u, 101u, 5000u, 0x8000'0000u}) {
        resetKeyRecord(121);
        sim::setTickCount(10'000);
        release(121, 5, 6);
        sim::advanceTickCount(age);
        EXPECT_FALSE(consumeKeyRelease(121)) << "age " << age;
        EXPECT_EQ(fieldsOf(121), (Fields{10'000, 5, 6, 1})) << "age " << age;
    }
}

TEST_F(KeyRecords, StaleReleaseCountsAgainOnceTheTickCountHasComeRound) {
    sim::setTickCount(10'000);
    release(121);
    sim::advanceTickCount(200);
    EXPECT_FALSE(consumeKeyRelease(121));
    // 2^32 ms after the message the tick count reads the same as then.
    sim::setTickCount(10'000 + 50);
    EXPECT_TRUE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, LaterPressAfterReleaseMeansNotReleased) {
    sim::setTickCount(10'000);
    release(121);
    sim::advanceTickCount(10);
    press(121);
    sim::advanceTickCount(10);
    EXPECT_FALSE(consumeKeyRelease(121));
    EXPECT_EQ(fieldsOf(121), (Fields{10'010, 0, 0, 0}));
}

TEST_F(KeyRecords, ReleaseOfOneKeyDoesNotCountForAnother) {
    sim::setTickCount(10'000);
    release(120);
    release(122);
    EXPECT_FALSE(consumeKeyRelease(121));
    EXPECT_TRUE(consumeKeyRelease(120));
    EXPECT_TRUE(consumeKeyRelease(122));
}

TEST_F(KeyRecords, ReleaseJustBeforeTheTickCountWrapsCountsAfterTheWrap) {
    sim::setTickCount(0xFFFF'FFFFu - 29);  // 30 ms before the wrap
    release(121);
    sim::setTickCount(40);  // 70 ms after the message
    EXPECT_TRUE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, ReleaseJustBeforeTheTickCountWrapsCountsBeforeTheWrapToo) {
    sim::setTickCount(0xFFFF'FFFFu - 29);
    release(121);
    sim::setTickCount(0xFFFF'FFFFu);  // 29 ms after the message, not yet wrapped
    EXPECT_TRUE(consumeKeyRelease(121));
}

TEST_F(KeyRecords, ReleaseJustBeforeTheWrapExpires100MsAfterIt) {
    sim::setTickCount(0xFFFF'FFFFu - 29);
    release(121, 1, 2);
    sim::setTickCount(70);  // exactly 100 ms after the message
    EXPECT_FALSE(consumeKeyRelease(121));
    EXPECT_EQ(fieldsOf(121), (Fields{0xFFFF'FFFFu - 29, 1, 2, 1}));
}

TEST_F(KeyRecords, ResetClearsAllFourFieldsOfOneEntryOnly) {
    sim::setTickCount(777);
    release(10, 1, 2);
    release(11, 3, 4);
    resetKeyRecord(10);
    EXPECT_EQ(fieldsOf(10), Fields{});
    EXPECT_EQ(fieldsOf(11), (Fields{777, 3, 4, 1}));
}

// Messages before the release, as (key, is up now), then whether the release of F10
// came with Alt, and whether a chord's release counts.
TEST_F(KeyRecords, CombinationCountsWhenItsModifiersAreHeldAtTheRelease) {
    struct Case {
        const char* what;
        std::uint32_t modifiers;
        std::vector<std::pair<unsigned long, int>> before;
        int withAlt;
        bool counts;
    };
    const Case cases[] = {
        {"plain key, nothing held", 0, {}, 0, true},
        {"plain key, modifiers held too", 0, {{0x11, 0}, {0x10, 0}}, 1, true},
        {"Ctrl held", ctrlModifier, {{0x11, 0}}, 0, true},
        {"Ctrl never pressed", ctrlModifier, {}, 0, false},
        {"Ctrl released before", ctrlModifier, {{0x11, 0}, {0x11, 1}}, 0, false},
        {"Ctrl pressed again", ctrlModifier, {{0x11, 0}, {0x11, 1}, {0x11, 0}}, 0, true},
        {"Shift for Ctrl+Shift", ctrlModifier | shiftModifier, {{0x10, 0}}, 0, false},
        {"Ctrl and Shift", ctrlModifier | shiftModifier, {{0x10, 0}, {0x11, 0}}, 0, true},
        {"Alt from the release message", altModifier, {}, 1, true},
        {"Alt from its own press", altModifier, {{0x12, 0}}, 0, true},
        {"Alt released before", altModifier, {{0x12, 0}, {0x12, 1}}, 0, false},
        {"Ctrl+Alt, Alt from the release", ctrlModifier | altModifier, {{0x11, 0}}, 1, true},
        {"a key other than a modifier", ctrlModifier, {{0xA2, 0}}, 0, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        resetPluginState();
        sim::setTickCount(1000);
        for (const auto& [key, up] : test.before) {
            handleKeyMessage(key, 1, 0, 0, 0, up, up);
        }
        handleKeyMessage(121, 1, 0, 0, test.withAlt, 1, 1);
        std::uint32_t missing = 99;
        EXPECT_EQ(consumeChordRelease({121, test.modifiers}, &missing), test.counts);
        EXPECT_EQ(missing != 0, !test.counts);
        // The release is used up either way.
        EXPECT_EQ(fieldsOf(121), Fields{});
        EXPECT_FALSE(consumeChordRelease({121, 0}));
    }
    // A modifier whose release never came stays held until its next message.
    sim::advanceTickCount(60'000);
    handleKeyMessage(0x11, 1, 0, 0, 0, 0, 0);
    sim::advanceTickCount(3'600'000);
    release(121);
    EXPECT_TRUE(consumeChordRelease({121, ctrlModifier}));
}

// The entries are shared with the host's keyboard thread without a lock, and the
// table's layout is the one the host binding was designed around.
TEST(KeyRecordLayout, FourAligned32BitFieldsInOrderIn16Bytes) {
    static_assert(sizeof(KeyRecord) == 16);
    static_assert(alignof(KeyRecord) == 4);
    static_assert(sizeof keyRecords == 255 * sizeof(KeyRecord));
    static_assert(std::is_same_v<decltype(KeyRecord::stamp)::value_type, std::uint32_t>);
    static_assert(std::is_same_v<decltype(KeyRecord::withAlt)::value_type, std::int32_t>);
    static_assert(std::is_same_v<decltype(KeyRecord::wasDownBefore)::value_type, std::int32_t>);
    static_assert(std::is_same_v<decltype(KeyRecord::released)::value_type, std::int32_t>);

    resetPluginState();
    sim::setTickCount(0x11111111u);
    handleKeyMessage(200, 0, 0, 0, 0x22222222, 0x33333333, 0x44444444);
    unsigned char bytes[sizeof(KeyRecord)];
    std::memcpy(bytes, reinterpret_cast<const unsigned char*>(&keyRecords[200]), sizeof bytes);
    std::uint32_t words[4];
    std::memcpy(words, bytes, sizeof words);
    EXPECT_EQ(words[0], 0x11111111u);
    EXPECT_EQ(words[1], 0x22222222u);
    EXPECT_EQ(words[2], 0x33333333u);
    EXPECT_EQ(words[3], 0x44444444u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&keyRecords[200]) % 4, 0u);
    resetPluginState();
}

}  // namespace
