// What the player is told on screen. Every text goes through the four message
// natives from the script's pass, never from the keyboard handler or DllMain, and
// nothing at all is shown while messages are switched off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "report/log.h"
#include "text/clean_text.h"

// The four game natives that put a text on screen, in call order; only the first
// takes an argument (the text's address).
inline constexpr std::uint64_t messageNatives[4] = {
    0xFA233F8FE190514CULL,
    0xE9990552DEC71600ULL,
    0xA3108D6981A5CADBULL,
    0xDFF0D417277B41F8ULL,
};

// Shows `text` through the four natives, whatever the settings say. The game may
// read the text after the call: it must live at least until the next message.
void showMessage(const char* text);

// Whether texts reach the screen: the player's ShowMessages, handed over whenever
// the settings apply. On when the plug-in loads.
void setMessagesShown(bool on);
bool messagesShown();

// Shows `text` (static storage) unless messages are off.
void tellPlayer(const char* text);

// Builds a text (printf format) into storage of its own and shows it now, unless
// messages are off.
void tellPlayerBuilt(const char* format, ...) BRACKENFOLD_PRINTF(1, 2);

// Builds a notice (printf format) for the script to show on a later pass, in the
// order queued. A few wait at most; one more is dropped (the log has it anyway).
void queueNotice(const char* format, ...) BRACKENFOLD_PRINTF(1, 2);

// Shows the oldest queued notice unless messages are off, and drops it either way.
// The text stays in storage of its own until the next notice is shown.
void showNextNotice();

// Drops every queued notice.
void clearNotices();

// The notices waiting, oldest first; for the tests.
std::size_t queuedNotices();
const char* queuedNotice(std::size_t index);
