#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "host/win32.h"
#include "locate/signature_scan.h"
#include "tests/plugin_fixture.h"
#include "tests/scan_reference.h"

namespace {

Pattern signaturePattern() { return Pattern(signatureBytes.begin(), signatureBytes.end()); }

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
    sim::Region committed(std::size_t offset, std::size_t size, std::uint32_t protection) {
        return {at(offset), size, true, MEM_COMMIT, protection};
    }

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

TEST_F(UnreadableImagePages, MatchAcrossAdjacentExecutableRegionsIsFoundButNotAcrossCodeAndData) {
    struct Boundary {
        std::uint32_t before;
        std::uint32_t after;
        bool found;
    };
    const Boundary boundaries[] = {
        {PAGE_EXECUTE_READ, PAGE_EXECUTE_READ, true},
        {PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE, true},
        {PAGE_EXECUTE_WRITECOPY, PAGE_EXECUTE_READ, true},
        {PAGE_EXECUTE_READWRITE, PAGE_EXECUTE_WRITECOPY, true},
        {PAGE_EXECUTE_READ, PAGE_READONLY, false},
        {PAGE_READWRITE, PAGE_EXECUTE_READ, false},
        {PAGE_EXECUTE_READWRITE, PAGE_WRITECOPY, false},
        {PAGE_READONLY, PAGE_READONLY, false},
    };
    plantSignature(at(0x2000 - 17), 0);
    for (const Boundary& boundary : boundaries) {
        sim::setRegions({readable(0x1000, 0x800), committed(0x1800, 0x800, boundary.before),
                         committed(0x2000, 0x400, boundary.after), readable(0x2400, 0x400)});
        EXPECT_EQ(findPattern(reloadSignature), boundary.found ? at(0x2000 - 17) : nullptr)
            << std::hex << "protection 0x" << boundary.before << " then 0x" << boundary.after;
    }
}

TEST_F(UnreadableImagePages, OnlyCommittedExecutableReadablePagesAreSearched) {
    struct Memory {
        std::uint32_t state;
        std::uint32_t protect;
        bool code;
        bool data;  // readable, not code
    };
    const Memory kinds[] = {
        {MEM_COMMIT, PAGE_READONLY, false, true},
        {MEM_COMMIT, PAGE_READWRITE, false, true},
        {MEM_COMMIT, PAGE_WRITECOPY, false, true},
        {MEM_COMMIT, PAGE_EXECUTE_READ, true, false},
        {MEM_COMMIT, PAGE_EXECUTE_READWRITE, true, false},
        {MEM_COMMIT, PAGE_EXECUTE_WRITECOPY, true, false},
        {MEM_COMMIT, PAGE_NOACCESS, false, false},
        {MEM_COMMIT, PAGE_EXECUTE, false, false},
        {MEM_COMMIT, PAGE_READONLY | PAGE_GUARD, false, false},
        {MEM_COMMIT, PAGE_EXECUTE_READ | PAGE_GUARD, false, false},
        {MEM_COMMIT, PAGE_EXECUTE_READWRITE | PAGE_GUARD, false, false},
        {MEM_RESERVE, PAGE_READWRITE, false, false},
        {MEM_RESERVE, PAGE_EXECUTE_READ, false, false},
        {MEM_FREE, PAGE_READONLY, false, false},
    };
    // One copy inside the region, one in the executable memory after it.
    plantSignature(at(0x2000), 0);
    plantSignature(at(0x3800), 0);
    for (const Memory& kind : kinds) {
        sim::setRegions({{at(0x1000), 0x2000, true, kind.state, kind.protect}});
        const ImageSearch search = searchGameImage(reloadSignature);
        const std::size_t passedOver = kind.code ? 0 : 0x2000;
        EXPECT_EQ(search.match, kind.code ? at(0x2000) : at(0x3800))
            << std::hex << "state 0x" << kind.state << ", protection 0x" << kind.protect;
        EXPECT_EQ(search.searched, kind.code ? 0x2000u + 34 : 0x1000u + 0x800 + 34) << std::hex << kind.protect;
        EXPECT_EQ(search.skippedData, kind.data ? passedOver : 0) << std::hex << kind.protect;
        EXPECT_EQ(search.skippedUnreadable, kind.data ? 0 : passedOver) << std::hex << kind.protect;
    }
}

TEST_F(UnreadableImagePages, CountsCoverTheWholeImageWhenNothingIsFound) {
    struct Layout {
        std::vector<sim::Region> regions;
        std::size_t code;
        std::size_t data;
        std::size_t unreadable;
    };
    const Layout layouts[] = {
        {{}, 0x4000, 0, 0},
        {{committed(0, 0x1000, PAGE_READONLY), committed(0x1000, 0x1800, PAGE_EXECUTE_READ),
          committed(0x2800, 0x800, PAGE_READWRITE), committed(0x3000, 0x1000, PAGE_WRITECOPY)},
         0x1800, 0x2800, 0},
        {{committed(0x400, 0x400, PAGE_READWRITE), unreadable(0x800, 0x100), committed(0x900, 0x700, PAGE_READONLY),
          committed(0x3000, 0x1000, PAGE_EXECUTE)},
         0x4000 - 0xB00 - 0x1100, 0xB00, 0x1100},
    };
    for (const Layout& layout : layouts) {
        sim::setRegions(layout.regions);
        const ImageSearch search = searchGameImage(reloadSignature);
        EXPECT_EQ(search.match, nullptr);
        EXPECT_EQ(search.searched, layout.code);
        EXPECT_EQ(search.skippedData, layout.data);
        EXPECT_EQ(search.skippedUnreadable, layout.unreadable);
    }
}

TEST_F(UnreadableImagePages, HeadersAreReadAsDataButUnreadableOnesGiveNoImage) {
    plantSignature(at(0x2000), 0);
    sim::setRegions({unreadable(0, 0x100)});
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
    // As Windows maps an image: its headers on a read-only page of their own.
    sim::setRegions({committed(0, 0x1000, PAGE_READONLY)});
    const ImageSearch search = searchGameImage(reloadSignature);
    EXPECT_EQ(search.match, at(0x2000));
    EXPECT_EQ(search.skippedData, 0x1000u);
    EXPECT_EQ(search.searched, 0x1000u + 34);
}

TEST_F(UnreadableImagePages, ResultEqualsThePlainScanOverTheCodeWithMixedProtections) {
    const std::uint32_t protections[] = {
        PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE, PAGE_EXECUTE_WRITECOPY, PAGE_READONLY,
        PAGE_READWRITE,    PAGE_WRITECOPY,         PAGE_NOACCESS,          PAGE_EXECUTE,
        PAGE_READONLY | PAGE_GUARD, PAGE_EXECUTE_READ | PAGE_GUARD,
    };
    std::mt19937 random(11);
    for (int round = 0; round < 300; ++round) {
        fillWithNoise(image_.data(), image_.size(), static_cast<unsigned>(round));
        writeImageSize(image_.data(), static_cast<std::uint32_t>(image_.size()));
        std::vector<std::uint32_t> protection(image_.size(), PAGE_EXECUTE_READ);
        std::vector<sim::Region> regions;
        // Regions may not overlap one another; keep the headers readable.
        for (std::size_t offset = 0x100 + random() % 0x400; offset < image_.size(); offset += random() % 0x600) {
            const std::size_t size = std::min<std::size_t>(1 + random() % 0x300, image_.size() - offset);
            const std::uint32_t kind = protections[random() % std::size(protections)];
            regions.push_back(committed(offset, size, kind));
            std::fill_n(protection.begin() + static_cast<std::ptrdiff_t>(offset), size, kind);
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
        const reference::CodeSearch expected = reference::scanCode(image_.data(), protection, signaturePattern());
        const ImageSearch search = searchGameImage(reloadSignature);
        ASSERT_EQ(search.match, expected.match) << "round " << round;
        ASSERT_EQ(search.searched, expected.code) << "round " << round;
        ASSERT_EQ(search.skippedData, expected.data) << "round " << round;
        ASSERT_EQ(search.skippedUnreadable, expected.unreadable) << "round " << round;
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

    // Pages 1 and 3 become inaccessible, and the simulated kernel says they have
    // `protection`.
    void protectPages1And3(std::uint32_t protection = PAGE_NOACCESS) {
        ASSERT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
        ASSERT_EQ(mprotect(base_ + 3 * page_, page_, PROT_NONE), 0);
        sim::setRegions({{base_ + page_, page_, false, MEM_COMMIT, protection},
                         {base_ + 3 * page_, page_, false, MEM_COMMIT, protection}});
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

// A search that read a data page it skips would crash here.
TEST_F(NoAccessPages, DataPagesAreSkippedWithoutTouchingThem) {
    for (const std::uint32_t protection : {PAGE_READONLY, PAGE_READWRITE, PAGE_WRITECOPY}) {
        plantSignature(base_, page_ + 100);
        plantSignature(base_, 2 * page_ + 100);
        protectPages1And3(protection);
        const ImageSearch search = searchGameImage(reloadSignature);
        EXPECT_EQ(search.match, base_ + 2 * page_ + 100) << std::hex << protection;
        EXPECT_EQ(search.skippedData, page_);
        ASSERT_EQ(mprotect(base_, 4 * page_, PROT_READ | PROT_WRITE), 0);
    }
}

TEST_F(NoAccessPages, MatchesRunningIntoThemAreNotReturned) {
    plantSignature(base_, page_ - 20);
    plantSignature(base_, 3 * page_ - 1);
    protectPages1And3();
    EXPECT_EQ(findPattern(reloadSignature), nullptr);
}

}  // namespace
