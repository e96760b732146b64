#include "reload/live_settings.h"

#include <optional>
#include <utility>

#include "host/kernel.h"
#include "keys/key_names.h"
#include "place/own_files.h"
#include "report/log.h"
#include "report/messages.h"
#include "text/clean_text.h"
#include "settings/settings.h"
#include "watch/file_stamp.h"

namespace {

constexpr std::size_t logValueLimit = 64;
constexpr std::size_t screenValueLimit = 32;

FileStamp seenStamp;
std::uint32_t lastCheck = 0;
// The file that counts, chosen at start: read, and watched for edits.
std::string settingsPath = settingsFileName;

CleanText shownSettings() { return cleanText(settingsPath, loggedPathLimit); }

// The file beside the plug-in counts; without one there, the game folder's, as
// for a plug-in kept in the game's folder. Without either, the one beside the
// plug-in is watched for, where the player is told to put it.
void chooseSettingsFile() {
    settingsPath = ownFile(settingsFileName);
    if (ownPlace() != OwnPlace::elsewhere) {
        return;
    }
    const bool beside = readFileStamp(settingsPath.c_str()).exists;
    if (!readFileStamp(settingsFileName).exists) {
        return;
    }
    if (beside) {
        logLine(LogLevel::Warn, "settings: %s in the game's folder not read; %s, beside the plug-in, counts",
                settingsFileName, shownSettings().text);
    } else {
        settingsPath = settingsFileName;
    }
}

// A setting's value in effect, as the log and the notices show it.
struct ValueText {
    char text[1100];
};

ValueText valueInEffect(const Settings& in, const std::string& name) {
    ValueText value{};
    if (name == reloadKeySetting) {
        std::snprintf(value.text, sizeof value.text, "%s (%u)", keyLabel(in.reloadKey).text,
                      static_cast<unsigned>(in.reloadKey.key));
    } else if (name == showMessagesSetting) {
        std::snprintf(value.text, sizeof value.text, "%s", in.showMessages ? "on" : "off");
    } else if (name == keepVersionsSetting) {
        std::snprintf(value.text, sizeof value.text, "%u", static_cast<unsigned>(in.keepVersions));
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
    // Versions are kept only of watched files.
    if (!inEffect.watchFile.empty()) {
        logLine(LogLevel::Info, "setting %s: %s", keepVersionsSetting, valueInEffect(inEffect, keepVersionsSetting).text);
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
    setMessagesShown(activeSettings.showMessages);
    if (!read.hasSection) {
        logLine(LogLevel::Warn, "settings: %s has no [%s] section (names are case-sensitive); defaults are used",
                shownSettings().text, settingsSection);
    }
    logSettings(read.problems, activeSettings);
    queueSettingsNotice(read.problems, activeSettings, reread);
}

}  // namespace

void loadSettings() {
    // The settings in effect head every fresh file of the log.
    startLogHeading(LogHeading::settingsInEffect);
    try {
        lastCheck = tickCount();
        chooseSettingsFile();
        seenStamp = readFileStamp(settingsPath.c_str());
        std::optional<SettingsRead> read = readSettingsFile(settingsPath, activeSettings);
        if (!read && ownPlace() == OwnPlace::elsewhere) {
            logLine(LogLevel::Info,
                    "settings: %s not found beside the plug-in (%s) nor in the game's folder; the defaults are used",
                    settingsFileName, cleanText(ownFolder(), loggedPathLimit).text);
            logSettings({}, activeSettings);
        } else if (!read) {
            logLine(LogLevel::Info, "settings: %s not found in the game's folder; the defaults are used",
                    settingsFileName);
            logSettings({}, activeSettings);
        } else {
            logLine(LogLevel::Info, "settings: %s found", shownSettings().text);
            apply(std::move(*read), false);
        }
    } catch (...) {
        logLine(LogLevel::Error, "settings: %s could not be read (out of memory); the settings stay as they were",
                shownSettings().text);
    }
    endLogHeading();
}

bool pollSettings(std::uint32_t now, std::size_t* queries) {
    if (now - lastCheck < settingsCheckIntervalMs) {
        return false;
    }
    lastCheck = now;
    // One look, and a second after a read.
    std::size_t looks = 1;
    if (queries != nullptr) {
        *queries = looks;
    }
    const FileStamp stamp = readFileStamp(settingsPath.c_str());
    if (stamp == seenStamp) {
        return false;
    }
    if (!stamp.exists) {
        seenStamp = stamp;
        logLine(LogLevel::Warn, "settings: %s is gone; the settings in effect stay", shownSettings().text);
        return false;
    }
    try {
        std::optional<SettingsRead> read = readSettingsFile(settingsPath, activeSettings);
        if (queries != nullptr) {
            *queries = ++looks;
        }
        // Written to (or removed) while it was read: the next look reads it again.
        if (!read || readFileStamp(settingsPath.c_str()) != stamp) {
            return false;
        }
        seenStamp = stamp;
        startLogHeading(LogHeading::settingsInEffect);
        logLine(LogLevel::Info, "settings: %s changed; read again", shownSettings().text);
        apply(std::move(*read), true);
        endLogHeading();
        return true;
    } catch (...) {
        logLine(LogLevel::Error, "settings: %s could not be read (out of memory); the settings stay as they were",
                shownSettings().text);
        return false;
    }
}
