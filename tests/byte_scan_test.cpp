// The fast byte scan against the plain one, at both vector widths, on random
// buffers and signature texts; and at the edge of unmapped memory.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "locate/byte_scan.h"
#include "locate/signature_scan.h"
#include "tests/scan_reference.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes signatureBytes = {0x48, 0x89, 0x5C, 0x24, 0x08, 0x48, 0x89, 0x74, 0x24, 0x18, 0x48, 0x89,
                              0x7C, 0x24, 0x20, 0x55, 0x41, 0x54, 0x41, 0x55, 0x41, 0x56, 0x41, 0x57,
                              0x48, 0x8B, 0xEC, 0x48, 0x83, 0xEC, 0x60, 0x48, 0x8B, 0xD9};

std::vector<VectorWidth> widths() {
    std::vector<VectorWidth> all = {VectorWidth::automatic, VectorWidth::sse2};
    if (avx2Available()) {
        all.push_back(VectorWidth::avx2);
    }
    return all;
}

std::string hexToken(std::uint8_t value) {
    static const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 15]};
}

std::string textOf(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t value : bytes) {
        text += (text.empty() ? "" : " ") + hexToken(value);
    }
    return text;
}

// Every way of scanning gives what the plain scan gives. Returns false, after
// reporting, at the first disagreement, so that a fault is shown once.
bool agreesWithPlainScan(const Bytes& buffer, const std::string& text) {
    const Pattern pattern = parsePattern(text.c_str());
    const std::uint8_t* const expected = reference::scan(buffer.data(), buffer.size(), pattern);
    const std::uint8_t* const got = scanBytes(buffer.data(), buffer.size(), pattern);
    if (got != expected) {
        ADD_FAILURE() << "scanBytes gave " << (got ? got - buffer.data() : -1) << ", plain scan "
                      << (expected ? expected - buffer.data() : -1) << "\npattern: " << text
                      << "\nbuffer: " << textOf(buffer);
        return false;
    }
    const ScanPlan plan = planScan(pattern);
    for (const VectorWidth width : widths()) {
        const std::uint8_t* const planned = scanPlanned(buffer.data(), buffer.size(), plan, width);
        if (planned != expected) {
            ADD_FAILURE() << vectorWidthName(width) << " scan gave " << (planned ? planned - buffer.data() : -1)
                          << ", plain scan " << (expected ? expected - buffer.data() : -1) << "\npattern: " << text
                          << "\nbuffer: " << textOf(buffer);
            return false;
        }
    }
    return true;
}

struct RandomCases {
    std::mt19937 random{20240611};

    std::size_t below(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); }
    bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }

    // Sizes around the 16, 32, 64 and 128 byte steps of the vector scans, counted in
    // positions past the pattern's length, and some sizes anywhere.
    std::size_t bufferSize(std::size_t patternLength) {
        static const std::size_t steps[] = {0,   1,   2,   15,  16,  17,  31,  32,  33,  47,  48,  63,  64,  65,
                                            66,  127, 128, 129, 191, 192, 193, 255, 256, 257, 383, 384, 385};
        if (chance(30)) {
            return below(420);
        }
        const std::size_t size = patternLength + steps[below(std::size(steps))];
        return chance(10) && size > 0 ? size - 1 : size;
    }

    // Uniform bytes, or bytes from a handful of values (those of the signature, the
    // rare ones among them, or a few others), so that anchors match often.
    Bytes buffer(std::size_t size) {
        Bytes values;
        switch (below(4)) {
        case 0:
            break;
        case 1:
            values = signatureBytes;
            break;
        case 2:
            values = {0xD9, 0xEC, 0x5C, 0x7C, 0x60, 0x48};
            break;
        default:
            for (std::size_t k = 1 + below(3); k > 0; --k) {
                values.push_back(static_cast<std::uint8_t>(below(256)));
            }
        }
        Bytes bytes(size);
        for (std::uint8_t& byte : bytes) {
            byte = values.empty() ? static_cast<std::uint8_t>(below(256)) : values[below(values.size())];
        }
        return bytes;
    }

    // A token that is not an exact byte: the two wildcards, -1 written three ways,
    // and values that no byte matches.
    std::string otherToken() {
        static const char* const tokens[] = {"?", "??", "?", "??", "FFFFFFFF", "-1", "123456789", "100", "1FF", "FFFFFFFE", "-2"};
        const std::size_t count = std::size(tokens);
        // Mostly wildcards: a value matching nothing ends every comparison early.
        return tokens[chance(85) ? below(4) : 4 + below(count - 4)];
    }

    // Mostly a slice of the buffer, so that matches occur, with some entries turned
    // into wildcards, a few into other tokens, and sometimes one byte changed so
    // that it nearly matches.
    std::string text(const Bytes& bytes, std::size_t length) {
        Bytes slice(length);
        if (length <= bytes.size() && chance(80)) {
            const std::size_t at = below(bytes.size() - length + 1);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), length, slice.begin());
        } else {
            for (std::uint8_t& byte : slice) {
                byte = bytes.empty() ? static_cast<std::uint8_t>(below(256)) : bytes[below(bytes.size())];
            }
        }
        if (chance(20)) {
            slice[below(length)] ^= static_cast<std::uint8_t>(1 + below(255));
        }
        const int wildcardPercent = chance(10) ? 100 : static_cast<int>(below(40));
        std::string joined;
        for (std::size_t j = 0; j < length; ++j) {
            const std::string token = chance(wildcardPercent) ? otherToken() : hexToken(slice[j]);
            joined += (j == 0 ? "" : " ") + token;
        }
        return joined;
    }

    std::size_t patternLength() {
        static const std::size_t lengths[] = {1, 1, 2, 3, 4, 8, 17, 33, 34, 34, 34, 35, 40, 70};
        return lengths[below(std::size(lengths))];
    }
};

// A buffer whose last byte is the last readable byte before an unmapped page, or
// whose first byte follows one; reading past either edge faults.
struct GuardedBuffer {
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::uint8_t* mapping = nullptr;

    GuardedBuffer() {
        void* const area = mmap(nullptr, 3 * page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (area != MAP_FAILED) {
            mapping = static_cast<std::uint8_t*>(area);
            if (mprotect(mapping + page, page, PROT_READ | PROT_WRITE) != 0) {
                munmap(mapping, 3 * page);
                mapping = nullptr;
            }
        }
    }
    ~GuardedBuffer() {
        if (mapping != nullptr) {
            munmap(mapping, 3 * page);
        }
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    std::uint8_t* atEnd(const Bytes& bytes) {
        std::uint8_t* const start = mapping + 2 * page - bytes.size();
        std::copy(bytes.begin(), bytes.end(), start);
        return start;
    }
    std::uint8_t* atStart(const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), mapping + page);
        return mapping + page;
    }
};

}  // namespace

TEST(FastScan, UsesTheWidestWidthThisProcessorRunsAndNamesIt) {
    // The Linux build has no reason to leave AVX2 out.
    const bool avx2 = __builtin_cpu_supports("avx2");
    EXPECT_EQ(avx2Available(), avx2);
    const struct {
        VectorWidth asked;
        const char* used;
    } rows[] = {{VectorWidth::automatic, avx2 ? "AVX2" : "SSE2"},
                {VectorWidth::avx2, avx2 ? "AVX2" : "SSE2"},
                {VectorWidth::sse2, "SSE2"}};
    for (const auto& row : rows) {
        EXPECT_STREQ(vectorWidthName(widthUsed(row.asked)), row.used) << vectorWidthName(row.asked);
    }
    EXPECT_EQ(widthUsed(), avx2 ? VectorWidth::avx2 : VectorWidth::sse2);
}

TEST(FastScan, AgreesWithThePlainScanOnRandomBuffersAndSignatureTexts) {
    RandomCases cases;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t length = cases.patternLength();
        const Bytes buffer = cases.buffer(cases.bufferSize(length));
        ASSERT_TRUE(agreesWithPlainScan(buffer, cases.text(buffer, length))) << "round " << round;
    }
}

TEST(FastScan, FindsTheSignatureAtEveryOffsetIncludingTheLast) {
    RandomCases cases;
    // Up to two whole 128-position blocks and a tail.
    for (std::size_t size = 34; size <= 34 + 300; size += 11) {
        for (std::size_t offset = 0; offset + signatureBytes.size() <= size; ++offset) {
            Bytes buffer = cases.buffer(size);
            std::copy(signatureBytes.begin(), signatureBytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
            ASSERT_TRUE(agreesWithPlainScan(buffer, reloadSignature)) << "offset " << offset;
            ASSERT_NE(scanBytes(buffer.data(), size, parsePattern(reloadSignature)), nullptr);
        }
    }
}

TEST(FastScan, NearMissesAtEveryPositionAreNotMatches) {
    RandomCases cases;
    const std::size_t size = 130;
    for (std::size_t wrong = 0; wrong < signatureBytes.size(); ++wrong) {
        for (std::size_t offset = wrong % 3; offset + signatureBytes.size() <= size; offset += 3) {
            Bytes nearCopy = signatureBytes;
            nearCopy[wrong] ^= static_cast<std::uint8_t>(1 + cases.below(255));
            Bytes buffer = cases.buffer(size);
            std::copy(nearCopy.begin(), nearCopy.end(), buffer.begin() + static_cast<std::ptrdiff_t>(offset));
            ASSERT_TRUE(agreesWithPlainScan(buffer, reloadSignature)) << "offset " << offset << " wrong " << wrong;
        }
    }
}

TEST(FastScan, CandidatesAtEveryPositionStillGiveTheFirstFullMatch) {
    // Every position holds both anchors of the pattern "D9 ?? D9 ?? 01" but only one
    // position has the last byte too.
    for (std::size_t size = 5; size < 200; size += 3) {
        for (std::size_t at = size % 7; at + 5 <= size; at += 7) {
            Bytes buffer(size, 0xD9);
            buffer[at + 4] = 0x01;
            ASSERT_TRUE(agreesWithPlainScan(buffer, "D9 ?? D9 ?? 01")) << "size " << size << " at " << at;
            EXPECT_EQ(scanBytes(buffer.data(), size, parsePattern("D9 ?? D9 ?? 01")), buffer.data() + at);
        }
    }
}

TEST(FastScan, AllWildcardPatternMatchesAtTheStartWhenItFits) {
    const Bytes buffer(70, 0x90);
    for (const char* text : {"?", "??", "? ?? FFFFFFFF -1", "?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ?? ??"}) {
        const Pattern pattern = parsePattern(text);
        for (std::size_t size = 0; size <= buffer.size(); ++size) {
            const std::uint8_t* const expected = pattern.size() <= size ? buffer.data() : nullptr;
            EXPECT_EQ(scanBytes(buffer.data(), size, pattern), expected) << text << " in " << size << " bytes";
            EXPECT_EQ(reference::scan(buffer.data(), size, pattern), expected);
        }
    }
}

TEST(FastScan, EntryOutsideTheByteRangeMatchesNowhere) {
    Bytes buffer(100, 0x00);
    buffer[50] = 0x48;
    for (const char* text : {"48 100", "48 0 -2", "1FF", "48 ?? FFFFFFFE", "12345678 ?"}) {
        EXPECT_EQ(scanBytes(buffer.data(), buffer.size(), parsePattern(text)), nullptr) << text;
        EXPECT_TRUE(agreesWithPlainScan(buffer, text));
    }
}

TEST(FastScan, ReadsNothingPastEitherEndOfTheBuffer) {
    GuardedBuffer guarded;
    ASSERT_NE(guarded.mapping, nullptr);
    RandomCases cases;
    for (std::size_t size = 0; size <= 300; ++size) {
        Bytes bytes = cases.buffer(size);
        for (const std::string& text : {std::string(reloadSignature), std::string("D9"), std::string("48 ?? 5C"),
                                       cases.text(bytes, 1 + cases.below(40))}) {
            const Pattern pattern = parsePattern(text.c_str());
            const ScanPlan plan = planScan(pattern);
            for (std::uint8_t* start : {guarded.atEnd(bytes), guarded.atStart(bytes)}) {
                const std::uint8_t* const expected = reference::scan(start, size, pattern);
                for (const VectorWidth width : widths()) {
                    ASSERT_EQ(scanPlanned(start, size, plan, width), expected) << vectorWidthName(width) << " " << text;
                }
            }
        }
        if (size >= signatureBytes.size()) {
            std::copy(signatureBytes.begin(), signatureBytes.end(), bytes.end() - static_cast<std::ptrdiff_t>(signatureBytes.size()));
            const std::uint8_t* const start = guarded.atEnd(bytes);
            EXPECT_EQ(scanBytes(start, size, parsePattern(reloadSignature)),
                      reference::scan(start, size, parsePattern(reloadSignature)));
        }
    }
}
