#include "text/clean_text.h"

#include <cstdint>
#include <cstring>

#include "host/utf8.h"

CleanText cleanText(const char* value, std::size_t length, std::size_t limit) {
    CleanText clean{};
    std::size_t size = 0;
    for (std::size_t at = 0, characters = 0; at < length && characters < limit; ++characters) {
        const Utf8Char character = readUtf8(value + at, length - at);
        const std::uint32_t code = character.codePoint;
        const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
        if (character.length == 0 || control) {
            if (size + 1 >= sizeof clean.text) {
                break;
            }
            clean.text[size++] = '?';
            at += character.length == 0 ? 1 : character.length;
            continue;
        }
        if (size + character.length >= sizeof clean.text) {
            break;
        }
        std::memcpy(clean.text + size, value + at, character.length);
        size += character.length;
        at += character.length;
    }
    clean.text[size] = '\0';
    return clean;
}

CleanText cleanText(const std::string& value, std::size_t limit) { return cleanText(value.data(), value.size(), limit); }
