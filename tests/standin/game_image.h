// The stand-in game's own image: its reload routine, whose first 34 bytes are the
// signature the plug-in looks for, and two padding pages laid out right before it,
// so that a test can make a whole page before the routine unreadable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t pageSize = 4096;

extern "C" {
// The game's reload routine: records the text it is called with and returns.
void standinReloadRoutine(const char* dataName);
// Two page-aligned pages of the image, placed just before the routine.
extern const unsigned char standinRoutinePadding[];
}

const std::uint8_t* routineEntry();
// The padding's second page: the last whole page before the routine.
const std::uint8_t* pageBeforeRoutine();

// The size of this executable's image, and the routine's offset in it.
std::uint64_t gameImageSize();
std::uint64_t routineOffset();
// "RDR2.exe+0x..." for the routine, as the log names it.
std::string routineText();

// How many bytes of a stretch of the image are code (committed and executable
// readable), data (readable, not executable) and unreadable.
struct MemoryKinds {
    std::uint64_t code = 0;
    std::uint64_t data = 0;
    std::uint64_t unreadable = 0;
    bool operator==(const MemoryKinds&) const = default;
};

// The image's first `end` bytes as its own section headers say Windows maps them.
MemoryKinds mappedKinds(std::uint64_t end);
// The same as VirtualQuery reports them now.
MemoryKinds queriedKinds(std::uint64_t end);
// "(searched N bytes of code, skipped N bytes of data and N unreadable bytes)", as
// the log tells a search that passed over these bytes.
std::string searchedText(const MemoryKinds& kinds);

// The signature's 34 bytes, parsed from its text at run time so that the bytes
// themselves occur in the image only at the routine.
std::vector<std::uint8_t> signatureBytes();

// Every place in the readable pages of this executable's image where the
// signature's bytes occur.
std::vector<const std::uint8_t*> signatureOccurrences();

// A mod's data file (lml\<mod>\VegetationModifiers.meta in the current directory)
// that holds this makes the game end its process inside its routine, with
// gameStoppedExitCode, as a game ends that cannot take a well-formed file.
extern const char gameStopsMarker[];
inline constexpr unsigned gameStoppedExitCode = 7;

// The last line of Brackenfold.log in the current directory, read (while the
// plug-in holds it open) when the routine last ran; "no log" when it could not be
// opened for reading.
const std::string& logLineAtRoutineCall();

// Calls the routine so that, inside it, the system's unwinder walks back out of
// it and an exception is thrown through it: empty when the routine's unwind data
// restores exactly what its prologue saved, else what went wrong.
std::string checkUnwindThroughRoutine();
