#include "settings/settings.h"

#include <utility>

#include "host/kernel.h"
#include "host/utf8.h"
#include "keys/key_names.h"
#include "text/letter_case.h"

const char settingsFileName[] = "BrackenfoldConfig.ini";
const char settingsSection[] = "BrackenfoldConfig";
const char reloadKeySetting[] = "ReloadKey";
const char showMessagesSetting[] = "ShowMessages";
const char watchFileSetting[] = "WatchFile";
const char keepVersionsSetting[] = "KeepVersions";

Settings activeSettings;
ini::IniDocument settings;

namespace {

// Longer than this, in UTF-16 units, a path cannot name a file on Windows.
constexpr std::size_t longestPath = 32'767;
// Far larger than any settings file; a larger one is not read.
constexpr std::uint64_t largestFile = std::uint64_t{64} << 20;

const char keyNotUnderstood[] = "not a key code from 1 to 255, a key name or a combination";
const char switchNotUnderstood[] = "not 1/0, true/false, yes/no or on/off";
const char pathNotUnderstood[] = "an unmatched quote, or longer than 32767 characters";
const char countNotUnderstood[] = "not a number from 0 to 1000";

}  // namespace

std::optional<bool> parseSwitch(std::string_view value) {
    value = ini::trimmed(value);
    for (const std::string_view yes : {"1", "true", "yes", "on"}) {
        if (sameLetters(value, yes)) {
            return true;
        }
    }
    for (const std::string_view no : {"0", "false", "no", "off"}) {
        if (sameLetters(value, no)) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> parseKeepVersions(std::string_view value) {
    value = ini::trimmed(value);
    if (value.empty() || !((value[0] >= '0' && value[0] <= '9') || value[0] == '+' || value[0] == '-')) {
        return std::nullopt;
    }
    const auto number = parseKeySetting(value);
    if (!number || *number < 0 || *number > mostKeptVersions) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*number);
}

std::optional<std::string> parseWatchPath(std::string_view value) {
    value = ini::trimmed(value);
    if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
        if (value.size() < 2 || value.back() != value.front()) {
            return std::nullopt;
        }
        value = value.substr(1, value.size() - 2);
    }
    if (utf16Units(value) > longestPath) {
        return std::nullopt;
    }
    return std::string(value);
}

namespace {

// Takes one setting's value: what `parse` understands, the default when the value
// is empty, or else what is in effect, with the value named as not used.
template <typename Value, typename Parse>
void take(SettingsRead& read, const std::string& name, const std::string& value, Value Settings::*field,
          Parse parse, const Value& fallback, const Settings& inEffect, const char* reason) {
    if (auto parsed = parse(value)) {
        read.settings.*field = std::move(*parsed);
    } else if (value.empty()) {
        read.settings.*field = fallback;
    } else {
        read.settings.*field = inEffect.*field;
        read.problems.push_back({name, value, reason});
    }
}

}  // namespace

SettingsRead settingsFromDocument(const ini::IniDocument& document, const Settings& inEffect) {
    SettingsRead read;
    for (const auto& entry : document.entries()) {
        read.hasSection = read.hasSection || entry.first == settingsSection;
    }
    const Settings defaults;
    const ini::OrderedMap<> section = document.get(settingsSection);
    for (const auto& [name, value] : section.entries()) {
        if (name == reloadKeySetting) {
            take(read, name, value, &Settings::reloadKey, parseKeyChord, defaults.reloadKey, inEffect,
                 keyNotUnderstood);
        } else if (name == showMessagesSetting) {
            take(read, name, value, &Settings::showMessages, parseSwitch, defaults.showMessages, inEffect,
                 switchNotUnderstood);
        } else if (name == watchFileSetting) {
            take(read, name, value, &Settings::watchFile, parseWatchPath, defaults.watchFile, inEffect,
                 pathNotUnderstood);
        } else if (name == keepVersionsSetting) {
            take(read, name, value, &Settings::keepVersions, parseKeepVersions, defaults.keepVersions, inEffect,
                 countNotUnderstood);
        } else {
            read.problems.push_back({name, "", nullptr});
        }
    }
    return read;
}

std::string settingsText(std::string bytes) {
    const bool littleEndian = bytes.compare(0, 2, "\xFF\xFE") == 0;
    if (littleEndian || bytes.compare(0, 2, "\xFE\xFF") == 0) {
        return textFromUtf16(std::string_view(bytes).substr(2), !littleEndian);
    }
    // Line by line: a line an older editor wrote in the ANSI code page is not UTF-8.
    std::string text;
    text.reserve(bytes.size());
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        std::string_view line = std::string_view(bytes).substr(start, end - start);
        if (start == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") {
            text.append(line.substr(0, 3));
            line.remove_prefix(3);
        }
        if (isUtf8(line)) {
            text.append(line);
        } else {
            text.append(textFromAnsi(line));
        }
        start = end;
    }
    return text;
}

std::optional<SettingsRead> readSettingsFile(std::string_view path, const Settings& inEffect) {
    const PathInfo info = queryPath(path);
    if (!info.exists || info.folder) {
        return std::nullopt;
    }
    std::string bytes;
    if (info.size <= largestFile) {
        bytes.resize(static_cast<std::size_t>(info.size));
    }
    if (!readWholeFile(path, bytes)) {
        return std::nullopt;
    }
    settings.clear();
    ini::readLinesInto(ini::splitLines(settingsText(std::move(bytes))), settings);
    return settingsFromDocument(settings, inEffect);
}
