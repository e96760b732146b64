// The images the signature search benchmark runs on: large stretches of x86-64
// machine code with the signature planted at their last position, and an MSVC-built
// DLL laid out as Windows maps it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/pe_layout.h"

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t signatureLength = 34;
inline constexpr std::size_t nearCopyLength = 30;
inline constexpr std::size_t nearCopyStride = 4096;

Bytes signatureBytes();

// The largest x86-64 shared library under /usr/lib, or an empty path.
std::filesystem::path largestLibrary();

// The file's bytes, or none when it cannot be read.
Bytes readFile(const std::filesystem::path& path);

// 128 MiB drawn from the byte shares of machine code, when no library is found.
Bytes generatedCode();

// Where `needle` first occurs in `image`, or the image's size.
std::size_t firstOccurrence(const Bytes& image, const Bytes& needle);

// PE header fields giving the image's size, every accidental copy of the
// signature broken, and the signature planted at the last position.
void makeImage(Bytes& image);

// `image` with the signature's first 30 bytes and then a wrong byte every 4 KiB,
// as a prologue common in the game's code would stand.
Bytes prologueDense(const Bytes& image);

// An MZ header pointing at a PE header for x86-64 (machine 0x8664).
bool isX64Pe(const Bytes& bytes);

// `bytes` repeated until there are at least `size` of them.
Bytes tiled(const Bytes& bytes, std::size_t size);

// A DLL laid out as Windows maps it, in copies one after another.
struct LaidOutImage {
    Bytes bytes;                    // empty when the file is no x64 DLL with code
    std::vector<pe::Range> ranges;  // every copy's, as offsets into `bytes`
    std::size_t imageSize = 0;      // one copy's SizeOfImage
    std::size_t copies = 0;
    std::size_t code = 0;           // bytes in executable readable ranges, all copies
    std::size_t signatureAt = 0;
};

// `file`'s headers and sections at their virtual addresses, repeated until there
// are at least `size` bytes, the first headers claiming all copies as the image;
// every accidental copy of the signature broken, and the signature planted at the
// last position of the last copy's last executable section.
LaidOutImage laidOut(const Bytes& file, std::size_t size);
