// The plain scans that the fast ones must agree with: the pattern is compared at
// each position in turn, leaving the position at its first mismatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "locate/byte_scan.h"

namespace reference {

// The first position from 0 to size - n where every entry equals its byte or is -1.
inline const std::uint8_t* scan(const std::uint8_t* data, std::size_t size, const Pattern& pattern) {
    const std::size_t n = pattern.size();
    if (n == 0 || n > size) {
        return nullptr;
    }
    for (std::size_t i = 0; i <= size - n; ++i) {
        std::size_t j = 0;
        while (j < n && (pattern[j] == -1 || pattern[j] == data[i + j])) {
            ++j;
        }
        if (j == n) {
            return data + i;
        }
    }
    return nullptr;
}

// The first match lying wholly in readable bytes of an image (readable[k] for byte
// k), taking each stretch of readable bytes as one buffer.
inline const std::uint8_t* scanReadable(const std::uint8_t* image, const std::vector<bool>& readable,
                                        const Pattern& pattern) {
    std::size_t start = 0;
    while (start < readable.size()) {
        if (!readable[start]) {
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < readable.size() && readable[end]) {
            ++end;
        }
        if (const std::uint8_t* match = scan(image + start, end - start, pattern)) {
            return match;
        }
        start = end;
    }
    return nullptr;
}

}  // namespace reference
