#include "settings/settings.h"

#include <fstream>
#include <utility>

#include "keys/key_names.h"

const char settingsFileName[] = "BrackenfoldConfig.ini";
const char settingsSection[] = "BrackenfoldConfig";
const char reloadKeySetting[] = "ReloadKey";
const char showMessagesSetting[] = "ShowMessages";
const char watchFileSetting[] = "WatchFile";
const char keepVersionsSetting[] = "KeepVersions";

Settings activeSettings;
ini::SettingsFile settingsFile{settingsFileName};
ini::IniDocument settings;

namespace {

// Longer than this, a path cannot name a file on Windows.
constexpr std::size_t longestPath = 259;

const char keyNotUnderstood[] = "not a key code from 1 to 255, a key name or a combination";
const char switchNotUnderstood[] = "not 1/0, true/false, yes/no or on/off";
const char pathNotUnderstood[] = "an unmatched quote, or longer than 259 characters";
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
    if (value.size() > longestPath) {
        return std::nullopt;
    }
    return std::string(value);
}

SettingsRead settingsFromDocument(const ini::IniDocument& document, const Settings& inEffect) {
    SettingsRead read;
    for (const auto& entry : document.entries()) {
        read.hasSection = read.hasSection || entry.first == settingsSection;
    }
    const ini::OrderedMap<> section = document.get(settingsSection);
    for (const auto& [name, value] : section.entries()) {
        const bool absent = value.empty();
        if (name == reloadKeySetting) {
            const auto chord = parseKeyChord(value);
            if (chord || absent) {
                read.settings.reloadKey = chord.value_or(KeyChord{defaultReloadKey, 0});
            } else {
                read.settings.reloadKey = inEffect.reloadKey;
                read.problems.push_back({name, value, keyNotUnderstood});
            }
        } else if (name == showMessagesSetting) {
            const auto on = parseSwitch(value);
            if (on || absent) {
                read.settings.showMessages = on.value_or(true);
            } else {
                read.settings.showMessages = inEffect.showMessages;
                read.problems.push_back({name, value, switchNotUnderstood});
            }
        } else if (name == watchFileSetting) {
            if (auto path = parseWatchPath(value)) {
                read.settings.watchFile = std::move(*path);
            } else {
                read.settings.watchFile = inEffect.watchFile;
                read.problems.push_back({name, value, pathNotUnderstood});
            }
        } else if (name == keepVersionsSetting) {
            const auto count = parseKeepVersions(value);
            if (count || absent) {
                read.settings.keepVersions = count.value_or(defaultKeptVersions);
            } else {
                read.settings.keepVersions = inEffect.keepVersions;
                read.problems.push_back({name, value, countNotUnderstood});
            }
        } else {
            read.problems.push_back({name, "", nullptr});
        }
    }
    return read;
}

std::optional<SettingsRead> readSettingsFile(const Settings& inEffect) {
    {
        std::ifstream probe;
        probe.open(settingsFileName);
        if (!probe.good()) {
            return std::nullopt;
        }
    }
    settingsFile.read(settings);
    return settingsFromDocument(settings, inEffect);
}
