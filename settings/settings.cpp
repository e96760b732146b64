#include "settings/settings.h"

#include <fstream>
#include <utility>

#include "plugin/kernel.h"
#include "report/log.h"
#include "report/messages.h"
#include "settings/file_stamp.h"
#include "settings/key_names.h"

const char settingsFileName[] = "BrackenfoldConfig.ini";
const char settingsSection[] = "BrackenfoldConfig";
const char reloadKeySetting[] = "ReloadKey";
const char showMessagesSetting[] = "ShowMessages";
const char watchFileSetting[] = "WatchFile";

Settings activeSettings;
ini::SettingsFile settingsFile{settingsFileName};
ini::IniDocument settings;

namespace {

constexpr std::size_t logValueLimit = 64;
constexpr std::size_t screenValueLimit = 32;
// Longer than this, a path cannot name a file on Windows.
constexpr std::size_t longestPath = 259;

const char keyNotUnderstood[] = "not a key code from 1 to 255, a key name or a combination";
const char switchNotUnderstood[] = "not 1/0, true/false, yes/no or on/off";
const char pathNotUnderstood[] = "an unmatched quote, or longer than 259 characters";

FileStamp seenStamp;
std::uint32_t lastCheck = 0;

// A setting's value in effect, as the log and the notices show it.
struct ValueText {
    char text[280];
};

ValueText valueInEffect(const Settings& in, const std::string& name) {
    ValueText value{};
    if (name == reloadKeySetting) {
        std::snprintf(value.text, sizeof value.text, "%s (%u)", keyLabel(in.reloadKey).text,
                      static_cast<unsigned>(in.reloadKey.key));
    } else if (name == showMessagesSetting) {
        std::snprintf(value.text, sizeof value.text, "%s", in.showMessages ? "on" : "off");
    } else if (in.watchFile.empty()) {
        std::snprintf(value.text, sizeof value.text, "none");
    } else {
        std::snprintf(value.text, sizeof value.text, "\"%s\"", cleanText(in.watchFile, loggedPathLimit).text);
    }
    return value;
}

void logSettings(const std::vector<SettingProblem>& problems, const Settings& inEffect) {
    for (const SettingProblem& problem : problems) {
        if (problem.reason == nullptr) {
            logLine(LogLevel::Warn, "unknown setting \"%s\" in [%s] ignored (names are case-sensitive)",
                    cleanText(problem.name, logValueLimit).text, settingsSection);
        } else {
            logLine(LogLevel::Warn, "setting %s \"%s\" not used (%s); %s is used instead", problem.name.c_str(),
                    cleanText(problem.value, logValueLimit).text, problem.reason,
                    valueInEffect(inEffect, problem.name).text);
        }
    }
    for (const char* name : {reloadKeySetting, showMessagesSetting, watchFileSetting}) {
        logLine(LogLevel::Info, "setting %s: %s", name, valueInEffect(inEffect, name).text);
    }
}

// One notice per read: the first thing not understood, in file order; after a
// re-read without one, the key now in effect.
void queueSettingsNotice(const std::vector<SettingProblem>& problems, const Settings& inEffect, bool reread) {
    const KeyLabel key = keyLabel(inEffect.reloadKey);
    if (!problems.empty()) {
        const SettingProblem& first = problems.front();
        if (first.reason == nullptr) {
            queueNotice("Brackenfold: unknown setting \"%s\", %s reloads", cleanText(first.name, screenValueLimit).text,
                        key.text);
        } else {
            queueNotice("Brackenfold: %s \"%s\" not understood, %s reloads", first.name.c_str(),
                        cleanText(first.value, screenValueLimit).text, key.text);
        }
    } else if (reread) {
        queueNotice("Brackenfold: settings reloaded, %s reloads", key.text);
    }
}

// Nothing after the move can throw, so the settings are applied whole or not at all.
void apply(SettingsRead&& read, bool reread) {
    activeSettings = std::move(read.settings);
    if (!read.hasSection) {
        logLine(LogLevel::Warn, "settings: %s has no [%s] section (names are case-sensitive); defaults are used",
                settingsFileName, settingsSection);
    }
    logSettings(read.problems, activeSettings);
    queueSettingsNotice(read.problems, activeSettings, reread);
}

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
        } else {
            read.problems.push_back({name, "", nullptr});
        }
    }
    return read;
}

void loadSettings() {
    try {
        lastCheck = static_cast<std::uint32_t>(GetTickCount());
        seenStamp = readFileStamp(settingsFileName);
        {
            std::ifstream probe;
            probe.open(settingsFileName);
            if (!probe.good()) {
                logLine(LogLevel::Info, "settings: %s not found in the game's folder; the defaults are used",
                        settingsFileName);
                logSettings({}, activeSettings);
                return;
            }
        }
        settingsFile.read(settings);
        SettingsRead read = settingsFromDocument(settings, activeSettings);
        logLine(LogLevel::Info, "settings: %s found", settingsFileName);
        apply(std::move(read), false);
    } catch (...) {
        logLine(LogLevel::Error, "settings: %s could not be read (out of memory); the settings stay as they were",
                settingsFileName);
    }
}

bool pollSettings(std::uint32_t now) {
    if (now - lastCheck < settingsCheckIntervalMs) {
        return false;
    }
    lastCheck = now;
    const FileStamp stamp = readFileStamp(settingsFileName);
    if (stamp == seenStamp) {
        return false;
    }
    if (!stamp.exists) {
        seenStamp = stamp;
        logLine(LogLevel::Warn, "settings: %s is gone; the settings in effect stay", settingsFileName);
        return false;
    }
    try {
        settingsFile.read(settings);
        // Written to while it was read: the next look reads it again.
        if (readFileStamp(settingsFileName) != stamp) {
            return false;
        }
        SettingsRead read = settingsFromDocument(settings, activeSettings);
        seenStamp = stamp;
        logLine(LogLevel::Info, "settings: %s changed; read again", settingsFileName);
        apply(std::move(read), true);
        return true;
    } catch (...) {
        logLine(LogLevel::Error, "settings: %s could not be read (out of memory); the settings stay as they were",
                settingsFileName);
        return false;
    }
}
