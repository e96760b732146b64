// Finds the game's reload routine by the byte signature of its first 34 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "locate/byte_scan.h"

// The first 34 bytes of the game's reload routine.
extern const char reloadSignature[];

// The first byte of the game's executable image (its module handle), or null when
// the game's module was not found. Set once by the script at start-up.
extern const std::uint8_t* gameModuleBase;

// Parses a signature text: "?" and "??" give -1; any other token is read as a
// 32-bit hexadecimal number the way strtoul reads one (saturating at FFFFFFFF,
// which is -1), and one separator character follows each token.
Pattern parsePattern(const char* text);

// The first position in [data, data + size) where `pattern` matches, or null. An
// empty pattern, or one longer than `size`, matches nowhere. Every position from 0
// to size - n is examined, and nothing outside the buffer is read.
const std::uint8_t* scanBytes(const std::uint8_t* data, std::size_t size, const Pattern& pattern);

// The image size that the PE headers at `base` give, or 0 when the headers do not
// lie in readable memory.
std::size_t imageSize(const std::uint8_t* base);

// What one search of the game's image found, and what it cost. The three counts
// cover the image from its start up to the match's end, or the whole image.
struct ImageSearch {
    const std::uint8_t* match = nullptr;    // the first match, or null
    std::size_t searched = 0;               // bytes of code scanned
    std::size_t skippedData = 0;            // readable bytes passed over: data, not code
    std::size_t skippedUnreadable = 0;      // unreadable bytes passed over
    VectorWidth width = VectorWidth::sse2;  // the vector width the scan ran with
};

// The first match of `signature` in the code of the game's image, scanned at
// `width` where this processor runs it. Each search parses the text and scans
// afresh. Code is what VirtualQuery reports committed and executable-readable
// (PAGE_EXECUTE_READ, PAGE_EXECUTE_READWRITE or PAGE_EXECUTE_WRITECOPY, without
// PAGE_GUARD): only those pages are read, adjacent ones as one run, and a match must
// lie wholly inside one run. Readable data pages and unreadable pages are skipped.
ImageSearch searchGameImage(const char* signature, VectorWidth width = VectorWidth::automatic);

// The address of the first match of `signature` in the code of the game's image, or
// null.
const std::uint8_t* findPattern(const char* signature);
