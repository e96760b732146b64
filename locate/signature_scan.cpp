#include "locate/signature_scan.h"

#include <cstring>

#include "host/kernel.h"

const char reloadSignature[] =
    "48 89 5C 24 08 48 89 74 24 18 48 89 7C 24 20 55 41 54 41 55 41 56 41 57 48 8B EC 48 83 EC 60 48 8B D9";

const std::uint8_t* gameModuleBase = nullptr;

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// strtoul in base 16 with a 32-bit unsigned long, as on Windows: returns the value
// and sets `cursor` past the number, or leaves it when no digit can be read.
std::uint32_t readHex32(const char* text, std::size_t& cursor) {
    std::size_t i = cursor;
    while (isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && hexDigit(text[i + 2]) >= 0) {
        i += 2;
    }
    if (hexDigit(text[i]) < 0) {
        return 0;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; hexDigit(text[i]) >= 0; ++i) {
        value = value * 16 + static_cast<std::uint64_t>(hexDigit(text[i]));
        if (value > 0xFFFFFFFFu) {
            overflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    cursor = i;
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? 0u - result : result;
}

// What the search makes of a region of memory: code is scanned, the rest passed over.
enum class Memory { code, data, unreadable };

Memory memoryKind(const MemoryRegion& region) {
    switch (region.access) {
    case RegionAccess::code:
        return Memory::code;
    case RegionAccess::data:
        return Memory::data;
    case RegionAccess::none:
        break;
    }
    return Memory::unreadable;
}

struct Run {
    Memory kind = Memory::unreadable;
    std::size_t size = 0;
};

// The kind of memory at `address` and how many bytes from there on, up to `limit`
// and at least one, are of that kind, adjacent regions of one kind counting as one
// and memory the kernel cannot describe as unreadable up to the limit.
Run runAt(const std::uint8_t* address, std::size_t limit) {
    // Addresses as integers: a region may end at the top of the address space.
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    Run run;
    std::size_t size = 0;
    while (size < limit) {
        MemoryRegion region;
        const bool described = regionAt(address + size, region);
        const std::uintptr_t regionEnd = region.base + region.size;
        if (!described || regionEnd <= start + size) {
            if (size == 0) {
                return {Memory::unreadable, limit};
            }
            break;
        }
        const Memory kind = memoryKind(region);
        if (size == 0) {
            run.kind = kind;
        } else if (kind != run.kind) {
            break;
        }
        size = regionEnd - start;
    }
    run.size = size < limit ? size : limit;
    return run;
}

// The number of readable bytes, code or data, from `address` on, up to `limit`.
std::size_t readableRun(const std::uint8_t* address, std::size_t limit) {
    std::size_t size = 0;
    while (size < limit) {
        const Run run = runAt(address + size, limit - size);
        if (run.kind == Memory::unreadable) {
            break;
        }
        size += run.size;
    }
    return size;
}

}  // namespace

Pattern parsePattern(const char* text) {
    Pattern pattern;
    const std::size_t end = std::strlen(text);
    std::size_t cursor = 0;
    while (cursor < end) {
        if (text[cursor] == '?') {
            ++cursor;
            if (text[cursor] == '?') {
                ++cursor;
            }
            pattern.push_back(-1);
        } else {
            pattern.push_back(static_cast<std::int32_t>(readHex32(text, cursor)));
        }
        ++cursor;
    }
    return pattern;
}

const std::uint8_t* scanBytes(const std::uint8_t* data, std::size_t size, const Pattern& pattern) {
    return scanPlanned(data, size, planScan(pattern));
}

std::size_t imageSize(const std::uint8_t* base) {
    const std::size_t headerRun = readableRun(base, 4096);
    if (headerRun < 0x40) {
        return 0;
    }
    std::int32_t peOffset = 0;
    std::memcpy(&peOffset, base + 0x3C, sizeof peOffset);
    if (peOffset < 0 || static_cast<std::size_t>(peOffset) + 0x54 > headerRun) {
        return 0;
    }
    std::uint32_t size = 0;
    std::memcpy(&size, base + peOffset + 0x50, sizeof size);
    return size;
}

ImageSearch searchGameImage(const char* signature, VectorWidth width) {
    ImageSearch search;
    search.width = widthUsed(width);
    const std::uint8_t* const base = gameModuleBase;
    if (base == nullptr) {
        return search;
    }
    const std::size_t size = imageSize(base);
    const ScanPlan plan = planScan(parsePattern(signature));
    std::size_t offset = 0;
    while (offset < size) {
        const Run run = runAt(base + offset, size - offset);
        if (run.kind == Memory::data) {
            search.skippedData += run.size;
        } else if (run.kind == Memory::unreadable) {
            search.skippedUnreadable += run.size;
        } else if (const std::uint8_t* match = scanPlanned(base + offset, run.size, plan, search.width)) {
            search.match = match;
            search.searched += static_cast<std::size_t>(match - (base + offset)) + plan.length;
            return search;
        } else {
            search.searched += run.size;
        }
        offset += run.size;
    }
    return search;
}

const std::uint8_t* findPattern(const char* signature) { return searchGameImage(signature).match; }
