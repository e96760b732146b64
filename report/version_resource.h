// What a module's version resource says, as Windows shows it in the file's
// properties: its fixed file version (the game's build; not the product version)
// and the texts of its string tables (a copy of the plug-in is known by its
// product name). Every length is checked against the resource's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "host/kernel.h"

struct FileVersion {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t build = 0;
    std::uint16_t revision = 0;

    bool operator==(const FileVersion&) const = default;
};

// The file version in a version resource given as bytes; empty when the block is
// truncated, malformed or not a version resource. Reads nothing past `size`.
std::optional<FileVersion> parseFileVersion(const std::uint8_t* data, std::size_t size);

// The file version of a loaded module, read from its version resource (resource 1
// of type 16); empty when it has none or it is malformed.
std::optional<FileVersion> moduleFileVersion(ModuleHandle module);

// True when a string table of the version resource gives `name` the text `value`
// (both ASCII, compared exactly), as "ProductName" is "Brackenfold". Reads nothing
// past `size`.
bool versionTextIs(const std::uint8_t* data, std::size_t size, const char* name, const char* value);
