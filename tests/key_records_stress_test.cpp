#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstdint>
#include <thread>
#include <vector>

#include "keys/key_records.h"
#include "tests/sim/sim.h"

namespace {

// What the keyboard thread does with each key code below 255.
enum class Role { Released, PressedOnly, IgnoredAlias, Untouched };

Role roleOf(std::uint32_t key) {
    switch (key % 4) {
    case 0: return Role::Released;
    case 1: return Role::PressedOnly;
    case 2: return Role::IgnoredAlias;
    default: return Role::Untouched;
    }
}

constexpr int rounds = 3000;

class KeyRecordsStress : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
            resetKeyRecord(key);
        }
        // Close to the wrap of the 32-bit tick count, so the run crosses it.
        sim::setTickCount(0xFFFFFFFFu - 2000u);
    }

    void TearDown() override {
        for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
            resetKeyRecord(key);
        }
        modifiersDown = 0;
        sim::reset();
    }
};

void sendPress(unsigned long key) { handleKeyMessage(key, 1, 0, 0, 0, 0, 0); }
void sendRelease(unsigned long key, int flag) { handleKeyMessage(key, 1, 0, 0, 7, -7, flag); }

}  // namespace

TEST_F(KeyRecordsStress, ScriptConsumesOnlyReleasesTheKeyboardThreadSent) {
    std::array<std::uint64_t, keyRecordCount> releasesSent{};
    std::array<std::uint64_t, keyRecordCount> consumed{};
    std::atomic<bool> start{false};
    std::atomic<bool> keyboardDone{false};

    std::thread keyboard([&] {
        while (!start.load()) {
        }
        for (int round = 0; round < rounds; ++round) {
            for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
                switch (roleOf(key)) {
                case Role::Released:
                    // Sparse, so that each release waits in the table over several
                    // sweeps of the script and must still count only once.
                    if ((round + key) % 16 == 0) {
                        sendPress(key);
                        // Any non-zero seventh value reports a release.
                        sendRelease(key, round % 32 == 0 ? 1 : INT_MIN);
                        ++releasesSent[key];
                    }
                    break;
                case Role::PressedOnly:
                    sendPress(key);
                    break;
                case Role::IgnoredAlias:
                    // Codes of 255 and above whose low byte names this key.
                    sendRelease(key + 256, 1);
                    sendRelease(key + 0x1000, 1);
                    sendRelease(0xFFFFFF00u + key, 1);
                    break;
                case Role::Untouched:
                    break;
                }
            }
            sendRelease(255, 1);
            sendRelease(ULONG_MAX, 1);
            if constexpr (sizeof(unsigned long) > 4) {
                // Above 32 bits: the code is what remains in 32 bits, as on the host's side.
                sendRelease(static_cast<unsigned long>(0xFFFFFFFF00000100ull), 1);
                sendRelease(static_cast<unsigned long>((1ull << 32) | 4u), 1);
                ++releasesSent[4];
            }
        }
        keyboardDone.store(true);
    });

    std::thread script([&] {
        start.store(true);
        bool last = false;
        while (!last) {
            last = keyboardDone.load();
            for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
                // Half as a plain key, half through the combination test, which also
                // reads the modifier keys the keyboard thread is changing.
                if (key % 2 == 0 ? consumeKeyRelease(key) : consumeChordRelease({key, 0})) {
                    ++consumed[key];
                }
            }
            sim::advanceTickCount(1);
        }
    });

    keyboard.join();
    script.join();

    // The last message of every released key was a release: it was consumed during
    // the run, or it is still in the table and counts now.
    for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
        if (keyRecords[key].released.load() != 0) {
            sim::setTickCount(keyRecords[key].stamp.load());
            if (consumeKeyRelease(key)) {
                ++consumed[key];
            }
        }
    }

    for (std::uint32_t key = 0; key < keyRecordCount; ++key) {
        SCOPED_TRACE(key);
        if (roleOf(key) == Role::Released) {
            EXPECT_GE(consumed[key], 1u);
            EXPECT_LE(consumed[key], releasesSent[key]);
        } else {
            EXPECT_EQ(consumed[key], 0u);
            EXPECT_EQ(keyRecords[key].released.load(), 0);
        }
    }
}
