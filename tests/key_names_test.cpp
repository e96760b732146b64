#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "keys/key_names.h"

namespace {

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
    // Windows' own names, with the meaning its headers give them; only after "VK_".
    const std::pair<const char*, std::uint32_t> windows[] = {
        {"VK_F10", 0x79},     {"VK_NEXT", 0x22},    {"VK_PRIOR", 0x21},  {"VK_RETURN", 0x0D},
        {"VK_OEM_3", 0xC0},   {"VK_BACK", 0x08},    {"VK_ESCAPE", 0x1B}, {"VK_SCROLL", 0x91},
        {"VK_NUMPAD7", 0x67}, {"VK_MULTIPLY", 0x6A}, {"VK_LCONTROL", 0xA2}, {"VK_MENU", 0x12},
        {"VK_LBUTTON", 0x01}, {"VK_OEM_102", 0xE2}, {"VK_OEM_CLEAR", 0xFE}, {"VK_HANGUL", 0x15},
        {"VK_GAMEPAD_RIGHT_THUMBSTICK_LEFT", 0xDA}, {"VK_0", 0x30}, {"VK_9", 0x39}, {"VK_Q", 0x51},
    };
    for (const auto& [name, code] : windows) {
        EXPECT_EQ(keyCodeFromName(name), code) << name;
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
                             "VK_", "VKF6", "VK__F6", "Page Up", "Foo", "1", "F6x", "\xC3\x84", "NEXT", "OEM_3",
                             "VK_OEM_0", "VK_10", "VK_NEXT_"}) {
        EXPECT_EQ(keyCodeFromName(name), 0u) << name;
    }
}

TEST(KeyCombinations, ValuesAreNumbersNamesOrModifiersJoinedToAKey) {
    constexpr std::uint32_t ctrl = ctrlModifier;
    constexpr std::uint32_t shift = shiftModifier;
    constexpr std::uint32_t alt = altModifier;
    const std::pair<const char*, std::optional<KeyChord>> cases[] = {
        // Numbers exactly as before: only the leading number counts, 1 to 255.
        {"121", KeyChord{121, 0}}, {"+117", KeyChord{117, 0}}, {"117abc", KeyChord{117, 0}},
        {"255", KeyChord{255, 0}}, {" 1", KeyChord{1, 0}}, {"0", std::nullopt}, {"256", std::nullopt},
        {"-5", std::nullopt}, {"+Ctrl+F10", std::nullopt}, {"-F6", std::nullopt},
        // Hexadecimal codes as other plug-ins write them: all of it a code from 1 to 255.
        {"0x79", KeyChord{121, 0}}, {"0X79", KeyChord{121, 0}}, {" 0x0079 ", KeyChord{121, 0}},
        {"0xff", KeyChord{255, 0}}, {"0x1", KeyChord{1, 0}}, {"0x0", std::nullopt}, {"0x100", std::nullopt},
        {"0x", std::nullopt}, {"0x79z", std::nullopt}, {"0x79 ; F10", std::nullopt}, {"0x7 9", std::nullopt},
        {"0xFFFFFFFF79", std::nullopt}, {"00x79", std::nullopt}, {"-0x79", std::nullopt}, {"x79", std::nullopt},
        // Names and combinations, any letter case, blanks around "+".
        {"F10", KeyChord{121, 0}}, {"Ctrl+F10", KeyChord{121, ctrl}}, {"Shift+F10", KeyChord{121, shift}},
        {"Alt+F10", KeyChord{121, alt}}, {"Ctrl+Shift+F10", KeyChord{121, ctrl | shift}},
        {"Control+K", KeyChord{0x4B, ctrl}}, {"Ctrl+121", KeyChord{121, ctrl}}, {"ctrl + 254", KeyChord{254, ctrl}},
        {" alt+SHIFT + control+vk_f6 ", KeyChord{117, ctrl | shift | alt}},
        {"Ctrl+0x79", KeyChord{121, ctrl}}, {"VK_NEXT", KeyChord{0x22, 0}}, {"Shift+VK_OEM_3", KeyChord{0xC0, shift}},
        {"VK_CONTROL+VK_MENU+VK_F10", KeyChord{121, ctrl | alt}}, {"VK_SHIFT", KeyChord{0x10, 0}},
        // Not understood: only modifiers, an unknown part, a modifier twice, empty parts.
        {"Ctrl", std::nullopt}, {"Ctrl+Shift", std::nullopt}, {"Ctrl+F25", std::nullopt},
        {"Ctrl+Banana", std::nullopt}, {"Ctrl+Ctrl+F10", std::nullopt}, {"Ctrl+Control+F10", std::nullopt},
        {"Ctrl+", std::nullopt}, {"Ctrl++F10", std::nullopt}, {"Ctrl+255", std::nullopt}, {"Ctrl+0", std::nullopt},
        {"Ctrl+F10+Shift", std::nullopt}, {"Ctrl+99999999999", std::nullopt}, {"Win+F10", std::nullopt},
        {"Ctrl+0xFF", std::nullopt}, {"Ctrl+0x79x", std::nullopt}, {"Ctrl+VK_CONTROL+F10", std::nullopt},
        {"VK_LCONTROL+F10", std::nullopt},
        {"", std::nullopt}, {"Ctrl+F1\xC3\xA4", std::nullopt},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(parseKeyChord(value), expected) << '"' << value << '"';
    }
}

TEST(KeyLabels, ModifiersComeFirstThenTheKeysNameOrCode) {
    const std::pair<KeyChord, const char*> cases[] = {
        {{121, 0}, "F10"},
        {{117, ctrlModifier | shiftModifier | altModifier}, "Ctrl+Shift+Alt+F6"},
        {{0x4B, ctrlModifier}, "Ctrl+K"},
        {{0x65, 0}, "Numpad5"},
        {{0x91, shiftModifier}, "Shift+ScrollLock"},
        {{17, 0}, "key 17"},
        {{255, altModifier}, "Alt+key 255"},
        {{0, ctrlModifier | shiftModifier}, "Ctrl+Shift"},
        {{0, 0}, ""},
    };
    for (const auto& [chord, label] : cases) {
        EXPECT_STREQ(keyLabel(chord).text, label);
    }
    // Every name shown reads back as its key, with and without modifiers.
    for (std::uint32_t code = 1; code < 255; ++code) {
        for (const std::uint32_t modifiers : {0u, ctrlModifier | altModifier}) {
            const KeyLabel label = keyLabel({code, modifiers});
            if (std::string(label.text).find("key ") == std::string::npos) {
                EXPECT_EQ(parseKeyChord(label.text), (KeyChord{code, modifiers})) << label.text;
            }
        }
    }
}

}  // namespace
