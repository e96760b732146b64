// What follows a reload that reached the game: each version it received is kept
// (history/) and compared with the one before, and the newest is held in memory,
// within a budget for all files together, to tell the next change.
#pragma once

#include <cstddef>
#include <cstdint>

// The versions the game received, kept in memory to tell what changed, all files together.
inline constexpr std::size_t receivedBytesInMemory = std::size_t{16} << 20;

// After the game routine returned: keeps a copy of each checked file whose bytes
// differ from its newest copy (`keep` of each at most; 0 keeps none), and logs how
// each differs from the version the game received before in this run.
void keepReceivedVersions(std::uint32_t keep);
