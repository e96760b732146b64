#include "host/utf8.h"

namespace {

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

Utf8Char readUtf8(const char* text, std::size_t size, bool surrogates) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = 0;
    std::uint32_t codePoint = 0;
    std::uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        least = 0x10000;
    } else {
        return {};
    }
    if (size < length) {
        return {};
    }
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuation(bytes[i])) {
            return {};
        }
        codePoint = codePoint << 6 | (bytes[i] & 0x3Fu);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (codePoint < least || codePoint > 0x10FFFF || (surrogate && !surrogates)) {
        return {};
    }
    return {codePoint, length};
}

bool isUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char character = readUtf8(text.data() + at, text.size() - at);
        if (character.length == 0) {
            return false;
        }
        at += character.length;
    }
    return true;
}

std::size_t cutBetweenCharacters(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) {
        return text.size();
    }
    if (!isContinuation(static_cast<unsigned char>(text[limit]))) {
        return limit;
    }
    std::size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && isContinuation(static_cast<unsigned char>(text[lead - 1]))) {
        --lead;
    }
    if (lead == 0) {
        return limit;
    }
    --lead;
    const Utf8Char character = readUtf8(text.data() + lead, text.size() - lead, true);
    return character.length > limit - lead ? lead : limit;
}

std::size_t utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Char character = readUtf8(text.data() + at, text.size() - at, true);
        units += character.codePoint >= 0x10000 ? 2 : 1;
        at += character.length == 0 ? 1 : character.length;
    }
    return units;
}
