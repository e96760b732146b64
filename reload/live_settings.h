// The settings while the game runs: read when the script starts and again whenever
// BrackenfoldConfig.ini changes, each read written to the log, anything not
// understood told on screen once, and the on-screen switch set from them. The file
// that counts is the one beside the plug-in or, without one there, the game
// folder's; it is chosen at start, and the log names it.
#pragma once

#include <cstddef>
#include <cstdint>

// The shortest time between two looks at the settings file, in milliseconds.
inline constexpr std::uint32_t settingsCheckIntervalMs = 1000;

// Start-up: reads the settings file, when there is one, into activeSettings,
// writes every setting to the log and queues a notice for anything not
// understood. Without a file the settings stay as they are. Nothing is thrown.
void loadSettings();

// Called by every pass. At most once a second, looks at the file's last-write
// time and size; when they changed, re-reads the file, applies it, logs every
// setting and queues one notice. True when the settings were re-read. A file that
// disappears keeps the settings in effect. `queries`, when given, receives the
// file attribute queries made (0 to 2).
bool pollSettings(std::uint32_t now, std::size_t* queries = nullptr);
