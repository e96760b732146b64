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

// Windows' own names, as its headers give them, after "VK_": those that the names
// above, "VK_F1".."VK_F24", "VK_NUMPAD0".."VK_NUMPAD9", "VK_A".."VK_Z" and
// "VK_0".."VK_9" do not already cover.
constexpr KeyName windowsKeys[] = {
    {"LBUTTON", 0x01}, {"RBUTTON", 0x02}, {"CANCEL", 0x03}, {"MBUTTON", 0x04}, {"XBUTTON1", 0x05},
    {"XBUTTON2", 0x06}, {"BACK", 0x08}, {"CLEAR", 0x0C}, {"RETURN", 0x0D}, {"SHIFT", 0x10},
    {"CONTROL", 0x11}, {"MENU", 0x12}, {"CAPITAL", 0x14}, {"KANA", 0x15}, {"HANGEUL", 0x15},
    {"HANGUL", 0x15}, {"IME_ON", 0x16}, {"JUNJA", 0x17}, {"FINAL", 0x18}, {"HANJA", 0x19},
    {"KANJI", 0x19}, {"IME_OFF", 0x1A}, {"ESCAPE", 0x1B}, {"CONVERT", 0x1C}, {"NONCONVERT", 0x1D},
    {"ACCEPT", 0x1E}, {"MODECHANGE", 0x1F}, {"PRIOR", 0x21}, {"NEXT", 0x22}, {"SELECT", 0x29},
    {"PRINT", 0x2A}, {"EXECUTE", 0x2B}, {"SNAPSHOT", 0x2C}, {"HELP", 0x2F}, {"LWIN", 0x5B},
    {"RWIN", 0x5C}, {"APPS", 0x5D}, {"SLEEP", 0x5F}, {"MULTIPLY", 0x6A}, {"ADD", 0x6B},
    {"SEPARATOR", 0x6C}, {"SUBTRACT", 0x6D}, {"DECIMAL", 0x6E}, {"DIVIDE", 0x6F},
    {"NAVIGATION_VIEW", 0x88}, {"NAVIGATION_MENU", 0x89}, {"NAVIGATION_UP", 0x8A},
    {"NAVIGATION_DOWN", 0x8B}, {"NAVIGATION_LEFT", 0x8C}, {"NAVIGATION_RIGHT", 0x8D},
    {"NAVIGATION_ACCEPT", 0x8E}, {"NAVIGATION_CANCEL", 0x8F}, {"NUMLOCK", 0x90}, {"SCROLL", 0x91},
    {"OEM_NEC_EQUAL", 0x92}, {"OEM_FJ_JISHO", 0x92}, {"OEM_FJ_MASSHOU", 0x93}, {"OEM_FJ_TOUROKU", 0x94},
    {"OEM_FJ_LOYA", 0x95}, {"OEM_FJ_ROYA", 0x96}, {"LSHIFT", 0xA0}, {"RSHIFT", 0xA1}, {"LCONTROL", 0xA2},
    {"RCONTROL", 0xA3}, {"LMENU", 0xA4}, {"RMENU", 0xA5}, {"BROWSER_BACK", 0xA6}, {"BROWSER_FORWARD", 0xA7},
    {"BROWSER_REFRESH", 0xA8}, {"BROWSER_STOP", 0xA9}, {"BROWSER_SEARCH", 0xAA}, {"BROWSER_FAVORITES", 0xAB},
    {"BROWSER_HOME", 0xAC}, {"VOLUME_MUTE", 0xAD}, {"VOLUME_DOWN", 0xAE}, {"VOLUME_UP", 0xAF},
    {"MEDIA_NEXT_TRACK", 0xB0}, {"MEDIA_PREV_TRACK", 0xB1}, {"MEDIA_STOP", 0xB2}, {"MEDIA_PLAY_PAUSE", 0xB3},
    {"LAUNCH_MAIL", 0xB4}, {"LAUNCH_MEDIA_SELECT", 0xB5}, {"LAUNCH_APP1", 0xB6}, {"LAUNCH_APP2", 0xB7},
    {"OEM_1", 0xBA}, {"OEM_PLUS", 0xBB}, {"OEM_COMMA", 0xBC}, {"OEM_MINUS", 0xBD}, {"OEM_PERIOD", 0xBE},
    {"OEM_2", 0xBF}, {"OEM_3", 0xC0}, {"GAMEPAD_A", 0xC3}, {"GAMEPAD_B", 0xC4}, {"GAMEPAD_X", 0xC5},
    {"GAMEPAD_Y", 0xC6}, {"GAMEPAD_RIGHT_SHOULDER", 0xC7}, {"GAMEPAD_LEFT_SHOULDER", 0xC8},
    {"GAMEPAD_LEFT_TRIGGER", 0xC9}, {"GAMEPAD_RIGHT_TRIGGER", 0xCA}, {"GAMEPAD_DPAD_UP", 0xCB},
    {"GAMEPAD_DPAD_DOWN", 0xCC}, {"GAMEPAD_DPAD_LEFT", 0xCD}, {"GAMEPAD_DPAD_RIGHT", 0xCE},
    {"GAMEPAD_MENU", 0xCF}, {"GAMEPAD_VIEW", 0xD0}, {"GAMEPAD_LEFT_THUMBSTICK_BUTTON", 0xD1},
    {"GAMEPAD_RIGHT_THUMBSTICK_BUTTON", 0xD2}, {"GAMEPAD_LEFT_THUMBSTICK_UP", 0xD3},
    {"GAMEPAD_LEFT_THUMBSTICK_DOWN", 0xD4}, {"GAMEPAD_LEFT_THUMBSTICK_RIGHT", 0xD5},
    {"GAMEPAD_LEFT_THUMBSTICK_LEFT", 0xD6}, {"GAMEPAD_RIGHT_THUMBSTICK_UP", 0xD7},
    {"GAMEPAD_RIGHT_THUMBSTICK_DOWN", 0xD8}, {"GAMEPAD_RIGHT_THUMBSTICK_RIGHT", 0xD9},
    {"GAMEPAD_RIGHT_THUMBSTICK_LEFT", 0xDA}, {"OEM_4", 0xDB}, {"OEM_5", 0xDC}, {"OEM_6", 0xDD},
    {"OEM_7", 0xDE}, {"OEM_8", 0xDF}, {"OEM_AX", 0xE1}, {"OEM_102", 0xE2}, {"ICO_HELP", 0xE3},
    {"ICO_00", 0xE4}, {"PROCESSKEY", 0xE5}, {"ICO_CLEAR", 0xE6}, {"PACKET", 0xE7}, {"OEM_RESET", 0xE9},
    {"OEM_JUMP", 0xEA}, {"OEM_PA1", 0xEB}, {"OEM_PA2", 0xEC}, {"OEM_PA3", 0xED}, {"OEM_WSCTRL", 0xEE},
    {"OEM_CUSEL", 0xEF}, {"OEM_ATTN", 0xF0}, {"OEM_FINISH", 0xF1}, {"OEM_COPY", 0xF2}, {"OEM_AUTO", 0xF3},
    {"OEM_ENLW", 0xF4}, {"OEM_BACKTAB", 0xF5}, {"ATTN", 0xF6}, {"CRSEL", 0xF7}, {"EXSEL", 0xF8},
    {"EREOF", 0xF9}, {"PLAY", 0xFA}, {"ZOOM", 0xFB}, {"NONAME", 0xFC}, {"PA1", 0xFD}, {"OEM_CLEAR", 0xFE},
};

struct ModifierName {
    std::string_view name;
    std::uint32_t modifier;
};

constexpr std::array<ModifierName, 7> modifierNames{{
    {"ctrl", ctrlModifier}, {"control", ctrlModifier}, {"shift", shiftModifier}, {"alt", altModifier},
    {"vk_control", ctrlModifier}, {"vk_shift", shiftModifier}, {"vk_menu", altModifier},
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

// The number that `text` spells as "0x" (or "0X") and hexadecimal digits, and
// nothing else; empty when it does not, or exceeds `limit`.
std::optional<std::uint32_t> hexNumber(std::string_view text, std::uint32_t limit) {
    if (text.size() < 3 || text[0] != '0' || lowerLetter(text[1]) != 'x') {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : text.substr(2)) {
        const char lower = lowerLetter(c);
        const bool decimal = lower >= '0' && lower <= '9';
        if ((!decimal && (lower < 'a' || lower > 'f')) || value > limit) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(decimal ? lower - '0' : lower - 'a' + 10);
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

// The key part of a combination: a key name, or a code from 1 to 254 in decimal or
// hexadecimal.
std::uint32_t chordKey(std::string_view part) {
    if (const auto code = smallNumber(part, 254)) {
        return *code;
    }
    if (const auto code = hexNumber(part, 254)) {
        return *code;
    }
    return keyCodeFromName(part);
}

}  // namespace

std::uint32_t keyCodeFromName(std::string_view name) {
    name = ini::trimmed(name);
    const bool windowsName = startsWithLetters(name, "vk_");
    if (windowsName) {
        name.remove_prefix(3);
    }
    if (name.size() == 1 && lowerLetter(name[0]) >= 'a' && lowerLetter(name[0]) <= 'z') {
        return static_cast<std::uint32_t>(lowerLetter(name[0]) - 'a') + 0x41;
    }
    // Bare digits are numbers; "VK_0".."VK_9" are the digit keys, as Windows codes them.
    if (windowsName && name.size() == 1 && name[0] >= '0' && name[0] <= '9') {
        return static_cast<std::uint32_t>(name[0]);
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
    if (windowsName) {
        for (const KeyName& known : windowsKeys) {
            if (sameLetters(name, known.name)) {
                return known.code;
            }
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
        if (value.size() > 1 && lowerLetter(value[1]) == 'x' && value[0] == '0') {
            const auto code = hexNumber(value, 255);
            return code && *code >= 1 ? std::optional<KeyChord>(KeyChord{*code, 0}) : std::nullopt;
        }
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
