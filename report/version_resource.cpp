#include "report/version_resource.h"

namespace {

constexpr std::uint32_t fixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t fixedInfoSize = 52;
constexpr std::size_t blockHeader = 6;  // its length, its value's length, its type

std::uint16_t word(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }

std::uint32_t dword(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(word(at)) | static_cast<std::uint32_t>(word(at + 2)) << 16;
}

std::size_t aligned(std::size_t offset) { return (offset + 3) & ~std::size_t{3}; }

// One block of the resource's tree: a header, a NUL-terminated UTF-16 key, a
// value, then its children, each part aligned to 4 bytes.
struct Block {
    std::size_t key = 0;
    std::size_t value = 0;
    std::size_t valueLength = 0;  // as the header gives it
    std::size_t children = 0;
    std::size_t end = 0;
};

// The block at `at`, which must end by `limit`; false when it does not fit.
bool readBlock(const std::uint8_t* data, std::size_t at, std::size_t limit, Block& block) {
    if (at + blockHeader > limit) {
        return false;
    }
    const std::size_t length = word(data + at);
    if (length < blockHeader || length > limit - at) {
        return false;
    }
    block.end = at + length;
    block.valueLength = word(data + at + 2);
    const bool text = word(data + at + 4) == 1;
    block.key = at + blockHeader;
    std::size_t keyEnd = block.key;
    while (keyEnd + 2 <= block.end && word(data + keyEnd) != 0) {
        keyEnd += 2;
    }
    if (keyEnd + 2 > block.end) {
        return false;
    }
    block.value = aligned(keyEnd + 2);
    // A text's length counts its characters, a binary value's its bytes.
    block.children = aligned(block.value + block.valueLength * (text ? 2 : 1));
    return true;
}

// True when the UTF-16 text at `at` is `ascii`, ended by its NUL or by `end`.
bool textIs(const std::uint8_t* data, std::size_t at, std::size_t end, const char* ascii) {
    for (;; at += 2, ++ascii) {
        if (*ascii == '\0') {
            return at + 2 > end || word(data + at) == 0;
        }
        if (at + 2 > end || word(data + at) != static_cast<unsigned char>(*ascii)) {
            return false;
        }
    }
}

// Calls `visit` for each child of `parent` until it returns true; true then.
template <typename Visit>
bool anyChild(const std::uint8_t* data, const Block& parent, Visit visit) {
    Block child;
    for (std::size_t at = parent.children; at < parent.end && readBlock(data, at, parent.end, child);
         at = aligned(child.end)) {
        if (visit(child)) {
            return true;
        }
    }
    return false;
}

bool readRoot(const std::uint8_t* data, std::size_t size, Block& root) {
    return data != nullptr && readBlock(data, 0, size, root) && textIs(data, root.key, root.end, "VS_VERSION_INFO");
}

}  // namespace

std::optional<FileVersion> parseFileVersion(const std::uint8_t* data, std::size_t size) {
    Block root;
    if (!readRoot(data, size, root) || root.valueLength < fixedInfoSize || root.value + fixedInfoSize > root.end) {
        return std::nullopt;
    }
    const std::uint8_t* const info = data + root.value;
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

bool versionTextIs(const std::uint8_t* data, std::size_t size, const char* name, const char* value) {
    Block root;
    if (!readRoot(data, size, root)) {
        return false;
    }
    // StringFileInfo, then a table for each language, then the texts.
    return anyChild(data, root, [&](const Block& strings) {
        return textIs(data, strings.key, strings.end, "StringFileInfo") && anyChild(data, strings, [&](const Block& table) {
                   return anyChild(data, table, [&](const Block& text) {
                       return textIs(data, text.key, text.end, name) && textIs(data, text.value, text.end, value);
                   });
               });
    });
}
