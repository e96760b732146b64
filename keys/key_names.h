// Keys as a player writes them in the settings ("121", "F6", "Ctrl+Shift+F10"), or
// copies them from another plug-in's ("0x79", "VK_NEXT"), and as the plug-in names
// them on screen and in the log.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "keys/key_records.h"

// The virtual-key code that a value names: a decimal number (leading white space,
// one sign, digits up to the first other character), or, when the value does not
// start with a number, a key name such as "F6" or "VK_F6" (any letter case). Empty
// when there is no number or name, or the number does not fit a signed 32-bit
// value. The caller checks the range.
std::optional<std::int64_t> parseKeySetting(std::string_view value);

// The code of a key name ("F1" to "F24", "A" to "Z", "Numpad0" to "Numpad9",
// "Space", "Enter", ...; optionally prefixed "VK_"), or of one of Windows' own names
// with their meaning ("VK_NEXT", "VK_RETURN", "VK_OEM_3", "VK_0"), ignoring letter
// case and surrounding white space; 0 when the name is unknown.
std::uint32_t keyCodeFromName(std::string_view name);

// A reload key value. A code in hexadecimal, "0x" or "0X" and hexadecimal digits
// with nothing after them, from 1 to 255. Otherwise, when its first non-blank
// character is a digit, "+" or "-", a number as parseKeySetting reads one, from 1
// to 255. Otherwise a key name, or a combination: modifiers ("Ctrl" or "Control",
// "Shift", "Alt", or Windows' "VK_CONTROL", "VK_SHIFT", "VK_MENU", each at most
// once) joined to a last part, the key, by "+" with optional blanks around it; the
// key is a name or a code from 1 to 254, decimal or hexadecimal. Empty when not
// understood.
std::optional<KeyChord> parseKeyChord(std::string_view value);

// How a key is shown: modifiers first ("Ctrl+", "Shift+", "Alt+"), then the key's
// name ("F10", "K", "Numpad5", "PageUp", ...) or "key <code>" for a code without one.
// Key code 0 names the modifiers alone ("Ctrl+Shift").
struct KeyLabel {
    char text[48];
};
KeyLabel keyLabel(const KeyChord& chord);
