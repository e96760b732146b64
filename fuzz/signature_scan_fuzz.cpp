// Arbitrary signature texts and images through parsePattern, scanBytes, the scan at
// each vector width and the search of the image's code with its counts, compared
// with a plain reference parse and scan written here.
//
// Input: 8 control bytes, then the signature text up to the first NUL, then the
// image. The control bytes choose the PE header offset, a size claimed by the
// header that may differ from the image's, a hole in the image that is unreadable
// or readable data, whether the headers are data, extra region boundaries in the
// simulated memory map and whether its lowest 64 KiB are unmapped. The image sits in
// its own exact-size heap block and the hole is poisoned, so AddressSanitizer
// reports any read outside the image's code and headers.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "locate/signature_scan.h"
#include "host/win32.h"
#include "tests/sim/sim.h"

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void require(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

enum Flags : std::uint8_t {
    withHole = 1,
    claimMore = 2,
    claimLess = 4,
    splitRegions = 8,
    lowGuard = 16,
    holeKind = 32 | 64,  // the hole's protection: no access, read-only, read-write or write-copy
    dataHeaders = 128,   // the headers' region is read-only data, as Windows maps them
};

constexpr std::uint32_t holeProtections[4] = {PAGE_NOACCESS, PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY};

constexpr std::size_t peHeaderSize = 0x54;  // up to and with SizeOfImage
constexpr std::size_t guardSize = 0x10000;  // unreadable memory after the image

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// strtoul in base 16 with a 32-bit unsigned long, built on the C library's 64-bit
// conversion: a magnitude beyond 32 bits saturates, a minus sign negates.
std::uint32_t readHex32(const char* text, std::size_t& used) {
    char* stop = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &stop, 16);
    const bool outOfRange = errno == ERANGE;
    used = static_cast<std::size_t>(stop - text);
    if (used == 0) {
        return 0;
    }
    const char* sign = text;
    while (isBlank(*sign)) {
        ++sign;
    }
    const bool negative = *sign == '-';
    const unsigned long long magnitude = outOfRange ? ULLONG_MAX : negative ? 0ull - value : value;
    if (magnitude > 0xFFFFFFFFull) {
        return 0xFFFFFFFFu;
    }
    const auto result = static_cast<std::uint32_t>(magnitude);
    return negative ? 0u - result : result;
}

Pattern referenceParse(const char* text) {
    Pattern pattern;
    const std::size_t end = std::strlen(text);
    for (std::size_t cursor = 0; cursor < end; ++cursor) {
        if (text[cursor] == '?') {
            cursor += text[cursor + 1] == '?' ? 2 : 1;
            pattern.push_back(-1);
        } else {
            std::size_t used = 0;
            pattern.push_back(static_cast<std::int32_t>(readHex32(text + cursor, used)));
            cursor += used;
        }
    }
    return pattern;
}

bool entryMatches(std::int32_t entry, std::uint8_t byte) {
    return entry == -1 || (entry >= 0 && entry <= 255 && entry == byte);
}

// The first position i from 0 to limit - n inclusive where the pattern matches; -1
// when there is none.
long long referenceScan(const std::uint8_t* data, std::size_t limit, const Pattern& pattern) {
    const std::size_t n = pattern.size();
    if (n == 0 || n > limit) {
        return -1;
    }
    for (std::size_t i = 0; i + n <= limit; ++i) {
        bool all = true;
        for (std::size_t j = 0; j < n && all; ++j) {
            all = entryMatches(pattern[j], data[i + j]);
        }
        if (all) {
            return static_cast<long long>(i);
        }
    }
    return -1;
}

enum class Kind : std::uint8_t { code, data, unreadable };

// What a search of the code among `kinds` (one per byte of the claimed image) gives:
// the first match lying wholly in code, and the bytes of each kind up to its end.
struct Expected {
    long long match = -1;
    std::size_t counts[3] = {};
};

Expected referenceSearch(const std::uint8_t* image, const std::vector<Kind>& kinds, const Pattern& pattern) {
    Expected expected;
    const std::size_t n = pattern.size();
    std::size_t stretch = 0;  // code bytes right before position i
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        ++expected.counts[static_cast<int>(kinds[i])];
        stretch = kinds[i] == Kind::code ? stretch + 1 : 0;
        // A match ending at byte i, wholly in this stretch of code.
        if (n == 0 || stretch < n) {
            continue;
        }
        const std::size_t start = i + 1 - n;
        bool all = true;
        for (std::size_t j = 0; j < n && all; ++j) {
            all = entryMatches(pattern[j], image[start + j]);
        }
        if (all) {
            expected.match = static_cast<long long>(start);
            return expected;
        }
    }
    return expected;
}

long long positionOf(const std::uint8_t* found, const std::uint8_t* base) {
    return found == nullptr ? -1 : static_cast<long long>(found - base);
}

std::uint16_t read16(const std::uint8_t* control, std::size_t at) {
    return static_cast<std::uint16_t>(control[at] | (control[at + 1] << 8));
}

void write32(std::uint8_t* at, std::uint32_t value) { std::memcpy(at, &value, sizeof value); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t control[8] = {};
    std::memcpy(control, data, std::min(size, sizeof control));
    const std::uint8_t* rest = data + std::min(size, sizeof control);
    const std::size_t restSize = size - std::min(size, sizeof control);
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(rest, 0, restSize));
    const std::size_t textSize = nul != nullptr ? static_cast<std::size_t>(nul - rest) : restSize;
    const std::uint8_t* imageBytes = nul != nullptr ? nul + 1 : rest + restSize;
    const std::size_t imageSize = static_cast<std::size_t>(rest + restSize - imageBytes);

    // The text in a block of exactly its length and NUL.
    const std::unique_ptr<char[]> text(new char[textSize + 1]);
    std::memcpy(text.get(), rest, textSize);
    text[textSize] = '\0';

    const Pattern pattern = parsePattern(text.get());
    require(pattern == referenceParse(text.get()), "parsePattern reads tokens as strtoul does");

    {
        // scanBytes over the image bytes alone, in a block of exactly their size.
        const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[imageSize]);
        std::memcpy(exact.get(), imageBytes, imageSize);
        const long long expected = referenceScan(exact.get(), imageSize, pattern);
        require(positionOf(scanBytes(exact.get(), imageSize, pattern), exact.get()) == expected,
                "scanBytes finds the first match, or none");
        const ScanPlan plan = planScan(pattern);
        for (const VectorWidth width : {VectorWidth::sse2, VectorWidth::avx2}) {
            require(positionOf(scanPlanned(exact.get(), imageSize, plan, width), exact.get()) == expected,
                    "the scan at each vector width finds the first match, or none");
        }
    }

    sim::reset();
    gameModuleBase = nullptr;
    require(findPattern(text.get()) == nullptr, "no image, no match");

    // The image: the fuzz bytes, padded with zeros so that the PE header fits.
    const std::uint8_t flags = control[0];
    const std::size_t peOffset = std::size_t{control[7]} * 4;
    const std::size_t headerEnd = peOffset + peHeaderSize;
    const std::size_t total = std::max(imageSize, headerEnd);
    std::size_t claimed = total;
    if (flags & claimMore) {
        claimed = total + read16(control, 5);
    } else if (flags & claimLess) {
        claimed = total - std::min<std::size_t>(total, read16(control, 5));
    }
    const std::unique_ptr<std::uint8_t[]> image(new std::uint8_t[total]());
    std::memcpy(image.get(), imageBytes, imageSize);
    write32(image.get() + 0x3C, static_cast<std::uint32_t>(peOffset));
    write32(image.get() + peOffset + 0x50, static_cast<std::uint32_t>(claimed));

    // The hole never covers the headers: the image is presumed to have them.
    std::size_t holeBegin = total;
    std::size_t holeEnd = total;
    if (flags & withHole) {
        holeBegin = headerEnd + read16(control, 1) % (total - headerEnd + 1);
        holeEnd = holeBegin + read16(control, 3) % (total - holeBegin + 1);
    }
    const auto at = [&](std::size_t offset) { return static_cast<const void*>(image.get() + offset); };
    const std::uint32_t holeProtection = holeProtections[(flags & holeKind) >> 5];
    // What each byte of the claimed image is; beyond the image lies unreadable memory.
    std::vector<Kind> kinds(claimed, Kind::code);
    std::fill(kinds.begin() + static_cast<std::ptrdiff_t>(std::min(claimed, total)), kinds.end(), Kind::unreadable);
    const auto mark = [&](std::size_t begin, std::size_t end, Kind kind) {
        std::fill(kinds.begin() + static_cast<std::ptrdiff_t>(std::min(begin, claimed)),
                  kinds.begin() + static_cast<std::ptrdiff_t>(std::min(end, claimed)), kind);
    };
    // Either the lowest 64 KiB are unmapped, as on Windows, or the readable memory
    // around the image reaches down to address 0.
    std::vector<sim::Region> regions;
    if (flags & lowGuard) {
        regions.push_back({nullptr, 0x10000, false});
    }
    const std::uint32_t headerProtection = (flags & dataHeaders) ? PAGE_READONLY : PAGE_EXECUTE_READ;
    if (flags & splitRegions) {
        // Code regions that end inside code: one run still.
        const std::size_t before = headerEnd + (read16(control, 1) >> 1) % (holeBegin - headerEnd + 1);
        regions.push_back({at(0), before, true, MEM_COMMIT, headerProtection});
        mark(0, before, (flags & dataHeaders) ? Kind::data : Kind::code);
    } else if (flags & dataHeaders) {
        regions.push_back({at(0), headerEnd, true, MEM_COMMIT, PAGE_READONLY});
        mark(0, headerEnd, Kind::data);
    }
    if (holeEnd > holeBegin) {
        regions.push_back({at(holeBegin), holeEnd - holeBegin, false, MEM_COMMIT, holeProtection});
        mark(holeBegin, holeEnd, holeProtection == PAGE_NOACCESS ? Kind::unreadable : Kind::data);
    }
    if ((flags & splitRegions) && holeEnd < total) {
        const std::size_t length = 1 + (read16(control, 3) >> 1) % (total - holeEnd);
        regions.push_back({at(holeEnd), length, true});
    }
    regions.push_back({at(total), guardSize, false});
    sim::setRegions(regions);
    // The search reads no byte of the hole, whether unreadable or data.
    ASAN_POISON_MEMORY_REGION(image.get() + holeBegin, holeEnd - holeBegin);

    gameModuleBase = image.get();
    const Expected expected = referenceSearch(image.get(), kinds, pattern);
    const ImageSearch search = searchGameImage(text.get());
    require(findPattern(text.get()) == search.match, "findPattern gives the search's match");
    const long long found = positionOf(search.match, image.get());
    const long long foundBySse2 = positionOf(searchGameImage(text.get(), VectorWidth::sse2).match, image.get());
    gameModuleBase = nullptr;
    ASAN_UNPOISON_MEMORY_REGION(image.get() + holeBegin, holeEnd - holeBegin);
    if (found != expected.match || foundBySse2 != expected.match) {
        std::fprintf(stderr,
                     "search: expected %lld, got %lld, with SSE2 %lld (image %zu, claimed %zu, hole %zu..%zu)\n",
                     expected.match, found, foundBySse2, total, claimed, holeBegin, holeEnd);
        fail("the search finds the first match wholly in code, or none");
    }
    if (search.searched != expected.counts[0] || search.skippedData != expected.counts[1] ||
        search.skippedUnreadable != expected.counts[2]) {
        std::fprintf(stderr, "counts: code %zu, data %zu, unreadable %zu; expected %zu, %zu, %zu\n", search.searched,
                     search.skippedData, search.skippedUnreadable, expected.counts[0], expected.counts[1],
                     expected.counts[2]);
        fail("the search counts the code, data and unreadable bytes up to the match's end");
    }
    return 0;
}
