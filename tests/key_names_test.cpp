#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "settings/key_names.h"
#include "settings/settings.h"
#include "reload/reload_loop.h"
#include "tests/plugin_fixture.h"

namespace {

using ReloadKeySetting = InTempDirectory;

// The reload key after loading a settings file of `content`, starting from F10.
std::uint32_t keyAfterLoading(const std::string& content) {
    activeSettings.reloadKey.key = defaultReloadKey;
    {
        std::ofstream file(settingsFileName, std::ios::binary | std::ios::trunc);
        file << content;
    }
    loadSettings();
    return activeSettings.reloadKey.key;
}

std::uint32_t keyFromValue(const std::string& value) {
    return keyAfterLoading("[BrackenfoldConfig]\nReloadKey=" + value + "\n");
}

TEST_F(ReloadKeySetting, NoFileKeepsF10) {
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
    EXPECT_EQ(settings.size(), 0u);
}

TEST_F(ReloadKeySetting, DecimalCodeInTheSectionIsUsed) {
    EXPECT_EQ(keyFromValue("117"), 117u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\r\nReloadKey = 117\r\n"), 117u);
    EXPECT_EQ(keyAfterLoading("; settings\n[Other]\nReloadKey=5\n[BrackenfoldConfig]\nOther=1\nReloadKey=117"),
              117u);
}

TEST_F(ReloadKeySetting, OnlyTheNumberAtTheStartOfTheValueCounts) {
    EXPECT_EQ(keyFromValue("121 ; F10"), 121u);
    EXPECT_EQ(keyFromValue("118 ; F7"), 118u);
    EXPECT_EQ(keyFromValue("117abc"), 117u);
    EXPECT_EQ(keyFromValue("+117"), 117u);
    EXPECT_EQ(keyFromValue("  \t117"), 117u);
    EXPECT_EQ(keyFromValue("0117"), 117u);
    EXPECT_EQ(keyFromValue("117.9"), 117u);
}

TEST_F(ReloadKeySetting, CodesOutsideOneTo255KeepTheKey) {
    for (const char* value : {"0", "-1", "256", "1000", "-117", "2147483647", "-2147483648"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << value;
    }
}

TEST_F(ReloadKeySetting, HexadecimalReadsAsZeroAndKeepsTheKey) { EXPECT_EQ(keyFromValue("0x75"), 121u); }

TEST_F(ReloadKeySetting, BoundsOneAnd255AreAccepted) {
    EXPECT_EQ(keyFromValue("1"), 1u);
    EXPECT_EQ(keyFromValue("255"), 255u);
}

TEST_F(ReloadKeySetting, ValueWithoutANumberOrOutOf32BitsKeepsTheKey) {
    for (const char* value : {"", "abc", "+", "-", " ", "99999999999", "-99999999999", "2147483648",
                              "-2147483649", "18446744073709551617"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << '"' << value << '"';
    }
}

TEST_F(ReloadKeySetting, ReloadKeyAboveTheFirstSectionDoesNotCount) {
    EXPECT_EQ(keyAfterLoading("ReloadKey=117\n[BrackenfoldConfig]\n"), 121u);
    EXPECT_EQ(keyAfterLoading("ReloadKey=117\n[BrackenfoldConfig]\nReloadKey=118\n"), 118u);
}

TEST_F(ReloadKeySetting, RepeatedSectionMergesAndTheLaterKeyWins) {
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nReloadKey=5\n"
                              "[BrackenfoldConfig]\nReloadKey=118\n"),
              118u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nX=1\n[BrackenfoldConfig]\nY=2\n"),
              117u);
}

TEST_F(ReloadKeySetting, EmptyFileOrMissingSectionOrKeyKeepsTheKey) {
    EXPECT_EQ(keyAfterLoading(""), 121u);
    EXPECT_EQ(keyAfterLoading("[Other]\nReloadKey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nReload=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\n"), 121u);
}

TEST_F(ReloadKeySetting, NamesMustHaveTheExactLetterCase) {
    EXPECT_EQ(keyAfterLoading("[brackenfoldconfig]\nReloadKey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BrackenfoldConfig]\nreloadkey=117\n"), 121u);
    EXPECT_EQ(keyAfterLoading("[BRACKENFOLDCONFIG]\nRELOADKEY=117\n"), 121u);
}

TEST_F(ReloadKeySetting, KeyNamesGiveTheirVirtualKeyCodes) {
    EXPECT_EQ(keyFromValue("F6"), 0x75u);
    EXPECT_EQ(keyFromValue("f6"), 0x75u);
    EXPECT_EQ(keyFromValue(" VK_F6 "), 0x75u);
    EXPECT_EQ(keyFromValue("vk_numpad5"), 0x65u);
    EXPECT_EQ(keyFromValue("A"), 0x41u);
    EXPECT_EQ(keyFromValue("PageUp"), 0x21u);
    EXPECT_EQ(keyFromValue("ScrollLock"), 0x91u);
    EXPECT_EQ(keyFromValue("F24"), 0x87u);
}

TEST_F(ReloadKeySetting, UnknownKeyNamesKeepTheKey) {
    for (const char* value : {"F25", "Foo", "F0", "F01", "VK_", "Numpad10", "AB", "F6 ; remark", "-F6"}) {
        EXPECT_EQ(keyFromValue(value), 121u) << value;
    }
}

TEST_F(ReloadKeySetting, SecondLoadStartsFromTheKeyTheFirstLeft) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n");
    loadSettings();
    ASSERT_EQ(activeSettings.reloadKey.key, 117u);

    writeSettings("[BrackenfoldConfig]\nReloadKey=0\n");
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 117u);

    std::filesystem::remove(settingsFileName);
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 117u);

    writeSettings("[BrackenfoldConfig]\nReloadKey=118\n");
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 118u);
}

TEST_F(ReloadKeySetting, EachReadReplacesTheDocument) {
    writeSettings("[BrackenfoldConfig]\nReloadKey=117\n[Other]\nX=1\n");
    loadSettings();
    EXPECT_EQ(settings.size(), 2u);
    writeSettings("[BrackenfoldConfig]\nReloadKey=118\n");
    loadSettings();
    EXPECT_EQ(settings.size(), 1u);
    EXPECT_EQ(settings.get("BrackenfoldConfig").get("ReloadKey"), "118");
}

TEST_F(ReloadKeySetting, DirectoryInPlaceOfTheFileKeepsTheKey) {
    std::filesystem::create_directory(settingsFileName);
    loadSettings();
    EXPECT_EQ(activeSettings.reloadKey.key, 121u);
}

TEST_F(ReloadKeySetting, FileWithAByteOrderMarkIsRead) {
    EXPECT_EQ(keyAfterLoading("\xEF\xBB\xBF[BrackenfoldConfig]\nReloadKey=117\n"), 117u);
}

// ---------------------------------------------------------------------------
// The value conversion and the key name table on their own

TEST(KeySettingValue, DecimalNumberAtTheStartIsRead) {
    EXPECT_EQ(parseKeySetting("117"), 117);
    EXPECT_EQ(parseKeySetting(" \t+117xyz"), 117);
    EXPECT_EQ(parseKeySetting("-5"), -5);
    EXPECT_EQ(parseKeySetting("0x75"), 0);
    EXPECT_EQ(parseKeySetting("2147483647"), 2147483647);
    EXPECT_EQ(parseKeySetting("-2147483648"), -2147483648LL);
    EXPECT_EQ(parseKeySetting("00000000000000000000117"), 117);
}

TEST(KeySettingValue, NoNumberOrOutOfRangeGivesNothing) {
    EXPECT_EQ(parseKeySetting(""), std::nullopt);
    EXPECT_EQ(parseKeySetting("abc"), std::nullopt);
    EXPECT_EQ(parseKeySetting("+-1"), std::nullopt);
    EXPECT_EQ(parseKeySetting("- 1"), std::nullopt);
    EXPECT_EQ(parseKeySetting("2147483648"), std::nullopt);
    EXPECT_EQ(parseKeySetting("-2147483649"), std::nullopt);
    EXPECT_EQ(parseKeySetting("99999999999999999999999999"), std::nullopt);
}

TEST(KeySettingValue, KeyNameIsLookedUpWhenThereIsNoNumber) {
    EXPECT_EQ(parseKeySetting("F10"), 121);
    EXPECT_EQ(parseKeySetting("  vk_space "), 0x20);
}

TEST(KeyNames, EveryNameOfTheTableHasItsCode) {
    for (int n = 1; n <= 24; ++n) {
        EXPECT_EQ(keyCodeFromName("F" + std::to_string(n)), 0x6Fu + static_cast<unsigned>(n)) << n;
    }
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        EXPECT_EQ(keyCodeFromName(std::string(1, letter)), static_cast<std::uint32_t>(letter)) << letter;
    }
    for (int digit = 0; digit <= 9; ++digit) {
        EXPECT_EQ(keyCodeFromName("Numpad" + std::to_string(digit)), 0x60u + static_cast<unsigned>(digit));
    }
    const std::pair<const char*, std::uint32_t> named[] = {
        {"Insert", 0x2D}, {"Delete", 0x2E}, {"Home", 0x24},     {"End", 0x23},       {"PageUp", 0x21},
        {"PageDown", 0x22}, {"Up", 0x26},   {"Down", 0x28},     {"Left", 0x25},      {"Right", 0x27},
        {"Space", 0x20},  {"Enter", 0x0D},  {"Tab", 0x09},      {"Backspace", 0x08}, {"Pause", 0x13},
        {"ScrollLock", 0x91},
    };
    for (const auto& [name, code] : named) {
        EXPECT_EQ(keyCodeFromName(name), code) << name;
        EXPECT_EQ(keyCodeFromName(std::string("VK_") + name), code) << name;
    }
}

TEST(KeyNames, LetterCaseAndSurroundingWhiteSpaceDoNotMatter) {
    EXPECT_EQ(keyCodeFromName("vk_f6"), 0x75u);
    EXPECT_EQ(keyCodeFromName("\t PAGEDOWN \r\n"), 0x22u);
    EXPECT_EQ(keyCodeFromName("Vk_ScRoLlLoCk"), 0x91u);
    EXPECT_EQ(keyCodeFromName("z"), 0x5Au);
}

TEST(KeyNames, UnknownNamesGiveZero) {
    for (const char* name : {"", " ", "F0", "F25", "F100", "F01", "F-1", "Numpad", "Numpad10", "NumpadA",
                             "VK_", "VKF6", "VK__F6", "Page Up", "Foo", "1", "F6x", "\xC3\x84"}) {
        EXPECT_EQ(keyCodeFromName(name), 0u) << name;
    }
}

}  // namespace
