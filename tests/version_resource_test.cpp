#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "report/version_resource.h"
#include "tests/plugin_fixture.h"

namespace {

TEST(VersionResource, FileVersionIsReadFromTheFixedInformationNotTheProductVersion) {
    const std::vector<std::uint8_t> bytes = versionResource();
    EXPECT_EQ(parseFileVersion(bytes.data(), bytes.size()), (FileVersion{1, 0, 1491, 50}));
}

TEST(VersionResource, TruncatedOrMalformedBlocksGiveNoVersion) {
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
        {"length beyond the resource", 0, 153},   {"length short of the information", 0, 91},
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

TEST(VersionResource, LoadedModuleIsAskedForItsVersionResource) {
    sim::reset();
    const int module = 0;
    EXPECT_EQ(moduleFileVersion(reinterpret_cast<HMODULE>(const_cast<int*>(&module))), std::nullopt);
    sim::setVersionResource(&module, versionResource());
    EXPECT_EQ(moduleFileVersion(reinterpret_cast<HMODULE>(const_cast<int*>(&module))),
              (FileVersion{1, 0, 1491, 50}));
    EXPECT_EQ(moduleFileVersion(nullptr), std::nullopt);
    sim::reset();
}

TEST(VersionResource, TextOfAStringTableIsFoundByItsNameAndNothingPastTheResourceIsRead) {
    const std::vector<std::uint8_t> plugin =
        versionResource({{"FileDescription", "Reloads"}, {"ProductName", "Brackenfold"}, {"ProductVersion", "1.6.0"}});
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool brackenfold;
    };
    const Case cases[] = {
        {"the plug-in", plugin, true},
        {"its only text", versionResource({{"ProductName", "Brackenfold"}}), true},
        {"another product", versionResource({{"ProductName", "Brackenfold Tools"}}), false},
        {"a name that only begins the same", versionResource({{"ProductName", "Bracken"}}), false},
        {"the text under another name", versionResource({{"InternalName", "Brackenfold"}}), false},
        {"no texts", versionResource({}), false},
        {"only the fixed information", versionResource(), false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(versionTextIs(test.bytes.data(), test.bytes.size(), "ProductName", "Brackenfold"), test.brackenfold)
            << test.what;
    }
    // A cut resource, or a block that claims more than the one around it, is read no further.
    for (std::size_t size = 0; size < plugin.size(); ++size) {
        const std::vector<std::uint8_t> cut(plugin.begin(), plugin.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(versionTextIs(cut.data(), cut.size(), "ProductName", "Brackenfold")) << size;
    }
    std::vector<std::uint8_t> overlong = plugin;
    const std::size_t stringFileInfo = 92;  // after the root's header, key and fixed information
    for (const std::size_t claim : {plugin.size() - stringFileInfo + 4, plugin.size() - stringFileInfo}) {
        overlong[stringFileInfo] = static_cast<std::uint8_t>(claim);
        overlong[stringFileInfo + 1] = static_cast<std::uint8_t>(claim >> 8);
        EXPECT_EQ(versionTextIs(overlong.data(), overlong.size(), "ProductName", "Brackenfold"),
                  claim == plugin.size() - stringFileInfo);
    }
    EXPECT_FALSE(versionTextIs(nullptr, 100, "ProductName", "Brackenfold"));
}

}  // namespace
