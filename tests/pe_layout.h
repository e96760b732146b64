// An x64 PE image's layout as Windows maps it: its headers and sections at their
// virtual addresses, each with the page protection its characteristics give. Read
// from the headers at the start of a file or of a mapped image, which are the same.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "host/win32.h"

namespace pe {

struct Section {
    std::uint32_t address = 0;     // VirtualAddress
    std::uint32_t size = 0;        // its virtual size rounded up to the section alignment
    std::uint32_t fileOffset = 0;  // PointerToRawData
    std::uint32_t fileSize = 0;    // SizeOfRawData
    std::uint32_t characteristics = 0;
};

struct Layout {
    std::uint32_t imageSize = 0;   // SizeOfImage; 0 when the headers are no x64 PE headers
    std::uint32_t headerSize = 0;  // SizeOfHeaders rounded up to the section alignment
    std::vector<Section> sections; // by address
};

// One stretch of the mapped image and its protection.
struct Range {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
    std::uint32_t protection = 0;
};

inline std::uint32_t read32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline std::uint16_t read16(const std::uint8_t* at) {
    std::uint16_t value = 0;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline std::uint32_t roundedUp(std::uint32_t value, std::uint32_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// The layout that the headers in the first `size` bytes give; imageSize is 0 when
// they are no x64 PE headers or do not fit.
inline Layout readLayout(const std::uint8_t* bytes, std::size_t size) {
    Layout layout;
    if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return layout;
    }
    const std::size_t pe = read32(bytes + 0x3C);
    if (pe > size || size - pe < 24 + 64 || std::memcmp(bytes + pe, "PE\0\0", 4) != 0 ||
        read16(bytes + pe + 4) != 0x8664) {
        return layout;
    }
    const std::size_t count = read16(bytes + pe + 6);
    const std::uint8_t* const optional = bytes + pe + 24;
    const std::size_t table = pe + 24 + read16(bytes + pe + 20);
    if (read16(optional) != 0x20B || table > size || (size - table) / 40 < count) {
        return layout;
    }
    const std::uint32_t alignment = read32(optional + 32);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t* const entry = bytes + table + 40 * k;
        Section section;
        const std::uint32_t virtualSize = read32(entry + 8);
        section.address = read32(entry + 12);
        section.fileSize = read32(entry + 16);
        section.fileOffset = read32(entry + 20);
        section.characteristics = read32(entry + 36);
        section.size = roundedUp(virtualSize != 0 ? virtualSize : section.fileSize, alignment);
        layout.sections.push_back(section);
    }
    std::sort(layout.sections.begin(), layout.sections.end(),
              [](const Section& a, const Section& b) { return a.address < b.address; });
    layout.headerSize = roundedUp(read32(optional + 60), alignment);
    layout.imageSize = read32(optional + 56);
    return layout;
}

// The protection Windows gives the pages of a section with these characteristics
// (IMAGE_SCN_MEM_EXECUTE, _READ and _WRITE); a writable section is readable too.
inline std::uint32_t sectionProtection(std::uint32_t characteristics) {
    const bool execute = (characteristics & 0x20000000u) != 0;
    const bool read = (characteristics & 0x40000000u) != 0;
    const bool write = (characteristics & 0x80000000u) != 0;
    if (execute) {
        return write ? PAGE_EXECUTE_READWRITE : read ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    }
    return write ? PAGE_READWRITE : read ? PAGE_READONLY : PAGE_NOACCESS;
}

// The image from its start to SizeOfImage as Windows maps it: the headers
// read-only, each section with its protection, what nothing covers not accessible.
inline std::vector<Range> mappedRanges(const Layout& layout) {
    std::vector<Range> ranges;
    const auto add = [&](std::uint32_t begin, std::uint32_t end, std::uint32_t protection) {
        end = std::min(end, layout.imageSize);
        if (begin < end) {
            ranges.push_back({begin, end, protection});
        }
    };
    add(0, layout.headerSize, PAGE_READONLY);
    std::uint32_t covered = std::min(layout.headerSize, layout.imageSize);
    for (const Section& section : layout.sections) {
        const std::uint32_t begin = std::max(section.address, covered);
        add(covered, begin, PAGE_NOACCESS);
        add(begin, section.address + section.size, sectionProtection(section.characteristics));
        covered = std::max(covered, std::min(section.address + section.size, layout.imageSize));
    }
    add(covered, layout.imageSize, PAGE_NOACCESS);
    return ranges;
}

}  // namespace pe
