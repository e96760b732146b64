#include "reload/reload_key.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <string>

#include "reload/reload_loop.h"

const char settingsFileName[] = "BrackenfoldConfig.ini";
const char settingsSection[] = "BrackenfoldConfig";
const char reloadKeySetting[] = "ReloadKey";

ini::SettingsFile settingsFile{settingsFileName};
ini::IniDocument settings;

namespace {

struct KeyName {
    std::string_view name;
    std::uint32_t code;
};

constexpr std::array<KeyName, 16> namedKeys{{
    {"insert", 0x2D}, {"delete", 0x2E}, {"home", 0x24}, {"end", 0x23},
    {"pageup", 0x21}, {"pagedown", 0x22}, {"up", 0x26}, {"down", 0x28},
    {"left", 0x25}, {"right", 0x27}, {"space", 0x20}, {"enter", 0x0D},
    {"tab", 0x09}, {"backspace", 0x08}, {"pause", 0x13}, {"scrolllock", 0x91},
}};

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The number that `text` spells in decimal from `first` on, or empty when it is
// not all digits or exceeds `limit`.
std::optional<std::uint32_t> smallNumber(std::string_view text, std::size_t first, std::uint32_t limit) {
    if (first >= text.size()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (std::size_t i = first; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || value > limit) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
    }
    if (value > limit) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::uint32_t keyCodeFromName(std::string_view name) {
    while (!name.empty() && isSpace(name.front())) {
        name.remove_prefix(1);
    }
    while (!name.empty() && isSpace(name.back())) {
        name.remove_suffix(1);
    }
    std::string key;
    for (const char c : name) {
        key += lower(c);
    }
    if (key.rfind("vk_", 0) == 0) {
        key.erase(0, 3);
    }
    if (key.size() == 1 && key[0] >= 'a' && key[0] <= 'z') {
        return static_cast<std::uint32_t>(key[0] - 'a') + 0x41;
    }
    if (key.size() >= 2 && key[0] == 'f' && key[1] != '0') {
        if (const auto number = smallNumber(key, 1, 24); number && *number >= 1) {
            return 0x70 + *number - 1;
        }
    }
    if (key.size() == 7 && key.rfind("numpad", 0) == 0) {
        if (const auto digit = smallNumber(key, 6, 9)) {
            return 0x60 + *digit;
        }
    }
    for (const KeyName& known : namedKeys) {
        if (key == known.name) {
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

void loadSettings() {
    try {
        {
            std::ifstream probe;
            probe.open(settingsFileName);
            if (!probe.good()) {
                return;
            }
        }
        settingsFile.read(settings);
        const ini::OrderedMap<> section = settings.get(settingsSection);
        const std::string value = section.get(reloadKeySetting);
        const auto code = parseKeySetting(value);
        if (code && *code >= 1 && *code <= 255) {
            reloadKey = static_cast<std::uint32_t>(*code);
        }
    } catch (...) {
        // Out of memory while reading: the game runs on with the key it had.
    }
}
