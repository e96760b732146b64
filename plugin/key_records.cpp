#include "plugin/key_records.h"

#include "plugin/kernel.h"

KeyRecord keyRecords[keyRecordCount] = {};

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

void handleKeyMessage(unsigned long key, unsigned short, unsigned char, int, int fifth, int sixth,
                      int isRelease) {
    // The code is a 32-bit value on the host's side, whatever width long has here.
    const auto code = static_cast<std::uint32_t>(key);
    if (code >= keyRecordCount) {
        return;
    }
    KeyRecord& record = keyRecords[code];
    record.stamp.store(static_cast<std::uint32_t>(GetTickCount()), relaxed);
    record.fifth.store(fifth, relaxed);
    record.sixth.store(sixth, relaxed);
    record.released.store(isRelease, relaxed);
}

bool consumeKeyRelease(std::uint32_t key) {
    const auto now = static_cast<std::uint32_t>(GetTickCount());
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

void resetKeyRecord(std::uint32_t key) {
    KeyRecord& record = keyRecords[key];
    record.stamp.store(0, relaxed);
    record.fifth.store(0, relaxed);
    record.sixth.store(0, relaxed);
    record.released.store(0, relaxed);
}
