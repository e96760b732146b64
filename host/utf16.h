// UTF-8 to UTF-16 and back, for the kernel door alone: Windows' wide calls take and
// give UTF-16, and no other part of the plug-in ever holds it. A UTF-16 surrogate
// half without its partner (Windows allows them in file names) becomes the three
// bytes that encode it and back, so that such a name still names its file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "host/utf8.h"

// `text` in UTF-16, in units of `Char` (wchar_t on Windows); a byte that forms no
// character becomes U+FFFD. Throws std::bad_alloc when memory runs out.
template <typename Char>
std::basic_string<Char> widen(std::string_view text) {
    std::basic_string<Char> wide;
    wide.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        Utf8Char character = readUtf8(text.data() + at, text.size() - at, true);
        if (character.length == 0) {
            character = {0xFFFD, 1};
        }
        at += character.length;
        if (character.codePoint >= 0x10000) {
            const std::uint32_t above = character.codePoint - 0x10000;
            wide += static_cast<Char>(0xD800 + (above >> 10));
            wide += static_cast<Char>(0xDC00 + (above & 0x3FF));
        } else {
            wide += static_cast<Char>(character.codePoint);
        }
    }
    return wide;
}

// Hands the UTF-8 bytes of the UTF-16 units `wide[0..size)` to `put`, one by one.
template <typename Char, typename Put>
void narrowTo(const Char* wide, std::size_t size, Put&& put) {
    for (std::size_t at = 0; at < size; ++at) {
        std::uint32_t unit = static_cast<std::uint16_t>(wide[at]);
        if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < size) {
            const std::uint32_t next = static_cast<std::uint16_t>(wide[at + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++at;
            }
        }
        if (unit < 0x80) {
            put(static_cast<char>(unit));
        } else if (unit < 0x800) {
            put(static_cast<char>(0xC0 | unit >> 6));
            put(static_cast<char>(0x80 | (unit & 0x3F)));
        } else if (unit < 0x10000) {
            put(static_cast<char>(0xE0 | unit >> 12));
            put(static_cast<char>(0x80 | (unit >> 6 & 0x3F)));
            put(static_cast<char>(0x80 | (unit & 0x3F)));
        } else {
            put(static_cast<char>(0xF0 | unit >> 18));
            put(static_cast<char>(0x80 | (unit >> 12 & 0x3F)));
            put(static_cast<char>(0x80 | (unit >> 6 & 0x3F)));
            put(static_cast<char>(0x80 | (unit & 0x3F)));
        }
    }
}

// The UTF-16 units `wide[0..size)` as UTF-8. Throws std::bad_alloc when memory runs out.
template <typename Char>
std::string narrow(const Char* wide, std::size_t size) {
    std::string text;
    text.reserve(size);
    narrowTo(wide, size, [&](char byte) { text += byte; });
    return text;
}

template <typename Char>
std::string narrow(const std::basic_string<Char>& wide) {
    return narrow(wide.data(), wide.size());
}
