// The player's settings: `ReloadKey`, `ShowMessages`, `WatchFile` and `KeepVersions` in section
// `BrackenfoldConfig` of BrackenfoldConfig.ini, and what reading them gives: the
// values, every value not used with why, and unknown names. Nothing here writes a
// log or shows anything, nor chooses which file counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ini/ini.h"
#include "keys/key_records.h"

extern const char settingsFileName[];     // "BrackenfoldConfig.ini"
extern const char settingsSection[];      // "BrackenfoldConfig"
extern const char reloadKeySetting[];     // "ReloadKey"
extern const char showMessagesSetting[];  // "ShowMessages"
extern const char watchFileSetting[];     // "WatchFile"
extern const char keepVersionsSetting[];  // "KeepVersions"

inline constexpr std::uint32_t defaultReloadKey = 121;
inline constexpr std::uint32_t defaultKeptVersions = 20;
inline constexpr std::uint32_t mostKeptVersions = 1000;

struct Settings {
    KeyChord reloadKey{defaultReloadKey, 0};
    bool showMessages = true;
    std::string watchFile;  // the path as written, without its quotes; empty: none
    // How many versions of each watched file the game received are kept; 0: none.
    std::uint32_t keepVersions = defaultKeptVersions;

    bool operator==(const Settings&) const = default;
};

// The settings in effect. Only the script reads or writes them.
extern Settings activeSettings;

// What the last file read holds; live until the plug-in unloads.
extern ini::IniDocument settings;

// A value that was not used, or a name the plug-in does not know.
struct SettingProblem {
    std::string name;
    std::string value;              // as written; empty for an unknown name
    const char* reason = nullptr;   // why the value was not used; null for an unknown name
};

struct SettingsRead {
    Settings settings;
    bool hasSection = false;
    std::vector<SettingProblem> problems;  // in file order
};

// The settings that `document` gives. An absent or empty value gives the default;
// a value that is not understood keeps what `inEffect` holds.
SettingsRead settingsFromDocument(const ini::IniDocument& document, const Settings& inEffect);

// `true`/`false` for ShowMessages: 1/0, true/false, yes/no, on/off in any case.
std::optional<bool> parseSwitch(std::string_view value);

// A KeepVersions value: a number as a reload key's number is read (leading digits
// count), from 0 to 1000. Empty when not understood.
std::optional<std::uint32_t> parseKeepVersions(std::string_view value);

// The path of a WatchFile value: one pair of surrounding quotes removed. Empty
// when not understood (an unmatched quote, or longer than the longest Windows path).
std::optional<std::string> parseWatchPath(std::string_view value);

// The text of a settings file as UTF-8, the file's usual encoding: a file that
// begins with a UTF-16 byte order mark (either order) is converted whole; any other
// line that is not UTF-8 came from an older editor and is read in the system's
// ANSI code page. A UTF-8 byte order mark stays for the reader to drop.
std::string settingsText(std::string bytes);

// Reads the settings file at `path` into `settings` and gives what it holds, as
// settingsFromDocument does; empty when there is no file to open. Throws
// std::bad_alloc when memory runs out.
std::optional<SettingsRead> readSettingsFile(std::string_view path, const Settings& inEffect);
