// The key state table: for every virtual-key code from 0 to 254, the time and the
// release flag of its latest keyboard message. The host's keyboard thread writes
// it; the script reads and clears it. Each field is a lock-free 32-bit atomic used
// with relaxed order, so every access is one aligned 32-bit load or store.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct KeyRecord {
    std::atomic<std::uint32_t> stamp;  // tick count when the latest message came
    std::atomic<std::int32_t> fifth;   // the handler's fifth value, kept unchanged
    std::atomic<std::int32_t> sixth;   // the handler's sixth value, kept unchanged
    std::atomic<std::int32_t> released;  // non-zero when that message was a release
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(sizeof(KeyRecord) == 16);

inline constexpr std::uint32_t keyRecordCount = 255;
// How long a release stays "just released", in milliseconds.
inline constexpr std::uint32_t releaseWindowMs = 100;

extern KeyRecord keyRecords[keyRecordCount];

// The keyboard handler given to the host. Codes of 255 and above are ignored;
// any other message replaces its key's whole entry.
void handleKeyMessage(unsigned long key, unsigned short repeats, unsigned char scanCode,
                      int isExtended, int fifth, int sixth, int isRelease);

// True, once, when the latest message of `key` (below 255) was a release less than
// 100 ms ago; the entry is cleared then. A stale release is left as it is.
bool consumeKeyRelease(std::uint32_t key);

// Sets all four fields of the entry of `key` (below 255) to zero.
void resetKeyRecord(std::uint32_t key);
