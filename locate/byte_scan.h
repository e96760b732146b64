// Finds the first place where a pattern of exact bytes and wildcards occurs in a
// buffer, at close to the speed of reading the buffer once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One entry per token: 0 to 255 must equal the byte, -1 matches any byte, and any
// other value matches no byte.
using Pattern = std::vector<std::int32_t>;

// One entry of a pattern that must equal a byte: its place in the pattern and value.
struct ExactByte {
    std::size_t offset = 0;
    std::uint8_t value = 0;
};

// What a scan needs from a pattern, prepared once per search and used for every
// buffer of that search. Holds no result: nothing outlives the search.
struct ScanPlan {
    std::size_t length = 0;       // entries in the pattern
    bool matchesNothing = true;   // the pattern is empty or has an entry no byte matches
    std::vector<ExactByte> exact; // every exact entry, rarest byte first; empty when all are wildcards
    // Two exact entries, far apart in the pattern and holding bytes rare in machine
    // code, that every position must match before the whole pattern is compared.
    // Both are the same entry when the pattern has one exact entry.
    ExactByte firstAnchor;
    ExactByte secondAnchor;
};

// The vector width of a scan. `automatic` takes the widest the processor runs;
// asking for AVX2 on a processor without it gives SSE2.
enum class VectorWidth { automatic, sse2, avx2 };

// The width that a scan asked for `width` runs with on this processor and build:
// SSE2 or AVX2, never automatic.
VectorWidth widthUsed(VectorWidth width = VectorWidth::automatic);

// The name of a width as the log gives it: "SSE2", "AVX2" or "automatic".
const char* vectorWidthName(VectorWidth width);

// Makes one allocation, whose failure throws std::bad_alloc; none is swallowed.
ScanPlan planScan(const Pattern& pattern);

// The first position in [data, data + size) where the planned pattern matches, or
// null. Every position from 0 to size - length is examined, none past it, and no
// byte outside [data, data + size) is read. Gives exactly what comparing the
// pattern at each position in turn gives.
const std::uint8_t* scanPlanned(const std::uint8_t* data, std::size_t size, const ScanPlan& plan,
                                VectorWidth width = VectorWidth::automatic);

// Whether this processor and build run the AVX2 scan.
bool avx2Available();
