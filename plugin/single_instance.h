// One copy of the plug-in per game process: a second copy (say, under another file
// name) must neither register with the host nor write the log, or one key release
// would reload twice.
#pragma once

// True when no other copy of the plug-in in this process has claimed the game;
// this copy then holds the claim until `releaseInstance`. Makes no host call.
bool claimInstance();

// Gives up this copy's claim, if it holds one.
void releaseInstance();
