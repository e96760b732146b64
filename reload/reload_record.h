// The record of a reload under way, Brackenfold.reloading beside the log: while
// the game's routine runs it holds what the routine was handed (the watched files
// that had changed, and where the version the game had before each is kept), and
// it is empty at any other time. A game that stops in its routine (a well-formed
// file it cannot take is the likeliest cause) leaves it full, and the next start
// tells the player what they need, once. The file stays open for the whole run,
// so that a reload pays two writes for it and allocates nothing.
#pragma once

extern const char reloadRecordName[];  // "Brackenfold.reloading"

// Start-up, once the log is open: when the last run's record holds a reload, logs
// what it holds and queues a notice (shown unless messages are off); then holds
// the record open, empty, for this run. Nothing is thrown.
void openReloadRecord();

// Just before the game's routine is called: writes down what it is handed.
void recordReloadUnderway();

// After the game's routine returned: the record is emptied.
void clearReloadRecord();

// When the plug-in unloads: the record is closed and removed.
void closeReloadRecord();
