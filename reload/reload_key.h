// The reload key setting: `ReloadKey` in section `BrackenfoldConfig` of
// BrackenfoldConfig.ini, in the game's current directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "ini/ini.h"

extern const char settingsFileName[];  // "BrackenfoldConfig.ini"
extern const char settingsSection[];   // "BrackenfoldConfig"
extern const char reloadKeySetting[];  // "ReloadKey"

// Constructed in this order when the plug-in loads; live until it unloads.
extern ini::SettingsFile settingsFile;
extern ini::IniDocument settings;

// The virtual-key code that a setting's value names: a decimal number (leading
// white space, one sign, digits up to the first other character), or, when the
// value does not start with a number, a key name such as "F6" or "VK_F6" (any
// letter case). Empty when there is no number or name, or the number does not fit
// a signed 32-bit value. The caller checks the range.
std::optional<std::int64_t> parseKeySetting(std::string_view value);

// The code of a key name ("F1" to "F24", "A" to "Z", "Numpad0" to "Numpad9",
// "Space", "Enter", ...; optionally prefixed "VK_"), ignoring letter case and
// surrounding white space; 0 when the name is unknown.
std::uint32_t keyCodeFromName(std::string_view name);

// Reads the settings file and stores an accepted code (1 to 255) in reloadKey.
// A missing file, a bad value, or any failure while reading keeps the key.
void loadSettings();
