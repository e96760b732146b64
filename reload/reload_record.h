// The record of a reload under way, Brackenfold.reloading beside the log: while
// the game's routine runs it holds what the routine was handed (the watched files
// that had changed, and where the version the game had before each is kept), and
// it is empty at any other time. A game that stops in its routine (a well-formed
// file it cannot take is the likeliest cause) leaves it full, and the next start
// tells the player what they need, once. The file stays open for the whole run,
// so that a reload pays two writes for it and allocates nothing.
// A record whose emptying the disk refused (another program holds it) is emptied
// again at the next passes and at unload; and a start that finds one full asks
// the last run's log, kept as Brackenfold.previous.log, whether the routine
// returned after the record's reload, so that no stop is told that never was.
#pragma once

extern const char reloadRecordName[];  // "Brackenfold.reloading"
// The log's lines around the game's routine, which a start reads in the last run's log.
extern const char routineCallLine[];    // "reload: calling the game routine"
extern const char routineReturnLine[];  // "reload: the game routine returned"

// Start-up, once the log is open: when the last run's record holds a reload that
// the last run's log does not show returned, logs what it holds and queues a
// notice (shown unless messages are off); then holds the record open, empty, for
// this run. Nothing is thrown.
void openReloadRecord();

// Just before the game's routine is called: writes down what it is handed.
void recordReloadUnderway();

// After the game's routine returned: the record is emptied.
void clearReloadRecord();

// Each pass that does not reload: a record the disk would not empty is tried again.
void tendReloadRecord();

// When the plug-in unloads: the record is emptied, closed and removed.
void closeReloadRecord();
