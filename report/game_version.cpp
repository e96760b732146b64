#include "report/game_version.h"

#include <cstring>

namespace {

constexpr std::uint32_t fixedInfoSignature = 0xFEEF04BD;
// The block's key, "VS_VERSION_INFO" in UTF-16 with its terminating NUL.
constexpr char16_t versionKey[] = u"VS_VERSION_INFO";
constexpr std::size_t keyOffset = 6;
constexpr std::size_t keyBytes = sizeof versionKey;
// The value follows the key, aligned to 4 bytes.
constexpr std::size_t valueOffset = (keyOffset + keyBytes + 3) & ~std::size_t{3};
constexpr std::size_t fixedInfoSize = 52;

std::uint16_t word(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

std::uint32_t dword(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(word(at)) | static_cast<std::uint32_t>(word(at + 2)) << 16;
}

}  // namespace

std::optional<FileVersion> parseFileVersion(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr || size < valueOffset + fixedInfoSize) {
        return std::nullopt;
    }
    // The block may claim less than the resource holds, never more.
    const std::size_t length = word(data);
    const std::size_t valueLength = word(data + 2);
    if (length > size || length < valueOffset + fixedInfoSize || valueLength < fixedInfoSize) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < keyBytes / 2; ++i) {
        if (word(data + keyOffset + 2 * i) != static_cast<std::uint16_t>(versionKey[i])) {
            return std::nullopt;
        }
    }
    const std::uint8_t* const info = data + valueOffset;
    if (dword(info) != fixedInfoSignature) {
        return std::nullopt;
    }
    const std::uint32_t high = dword(info + 8);
    const std::uint32_t low = dword(info + 12);
    return FileVersion{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                       static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

std::optional<FileVersion> moduleFileVersion(ModuleHandle module) {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    if (module == nullptr || !moduleVersionResource(module, data, size)) {
        return std::nullopt;
    }
    return parseFileVersion(data, size);
}
