#include "keys/key_names.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "ini/ini.h"
#include "text/letter_case.h"

namespace {

struct KeyName {
    std::string_view name;
    std::uint32_t code;
};

constexpr std::array<KeyName, 16> namedKeys{{
    {"Insert", 0x2D}, {"Delete", 0x2E}, {"Home", 0x24}, {"End", 0x23},
    {"PageUp", 0x21}, {"PageDown", 0x22}, {"Up", 0x26}, {"Down", 0x28},
    {"Left", 0x25}, {"Right", 0x27}, {"Space", 0x20}, {"Enter", 0x0D},
    {"Tab", 0x09}, {"Backspace", 0x08}, {"Pause", 0x13}, {"ScrollLock", 0x91},
}};

struct ModifierName {
    std::string_view name;
    std::uint32_t modifier;
};

constexpr std::array<ModifierName, 4> modifierNames{{
    {"ctrl", ctrlModifier}, {"control", ctrlModifier}, {"shift", shiftModifier}, {"alt", altModifier},
}};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool startsWithLetters(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && sameLetters(text.substr(0, prefix.size()), prefix);
}

// The number that `text` spells in decimal, or empty when it is not all digits or
// exceeds `limit`.
std::optional<std::uint32_t> smallNumber(std::string_view text, std::uint32_t limit) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > limit) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > limit) {
        return std::nullopt;
    }
    return value;
}

std::uint32_t modifierFromName(std::string_view name) {
    for (const ModifierName& known : modifierNames) {
        if (sameLetters(name, known.name)) {
            return known.modifier;
        }
    }
    return 0;
}

// The key part of a combination: a key name, or a code from 1 to 254.
std::uint32_t chordKey(std::string_view part) {
    if (const auto code = smallNumber(part, 254)) {
        return *code;
    }
    return keyCodeFromName(part);
}

}  // namespace

std::uint32_t keyCodeFromName(std::string_view name) {
    name = ini::trimmed(name);
    if (startsWithLetters(name, "vk_")) {
        name.remove_prefix(3);
    }
    if (name.size() == 1 && lowerLetter(name[0]) >= 'a' && lowerLetter(name[0]) <= 'z') {
        return static_cast<std::uint32_t>(lowerLetter(name[0]) - 'a') + 0x41;
    }
    if (name.size() >= 2 && lowerLetter(name[0]) == 'f' && name[1] != '0') {
        if (const auto number = smallNumber(name.substr(1), 24); number && *number >= 1) {
            return 0x70 + *number - 1;
        }
    }
    if (name.size() == 7 && startsWithLetters(name, "numpad")) {
        if (const auto digit = smallNumber(name.substr(6), 9)) {
            return 0x60 + *digit;
        }
    }
    for (const KeyName& known : namedKeys) {
        if (sameLetters(name, known.name)) {
            return known.code;
        }
    }
    return 0;
}

std::optional<std::int64_t> parseKeySetting(std::string_view value) {
    std::size_t i = 0;
    while (i < value.size() && isSpace(value[i])) {
        ++i;
    }
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    if (i == value.size() || value[i] < '0' || value[i] > '9') {
        if (const std::uint32_t code = keyCodeFromName(value)) {
            return code;
        }
        return std::nullopt;
    }
    std::int64_t number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + (value[i] - '0');
        if (number > std::int64_t{1} << 31) {
            return std::nullopt;
        }
    }
    number = negative ? -number : number;
    if (number > INT32_MAX || number < INT32_MIN) {
        return std::nullopt;
    }
    return number;
}

std::optional<KeyChord> parseKeyChord(std::string_view value) {
    value = ini::trimmed(value);
    if (value.empty()) {
        return std::nullopt;
    }
    if ((value[0] >= '0' && value[0] <= '9') || value[0] == '+' || value[0] == '-') {
        const auto number = parseKeySetting(value);
        if (number && *number >= 1 && *number <= 255) {
            return KeyChord{static_cast<std::uint32_t>(*number), 0};
        }
        return std::nullopt;
    }
    KeyChord chord;
    for (;;) {
        const std::size_t plus = value.find('+');
        const std::string_view part = ini::trimmed(value.substr(0, plus));
        if (plus == std::string_view::npos) {
            chord.key = chordKey(part);
            return chord.key != 0 ? std::optional<KeyChord>(chord) : std::nullopt;
        }
        const std::uint32_t modifier = modifierFromName(part);
        if (modifier == 0 || (chord.modifiers & modifier) != 0) {
            return std::nullopt;
        }
        chord.modifiers |= modifier;
        value.remove_prefix(plus + 1);
    }
}

KeyLabel keyLabel(const KeyChord& chord) {
    const char* const ctrl = (chord.modifiers & ctrlModifier) != 0 ? "Ctrl+" : "";
    const char* const shift = (chord.modifiers & shiftModifier) != 0 ? "Shift+" : "";
    const char* const alt = (chord.modifiers & altModifier) != 0 ? "Alt+" : "";
    const auto code = static_cast<unsigned>(chord.key);
    KeyLabel label{};
    char* const text = label.text;
    constexpr std::size_t size = sizeof label.text;
    if (code == 0) {
        const int length = std::snprintf(text, size, "%s%s%s", ctrl, shift, alt);
        // Modifiers alone: no "+" after the last.
        if (length > 0) {
            text[length - 1] = '\0';
        }
    } else if (code >= 0x70 && code <= 0x87) {
        std::snprintf(text, size, "%s%s%sF%u", ctrl, shift, alt, code - 0x70 + 1);
    } else if (code >= 0x41 && code <= 0x5A) {
        std::snprintf(text, size, "%s%s%s%c", ctrl, shift, alt, static_cast<char>(code));
    } else if (code >= 0x60 && code <= 0x69) {
        std::snprintf(text, size, "%s%s%sNumpad%u", ctrl, shift, alt, code - 0x60);
    } else {
        std::snprintf(text, size, "%s%s%skey %u", ctrl, shift, alt, code);
        for (const KeyName& known : namedKeys) {
            if (known.code == code) {
                std::snprintf(text, size, "%s%s%s%.*s", ctrl, shift, alt, static_cast<int>(known.name.size()),
                              known.name.data());
            }
        }
    }
    return label;
}
