// The plain scans that the fast ones must agree with: the pattern is compared at
// each position in turn, leaving the position at its first mismatch.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/win32.h"
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

// Whether committed memory with this protection holds code the search reads:
// executable and readable, and no guard page.
inline bool isCode(std::uint32_t protection) {
    const std::uint32_t base = protection & 0xFF;
    return (protection & PAGE_GUARD) == 0 &&
           (base == PAGE_EXECUTE_READ || base == PAGE_EXECUTE_READWRITE || base == PAGE_EXECUTE_WRITECOPY);
}

inline bool isData(std::uint32_t protection) {
    const std::uint32_t base = protection & 0xFF;
    return (protection & PAGE_GUARD) == 0 && (base == PAGE_READONLY || base == PAGE_READWRITE || base == PAGE_WRITECOPY);
}

// What a search of an image's code gives: the first match and, up to its end (or
// over the whole image), the bytes of code, of data and of unreadable memory.
struct CodeSearch {
    const std::uint8_t* match = nullptr;
    std::size_t code = 0;
    std::size_t data = 0;
    std::size_t unreadable = 0;
};

// The first match lying wholly in code of a committed image whose byte k has the
// protection protection[k], taking each stretch of code as one buffer.
inline CodeSearch scanCode(const std::uint8_t* image, const std::vector<std::uint32_t>& protection,
                           const Pattern& pattern) {
    CodeSearch search;
    std::size_t start = 0;
    while (start < protection.size()) {
        if (!isCode(protection[start])) {
            ++(isData(protection[start]) ? search.data : search.unreadable);
            ++start;
            continue;
        }
        std::size_t end = start;
        while (end < protection.size() && isCode(protection[end])) {
            ++end;
        }
        if (const std::uint8_t* match = scan(image + start, end - start, pattern)) {
            search.match = match;
            search.code += static_cast<std::size_t>(match - (image + start)) + pattern.size();
            return search;
        }
        search.code += end - start;
        start = end;
    }
    return search;
}

}  // namespace reference
