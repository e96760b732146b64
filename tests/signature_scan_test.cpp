#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "host/kernel.h"
#include "locate/signature_scan.h"
#include "tests/plugin_fixture.h"
#include "tests/scan_reference.h"

namespace {

Pattern signaturePattern() { return Pattern(signatureBytes.begin(), signatureBytes.end()); }

// ---------------------------------------------------------------------------
// Reading the signature text

TEST(SignatureText, ReloadSignatureParsesToIts34Bytes) {
    const Pattern pattern = parsePattern(reloadSignature);
    ASSERT_EQ(pattern.size(), 34u);
    EXPECT_EQ(pattern.front(), 0x48);
    EXPECT_EQ(pattern.back(), 0xD9);
    EXPECT_EQ(pattern, signaturePattern());
    EXPECT_EQ(std::strlen(reloadSignature), 101u);
}

TEST(SignatureText, QuestionMarksAreWildcards) {
    EXPECT_EQ(parsePattern("?"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("??"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("48 ? 5C ?? 24"), (Pattern{0x48, -1, 0x5C, -1, 0x24}));
    EXPECT_EQ(parsePattern("? ? ?"), (Pattern{-1, -1, -1}));
}

TEST(SignatureText, DoubleQuestionMarkSkipsBothMarksAndOneSeparator) {
    // "??" then a third "?" taken as the separator, then "?".
    EXPECT_EQ(parsePattern("????"), (Pattern{-1, -1}));
    EXPECT_EQ(parsePattern("???"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("??x48"), (Pattern{-1, 0x48}));
    // A single "?" is followed by one separator, whatever it is.
    EXPECT_EQ(parsePattern("?A 48"), (Pattern{-1, 0x48}));
}

TEST(SignatureText, WhiteSpaceIsNotSkippedBeforeAQuestionMark) {
    // The blank is read as a number with no digits (0), then "?" follows it.
    EXPECT_EQ(parsePattern(" ?"), (Pattern{0, -1}));
}

TEST(SignatureText, AllOnesIsAWildcard) {
    EXPECT_EQ(parsePattern("FFFFFFFF"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("ffffffff"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("-1"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("0xFFFFFFFF"), (Pattern{-1}));
}

TEST(SignatureText, NumberTooLargeFor32BitsSaturatesToAWildcard) {
    EXPECT_EQ(parsePattern("100000000"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("123456789ABCDEF0123"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("-100000000"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("100000000 48"), (Pattern{-1, 0x48}));
}

TEST(SignatureText, OtherValuesAreTakenAs32BitSignedNumbers) {
    EXPECT_EQ(parsePattern("100"), (Pattern{0x100}));
    EXPECT_EQ(parsePattern("4889"), (Pattern{0x4889}));
    EXPECT_EQ(parsePattern("FFFFFFFE"), (Pattern{-2}));
    EXPECT_EQ(parsePattern("-2"), (Pattern{-2}));
    EXPECT_EQ(parsePattern("7FFFFFFF 80000000"), (Pattern{0x7FFFFFFF, INT32_MIN}));
    EXPECT_EQ(parsePattern("+5c"), (Pattern{0x5C}));
}

TEST(SignatureText, TokensAreReadLikeStrtoulInBase16) {
    EXPECT_EQ(parsePattern("0x48 0X89"), (Pattern{0x48, 0x89}));
    EXPECT_EQ(parsePattern("ab cD Ef"), (Pattern{0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(parsePattern("  48"), (Pattern{0x48}));
    EXPECT_EQ(parsePattern("48  \t89"), (Pattern{0x48, 0x89}));
    EXPECT_EQ(parsePattern("48,89;5C"), (Pattern{0x48, 0x89, 0x5C}));
    EXPECT_EQ(parsePattern("48 "), (Pattern{0x48}));
}

TEST(SignatureText, TokenWithoutDigitsReadsAsZeroAndAdvancesOneCharacter) {
    EXPECT_EQ(parsePattern("GG"), (Pattern{0, 0}));
    // "0x" with no hexadecimal digit after it is the number 0 followed by "x".
    EXPECT_EQ(parsePattern("0x"), (Pattern{0}));
    EXPECT_EQ(parsePattern("0xZZ"), (Pattern{0, 0, 0}));
    EXPECT_EQ(parsePattern("-"), (Pattern{0}));
}

TEST(SignatureText, EmptyTextGivesAnEmptyPattern) { EXPECT_TRUE(parsePattern("").empty()); }

// ---------------------------------------------------------------------------
// Finding the routine in the game's image

using GameImageSearch = PluginTest;

TEST_F(GameImageSearch, SignatureIsFoundAtEveryOffsetIncludingTheLast) {
    int intact = 0;
    for (const std::uint32_t size : {34u, 35u, 67u, 0x94u, 0xC7u, 0x100u, 0x123u}) {
        std::vector<std::uint8_t> image(std::max<std::size_t>(size, imageHeaderEnd));
        gameModuleBase = image.data();
        for (std::size_t at = 0; at + 34 <= size; ++at) {
            fillWithNoise(image.data(), image.size(), static_cast<unsigned>(at));
            plantSignature(image.data(), at);
            // The header fields lie inside small images and may overwrite the plant.
            writeImageSize(image.data(), size);
            const auto* expected = reference::scan(image.data(), size, signaturePattern());
            if (std::memcmp(image.data() + at, signatureBytes.data(), 34) == 0) {
                ASSERT_EQ(expected, image.data() + at);
                ++intact;
            }
            ASSERT_EQ(findPattern(reloadSignature), expected) << "size " << size << ", offset " << at;
            const ImageSearch search = searchGameImage(reloadSignature, VectorWidth::sse2);
            ASSERT_EQ(search.match, expected) << "SSE2, size " << size << ", offset " << at;
            ASSERT_EQ(search.width, VectorWidth::sse2);
            ASSERT_EQ(searchGameImage(reloadSignature).width, widthUsed());
        }
    }
    EXPECT_GT(intact, 400);
}

TEST_F(GameImageSearch, ImageExactlyAsLongAsThePatternIsComparedAtItsStart) {
    // The headers lie beyond the 34 bytes that they claim as the image.
    std::vector<std::uint8_t> image = makeImage(imageHeaderEnd, 34);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0);
    EXPECT_EQ(findPattern(reloadSignature), image.data());

    writeImageSize(image.data(), 33);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, MatchEndingOnTheImagesLastByteIsFoundButNotOneBeyond) {
    std::vector<std::uint8_t> image = makeImage(0x400, 0x3FF);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0x3FF - 34);
    EXPECT_EQ(findPattern(reloadSignature), image.data() + 0x3FF - 34);

    image = makeImage(0x400, 0x3FF);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0x3FF - 33);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, FirstOfTwoMatchesIsReturned) {
    std::vector<std::uint8_t> image = makeImage(0x1000);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0x800);
    plantSignature(image.data(), 0x300);
    EXPECT_EQ(findPattern(reloadSignature), image.data() + 0x300);
    // Overlapping occurrences of a short pattern: the lower one.
    std::memcpy(image.data() + 0x200, "\xAA\xAA\xAA", 3);
    EXPECT_EQ(findPattern("AA AA"), image.data() + 0x200);
}

TEST_F(GameImageSearch, AbsentSignatureGivesNull) {
    std::vector<std::uint8_t> image = makeImage(0x2000);
    gameModuleBase = image.data();
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, WildcardsMatchAnyByte) {
    std::vector<std::uint8_t> image = makeImage(0x400);
    gameModuleBase = image.data();
    std::memcpy(image.data() + 0x200, "\x10\x20\x30\x40\x50", 5);
    EXPECT_EQ(findPattern("10 ? 30 ?? 50"), image.data() + 0x200);
    EXPECT_EQ(findPattern("10 FFFFFFFF 30 -1 50"), image.data() + 0x200);
    EXPECT_EQ(findPattern("10 100000000 30 ? 50"), image.data() + 0x200);
    EXPECT_EQ(findPattern("10 20 31 ? 50"), nullptr);
}

TEST_F(GameImageSearch, ValuesOutsideAByteMatchNothing) {
    std::vector<std::uint8_t> image = makeImage(0x400);
    gameModuleBase = image.data();
    std::memcpy(image.data() + 0x200, "\x10\x00\x30\xFE\x50", 5);
    EXPECT_EQ(findPattern("10 00 30 FE 50"), image.data() + 0x200);
    EXPECT_EQ(findPattern("10 100 30 FE 50"), nullptr);
    EXPECT_EQ(findPattern("10 00 30 FFFFFFFE 50"), nullptr);
    EXPECT_EQ(findPattern("10 00 30 -2 50"), nullptr);
    EXPECT_EQ(findPattern("10 00 30 1FE 50"), nullptr);
}

TEST_F(GameImageSearch, TokensInOtherSpellingsMatchTheSameBytes) {
    std::vector<std::uint8_t> image = makeImage(0x400);
    gameModuleBase = image.data();
    std::memcpy(image.data() + 0x280, "\xAB\xCD\xEF\x01", 4);
    EXPECT_EQ(findPattern("0xab  0XCD\tef +1"), image.data() + 0x280);
}

TEST_F(GameImageSearch, EmptyPatternGivesNull) {
    std::vector<std::uint8_t> image = makeImage(0x400);
    gameModuleBase = image.data();
    EXPECT_EQ(findPattern(""), nullptr);
}

TEST_F(GameImageSearch, PatternLongerThanTheImageGivesNull) {
    std::vector<std::uint8_t> image = makeImage(imageHeaderEnd + 64, 20);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
    writeImageSize(image.data(), 0);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, NoGameModuleGivesNull) {
    gameModuleBase = nullptr;
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, ImageSizeIsReadFromTheHeadersAtEverySearch) {
    std::vector<std::uint8_t> image = makeImage(0x1000, 0x800);
    gameModuleBase = image.data();
    plantSignature(image.data(), 0x900);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
    writeImageSize(image.data(), 0x900 + 34);
    EXPECT_EQ(findPattern(reloadSignature), image.data() + 0x900);
    writeImageSize(image.data(), 0x900 + 33);
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(GameImageSearch, ImageSizeComesFromTheFieldThePeOffsetPointsAt) {
    std::vector<std::uint8_t> image = makeImage(0x1000);
    const std::int32_t peOffset = 0x108;
    const std::uint32_t size = 0xABC;
    std::memcpy(image.data() + 0x3C, &peOffset, 4);
    std::memcpy(image.data() + peOffset + 0x50, &size, 4);
    EXPECT_EQ(imageSize(image.data()), 0xABCu);

    gameModuleBase = image.data();
    plantSignature(image.data(), 0xABC - 34);
    EXPECT_EQ(findPattern(reloadSignature), image.data() + 0xABC - 34);
}

TEST_F(GameImageSearch, NegativePeOffsetGivesNoImage) {
    std::vector<std::uint8_t> image = makeImage(0x1000);
    const std::int32_t peOffset = -8;
    std::memcpy(image.data() + 0x3C, &peOffset, 4);
    plantSignature(image.data(), 0x200);
    EXPECT_EQ(imageSize(image.data()), 0u);
    gameModuleBase = image.data();
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

// ---------------------------------------------------------------------------
// Images with unreadable pages

class UnreadableImagePages : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        image_ = makeImage(0x4000);
        gameModuleBase = image_.data();
    }

    std::uint8_t* at(std::size_t offset) { return image_.data() + offset; }
    sim::Region unreadable(std::size_t offset, std::size_t size) { return {at(offset), size, false}; }
    sim::Region readable(std::size_t offset, std::size_t size) { return {at(offset), size, true}; }

    std::vector<std::uint8_t> image_;
};

TEST_F(UnreadableImagePages, MatchAfterAnUnreadableRegionIsFound) {
    plantSignature(at(0x2000), 0);
    sim::setRegions({unreadable(0x1000, 0x1000)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x2000));
}

TEST_F(UnreadableImagePages, MatchBetweenTwoUnreadableRegionsIsFound) {
    plantSignature(at(0x2000), 0);
    sim::setRegions({unreadable(0x1000, 0x1000), unreadable(0x2000 + 34, 0x100)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x2000));
}

TEST_F(UnreadableImagePages, MatchBeforeAnUnreadableRegionIsFound) {
    plantSignature(at(0x2000 - 34), 0);
    sim::setRegions({unreadable(0x2000, 0x2000)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x2000 - 34));
}

TEST_F(UnreadableImagePages, MatchInsideAnUnreadableRegionIsNotReturned) {
    plantSignature(at(0x1800), 0);
    plantSignature(at(0x3000), 0);
    sim::setRegions({unreadable(0x1000, 0x1000)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x3000));
    sim::setRegions({unreadable(0x1000, 0x1000), unreadable(0x2800, 0x1000)});
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(UnreadableImagePages, MatchOverlappingAnUnreadableRegionIsNotReturned) {
    plantSignature(at(0x2000 - 10), 0);
    plantSignature(at(0x3000 - 1), 0);
    plantSignature(at(0x3800), 0);
    // One unreadable byte inside each of the first two matches.
    sim::setRegions({unreadable(0x2000, 0x100), unreadable(0x3000 + 32, 1)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x3800));
    // Unreadable bytes just before and just after a match do not touch it.
    sim::setRegions({unreadable(0x2000 - 11, 1), unreadable(0x2000 + 24, 1)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x2000 - 10));
}

TEST_F(UnreadableImagePages, MatchAcrossAdjacentReadableRegionsIsFound) {
    plantSignature(at(0x2000 - 17), 0);
    sim::setRegions({readable(0x1000, 0x1000), readable(0x2000, 0x400), readable(0x2400, 0x400)});
    EXPECT_EQ(findPattern(reloadSignature), at(0x2000 - 17));
}

TEST_F(UnreadableImagePages, OnlyCommittedPagesWithReadAccessAreRead) {
    struct Memory {
        std::uint32_t state;
        std::uint32_t protect;
        bool readable;
    };
    const Memory kinds[] = {
        {MEM_COMMIT, PAGE_READONLY, true},
        {MEM_COMMIT, PAGE_READWRITE, true},
        {MEM_COMMIT, PAGE_WRITECOPY, true},
        {MEM_COMMIT, PAGE_EXECUTE_READ, true},
        {MEM_COMMIT, PAGE_EXECUTE_READWRITE, true},
        {MEM_COMMIT, PAGE_EXECUTE_WRITECOPY, true},
        {MEM_COMMIT, PAGE_NOACCESS, false},
        {MEM_COMMIT, PAGE_EXECUTE, false},
        {MEM_COMMIT, PAGE_READONLY | PAGE_GUARD, false},
        {MEM_COMMIT, PAGE_EXECUTE_READ | PAGE_GUARD, false},
        {MEM_RESERVE, PAGE_READWRITE, false},
        {MEM_FREE, PAGE_READONLY, false},
    };
    plantSignature(at(0x2000), 0);
    for (const Memory& kind : kinds) {
        sim::setRegions({{at(0x1000), 0x2000, kind.readable, kind.state, kind.protect}});
        EXPECT_EQ(findPattern(reloadSignature), kind.readable ? at(0x2000) : nullptr)
            << std::hex << "state 0x" << kind.state << ", protection 0x" << kind.protect;
    }
}

TEST_F(UnreadableImagePages, UnreadableHeadersGiveNoImage) {
    plantSignature(at(0x2000), 0);
    sim::setRegions({unreadable(0, 0x100)});
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(UnreadableImagePages, ResultEqualsThePlainScanOverTheReadableBytes) {
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        fillWithNoise(image_.data(), image_.size(), static_cast<unsigned>(round));
        writeImageSize(image_.data(), static_cast<std::uint32_t>(image_.size()));
        std::vector<bool> canRead(image_.size(), true);
        std::vector<sim::Region> regions;
        // Regions may not overlap one another; keep the headers readable.
        for (std::size_t offset = 0x100 + random() % 0x400; offset < image_.size(); offset += random() % 0x600) {
            const std::size_t size = std::min<std::size_t>(1 + random() % 0x300, image_.size() - offset);
            const bool isReadable = random() % 3 == 0;
            regions.push_back({at(offset), size, isReadable});
            for (std::size_t i = offset; i < offset + size; ++i) {
                canRead[i] = isReadable;
            }
            // Now and then a signature across the region's start.
            if (random() % 4 == 0 && offset >= 0x100 + 33 && offset + 33 <= image_.size()) {
                plantSignature(image_.data(), offset - 1 - random() % 33);
            }
            offset += size;
        }
        for (int plants = random() % 5; plants > 0; --plants) {
            plantSignature(image_.data(), 0x100 + random() % (image_.size() - 0x100 - 34));
        }
        sim::setRegions(regions);
        ASSERT_EQ(findPattern(reloadSignature),
                  reference::scanReadable(image_.data(), canRead, signaturePattern()))
            << "round " << round;
    }
}

// The same with pages that really cannot be read: a scan that touched them would
// crash the test program.
class NoAccessPages : public PluginTest {
protected:
    void SetUp() override {
        PluginTest::SetUp();
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* mapping = mmap(nullptr, 4 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(mapping, MAP_FAILED);
        base_ = static_cast<std::uint8_t*>(mapping);
        fillWithNoise(base_, 4 * page_, 3);
        writeImageSize(base_, static_cast<std::uint32_t>(4 * page_));
        gameModuleBase = base_;
    }

    void TearDown() override {
        if (base_ != nullptr) {
            munmap(base_, 4 * page_);
        }
        PluginTest::TearDown();
    }

    // Pages 1 and 3 become inaccessible, and the simulated kernel says so.
    void protectPages1And3() {
        ASSERT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
        ASSERT_EQ(mprotect(base_ + 3 * page_, page_, PROT_NONE), 0);
        sim::setRegions({{base_ + page_, page_, false}, {base_ + 3 * page_, page_, false}});
    }

    std::size_t page_ = 0;
    std::uint8_t* base_ = nullptr;
};

TEST_F(NoAccessPages, AbsentSignatureGivesNullWithoutTouchingThem) {
    protectPages1And3();
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

TEST_F(NoAccessPages, MatchBetweenThemIsFound) {
    plantSignature(base_, 2 * page_ + 100);
    protectPages1And3();
    EXPECT_EQ(findPattern(reloadSignature), base_ + 2 * page_ + 100);
}

TEST_F(NoAccessPages, MatchEndingJustBeforeOneIsFound) {
    plantSignature(base_, 3 * page_ - 34);
    protectPages1And3();
    EXPECT_EQ(findPattern(reloadSignature), base_ + 3 * page_ - 34);
}

TEST_F(NoAccessPages, MatchesRunningIntoThemAreNotReturned) {
    plantSignature(base_, page_ - 20);
    plantSignature(base_, 3 * page_ - 1);
    protectPages1And3();
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

}  // namespace
