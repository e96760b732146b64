#include "keys/key_records.h"

#include "host/kernel.h"

KeyRecord keyRecords[keyRecordCount] = {};
std::atomic<std::uint32_t> modifiersDown{0};

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

std::uint32_t modifierOf(std::uint32_t code) {
    switch (code) {
    case ctrlKey:
        return ctrlModifier;
    case shiftKey:
        return shiftModifier;
    case altKey:
        return altModifier;
    default:
        return 0;
    }
}

}  // namespace

void handleKeyMessage(unsigned long key, unsigned short, unsigned char, int, int isWithAlt, int wasDownBefore,
                      int isUpNow) {
    // The code is a 32-bit value on the host's side, whatever width long has here.
    const auto code = static_cast<std::uint32_t>(key);
    if (code >= keyRecordCount) {
        return;
    }
    KeyRecord& record = keyRecords[code];
    record.stamp.store(tickCount(), relaxed);
    record.withAlt.store(isWithAlt, relaxed);
    record.wasDownBefore.store(wasDownBefore, relaxed);
    record.released.store(isUpNow, relaxed);
    if (const std::uint32_t modifier = modifierOf(code)) {
        if (isUpNow != 0) {
            modifiersDown.fetch_and(~modifier, relaxed);
        } else {
            modifiersDown.fetch_or(modifier, relaxed);
        }
    }
}

bool consumeKeyRelease(std::uint32_t key) {
    const auto now = tickCount();
    KeyRecord& record = keyRecords[key];
    // Elapsed time in wrapping arithmetic, so a release just before the tick count
    // wraps past 2^32 still counts.
    const std::uint32_t elapsed = now - record.stamp.load(relaxed);
    if (record.released.load(relaxed) != 0 && elapsed < releaseWindowMs) {
        resetKeyRecord(key);
        return true;
    }
    return false;
}

bool consumeChordRelease(const KeyChord& chord, std::uint32_t* missingModifiers) {
    // Read before the release is consumed, which clears it.
    const bool withAlt = keyRecords[chord.key].withAlt.load(relaxed) != 0;
    const bool released = consumeKeyRelease(chord.key);
    const std::uint32_t missing =
        released ? chord.modifiers & ~(modifiersDown.load(relaxed) | (withAlt ? altModifier : 0)) : 0;
    if (missingModifiers != nullptr) {
        *missingModifiers = missing;
    }
    return released && missing == 0;
}

void resetKeyRecord(std::uint32_t key) {
    KeyRecord& record = keyRecords[key];
    record.stamp.store(0, relaxed);
    record.withAlt.store(0, relaxed);
    record.wasDownBefore.store(0, relaxed);
    record.released.store(0, relaxed);
}
