// The key state table: for every virtual-key code from 0 to 254, the time and the
// release flag of its latest keyboard message, and which modifier keys are down.
// The host's keyboard thread writes it; the script reads and clears it. Each field
// is a lock-free 32-bit atomic used with relaxed order, so every access is one
// aligned 32-bit access.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct KeyRecord {
    std::atomic<std::uint32_t> stamp;  // tick count when the latest message came
    std::atomic<std::int32_t> withAlt;        // non-zero when Alt was down with that message
    std::atomic<std::int32_t> wasDownBefore;  // non-zero when the key was down before it
    std::atomic<std::int32_t> released;       // non-zero when that message was a release
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);
static_assert(sizeof(KeyRecord) == 16);

inline constexpr std::uint32_t keyRecordCount = 255;
// How long a release stays "just released", in milliseconds.
inline constexpr std::uint32_t releaseWindowMs = 100;

extern KeyRecord keyRecords[keyRecordCount];

// Modifier keys that a reload key can be combined with, as bits.
inline constexpr std::uint32_t ctrlModifier = 1;
inline constexpr std::uint32_t shiftModifier = 2;
inline constexpr std::uint32_t altModifier = 4;
inline constexpr std::uint32_t ctrlKey = 0x11;
inline constexpr std::uint32_t shiftKey = 0x10;
inline constexpr std::uint32_t altKey = 0x12;

// A modifier's bit is set while the latest message of its key was a press. A
// release the game never saw (the player switched windows) leaves it set until
// the key's next message.
extern std::atomic<std::uint32_t> modifiersDown;
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// A key and the modifiers that must be held when it is released.
struct KeyChord {
    std::uint32_t key = 0;
    std::uint32_t modifiers = 0;

    bool operator==(const KeyChord&) const = default;
};

// The keyboard handler given to the host, with the values the host names. Codes
// of 255 and above are ignored; any other message replaces its key's whole entry.
void handleKeyMessage(unsigned long key, unsigned short repeats, unsigned char scanCode, int isExtended,
                      int isWithAlt, int wasDownBefore, int isUpNow);

// True, once, when the latest message of `key` (below 255) was a release less than
// 100 ms ago; the entry is cleared then. A stale release is left as it is.
bool consumeKeyRelease(std::uint32_t key);

// True, once, when `chord.key` (below 255) was just released, as consumeKeyRelease
// says, and every modifier of the chord is held then; Alt also counts as held when
// the release came with Alt. A release without its modifiers is used up all the
// same, and `missingModifiers`, when given, receives the modifiers that were not
// held (0 otherwise). Modifiers the chord does not name do not matter.
bool consumeChordRelease(const KeyChord& chord, std::uint32_t* missingModifiers = nullptr);

// Sets all four fields of the entry of `key` (below 255) to zero.
void resetKeyRecord(std::uint32_t key);
