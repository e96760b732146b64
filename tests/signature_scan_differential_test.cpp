// The search of the game's image against the plain scan of its readable bytes, on
// small images with the signature, near-copies of it and unreadable regions.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reload/signature_scan.h"
#include "tests/scan_reference.h"
#include "tests/sim/sim.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes signatureBytes = {0x48, 0x89, 0x5C, 0x24, 0x08, 0x48, 0x89, 0x74, 0x24, 0x18, 0x48, 0x89,
                              0x7C, 0x24, 0x20, 0x55, 0x41, 0x54, 0x41, 0x55, 0x41, 0x56, 0x41, 0x57,
                              0x48, 0x8B, 0xEC, 0x48, 0x83, 0xEC, 0x60, 0x48, 0x8B, 0xD9};

// PE header fields: the header's offset at 0x3C, SizeOfImage 0x50 into the header.
constexpr std::size_t peHeader = 0x40;
constexpr std::size_t headerEnd = peHeader + 0x54;

void writeHeader(std::uint8_t* image, std::size_t size) {
    const std::int32_t offset = peHeader;
    const auto imageSize = static_cast<std::uint32_t>(size);
    std::memcpy(image + 0x3C, &offset, sizeof offset);
    std::memcpy(image + peHeader + 0x50, &imageSize, sizeof imageSize);
}

void plant(std::uint8_t* image, std::size_t at, const Bytes& bytes) { std::copy(bytes.begin(), bytes.end(), image + at); }

class SignatureSearch : public ::testing::Test {
protected:
    void SetUp() override {
        sim::reset();
        gameModuleBase = nullptr;
    }
    void TearDown() override {
        sim::reset();
        gameModuleBase = nullptr;
    }

    std::mt19937 random{7031};

    std::size_t below(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random); }

    // Bytes drawn from the signature's own values, so that its anchors occur often.
    Bytes image(std::size_t size) {
        Bytes bytes(size);
        for (std::uint8_t& byte : bytes) {
            byte = signatureBytes[below(signatureBytes.size())];
        }
        writeHeader(bytes.data(), size);
        return bytes;
    }

    // findPattern over `image` gives what the plain scan of its readable bytes gives.
    void expectAgreement(const std::uint8_t* image, const std::vector<bool>& readable, const std::string& text,
                         const std::string& what) {
        gameModuleBase = image;
        const std::uint8_t* const expected = reference::scanReadable(image, readable, parsePattern(text.c_str()));
        const std::uint8_t* const got = findPattern(text.c_str());
        ASSERT_EQ(got, expected) << what << "\nfound at " << (got ? got - image : -1) << ", plain scan at "
                                 << (expected ? expected - image : -1) << "\npattern: " << text;
    }
};

// A page-aligned image whose chosen pages the processor refuses to read, as the
// simulated kernel reports them.
struct ProtectedImage {
    std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    std::size_t pages;
    std::uint8_t* bytes = nullptr;

    explicit ProtectedImage(std::size_t pageCount) : pages(pageCount) {
        void* const area = mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        bytes = area == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(area);
    }
    ~ProtectedImage() {
        if (bytes != nullptr) {
            munmap(bytes, pages * page);
        }
    }
    ProtectedImage(const ProtectedImage&) = delete;
    ProtectedImage& operator=(const ProtectedImage&) = delete;

    std::size_t size() const { return pages * page; }

    bool refuse(const std::vector<std::size_t>& refused) {
        std::vector<sim::Region> regions;
        for (const std::size_t index : refused) {
            if (mprotect(bytes + index * page, page, PROT_NONE) != 0) {
                return false;
            }
            regions.push_back({bytes + index * page, page, false});
        }
        sim::setRegions(regions);
        return true;
    }

    std::vector<bool> readable(const std::vector<std::size_t>& refused) const {
        std::vector<bool> flags(size(), true);
        for (const std::size_t index : refused) {
            std::fill_n(flags.begin() + static_cast<std::ptrdiff_t>(index * page), page, false);
        }
        return flags;
    }
};

}  // namespace

TEST_F(SignatureSearch, FindsTheSignatureAtEveryOffsetOfSmallImagesIncludingTheLast) {
    for (std::size_t size = headerEnd + 34; size <= headerEnd + 34 + 130; size += 13) {
        const std::vector<bool> readable(size, true);
        for (std::size_t at = headerEnd; at + signatureBytes.size() <= size; ++at) {
            Bytes bytes = image(size);
            plant(bytes.data(), at, signatureBytes);
            expectAgreement(bytes.data(), readable, reloadSignature, "size " + std::to_string(size) + " at " + std::to_string(at));
            ASSERT_NE(findPattern(reloadSignature), nullptr);
        }
    }
}

TEST_F(SignatureSearch, NearCopiesAtEveryPositionAreNotFound) {
    const std::size_t size = headerEnd + 100;
    const std::vector<bool> readable(size, true);
    for (std::size_t wrong = 0; wrong < signatureBytes.size(); ++wrong) {
        for (std::size_t at = headerEnd + wrong % 3; at + signatureBytes.size() <= size; at += 3) {
            Bytes nearCopy = signatureBytes;
            nearCopy[wrong] ^= static_cast<std::uint8_t>(1 + below(255));
            Bytes bytes = image(size);
            plant(bytes.data(), at, nearCopy);
            expectAgreement(bytes.data(), readable, reloadSignature, "wrong " + std::to_string(wrong) + " at " + std::to_string(at));
        }
    }
}

TEST_F(SignatureSearch, AgreesWithThePlainScanOfReadableBytesAroundUnreadableRegions) {
    static const char* const texts[] = {
        reloadSignature,
        "48 89 5C 24 ? 48 89 74 24 ?? 48 89 7C 24 20 55 41 54 41 55 41 56 41 57 48 8B EC 48 83 EC 60 48 8B D9",
        "?? 89 5C 24 08 48 89 74 24 18 48 89 7C 24 20 55 41 54 41 55 41 56 41 57 48 8B EC 48 83 EC 60 48 8B ?",
        "48 8B D9", "D9", "EC ? ? D9", "? ? ?", "48 100 5C", "55 FFFFFFFF 54",
    };
    for (int round = 0; round < 1000; ++round) {
        const std::size_t size = headerEnd + 40 + below(260);
        Bytes bytes = image(size);
        for (std::size_t k = below(3); k > 0; --k) {
            plant(bytes.data(), headerEnd + below(size - headerEnd - signatureBytes.size() + 1), signatureBytes);
        }
        // Cuts after the headers split the image into regions, each readable or not,
        // all passed to the kernel so that readable neighbours must join up.
        std::vector<std::size_t> cuts = {0, size};
        for (std::size_t k = below(5); k > 0; --k) {
            cuts.push_back(headerEnd + below(size - headerEnd));
        }
        std::sort(cuts.begin(), cuts.end());
        cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
        std::vector<bool> readable(size, true);
        std::vector<sim::Region> regions;
        for (std::size_t k = 0; k + 1 < cuts.size(); ++k) {
            const bool open = k == 0 || below(2) == 0;
            std::fill(readable.begin() + static_cast<std::ptrdiff_t>(cuts[k]),
                      readable.begin() + static_cast<std::ptrdiff_t>(cuts[k + 1]), open);
            regions.push_back({bytes.data() + cuts[k], cuts[k + 1] - cuts[k], open});
        }
        sim::setRegions(regions);
        const std::string text = texts[below(std::size(texts))];
        expectAgreement(bytes.data(), readable, text, "round " + std::to_string(round));
    }
}

TEST_F(SignatureSearch, ReadsNoPageTheKernelReportsUnreadable) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = 6 * page;
    const std::vector<std::size_t> refused = {2, 4};
    // Across each edge of a refused page, inside a readable page, at the last
    // position, and nowhere.
    const std::size_t places[] = {2 * page - 20, 3 * page - 10, 3 * page,     4 * page - 34,
                                  5 * page - 1,  5 * page + 7,  size - 34,    page + 100};
    for (const std::size_t at : places) {
        for (const bool present : {true, false}) {
            ProtectedImage fresh(6);
            ASSERT_NE(fresh.bytes, nullptr);
            const Bytes filler = image(size);
            std::copy(filler.begin(), filler.end(), fresh.bytes);
            if (present) {
                plant(fresh.bytes, at, signatureBytes);
            }
            Bytes copy(fresh.bytes, fresh.bytes + size);
            ASSERT_TRUE(fresh.refuse(refused));
            gameModuleBase = fresh.bytes;
            const std::uint8_t* const expected =
                reference::scanReadable(copy.data(), fresh.readable(refused), parsePattern(reloadSignature));
            const std::uint8_t* const got = findPattern(reloadSignature);
            EXPECT_EQ(got ? got - fresh.bytes : -1, expected ? expected - copy.data() : -1) << "at " << at;
        }
    }
}
