#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "report/game_version.h"
#include "tests/plugin_fixture.h"

namespace {

TEST(GameVersion, FileVersionIsReadFromTheFixedInformationNotTheProductVersion) {
    const std::vector<std::uint8_t> bytes = versionResource();
    EXPECT_EQ(parseFileVersion(bytes.data(), bytes.size()), (FileVersion{1, 0, 1491, 50}));
}

TEST(GameVersion, TruncatedOrMalformedBlocksGiveNoVersion) {
    const std::vector<std::uint8_t> good = versionResource();
    // Every cut before the end of the fixed information.
    for (std::size_t size = 0; size < 92; ++size) {
        EXPECT_EQ(parseFileVersion(good.data(), size), std::nullopt) << size;
    }
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t word;
    };
    const Damage damages[] = {
        {"length beyond the resource", 0, 129},   {"length short of the information", 0, 91},
        {"value shorter than the information", 2, 51}, {"other key", 6, u'W'},
        {"key without its end", 36, u'X'},        {"wrong signature", 40, 0x04BC},
    };
    for (const Damage& damage : damages) {
        std::vector<std::uint8_t> bytes = good;
        bytes[damage.at] = static_cast<std::uint8_t>(damage.word);
        bytes[damage.at + 1] = static_cast<std::uint8_t>(damage.word >> 8);
        EXPECT_EQ(parseFileVersion(bytes.data(), bytes.size()), std::nullopt) << damage.what;
    }
    EXPECT_EQ(parseFileVersion(nullptr, 200), std::nullopt);
    // A block that claims less than the resource holds is read within its claim.
    std::vector<std::uint8_t> padded = good;
    padded.resize(good.size() + 64, 0xEE);
    EXPECT_EQ(parseFileVersion(padded.data(), padded.size()), (FileVersion{1, 0, 1491, 50}));
}

TEST(GameVersion, LoadedModuleIsAskedForItsVersionResource) {
    sim::reset();
    const int module = 0;
    EXPECT_EQ(moduleFileVersion(reinterpret_cast<HMODULE>(const_cast<int*>(&module))), std::nullopt);
    sim::setVersionResource(&module, versionResource());
    EXPECT_EQ(moduleFileVersion(reinterpret_cast<HMODULE>(const_cast<int*>(&module))),
              (FileVersion{1, 0, 1491, 50}));
    EXPECT_EQ(moduleFileVersion(nullptr), std::nullopt);
    sim::reset();
}

}  // namespace
