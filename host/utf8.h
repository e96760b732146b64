// Text inside the plug-in is UTF-8, in the doors as everywhere else: how its
// characters are told apart, checked, and cut without breaking one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// One character at the start of a text; `length` 0 when the bytes there form none.
struct Utf8Char {
    std::uint32_t codePoint = 0;
    std::size_t length = 0;
};

// The character at the start of `text` (`size` bytes, at least one). Strict: no
// overlong form, nothing past U+10FFFF, and no UTF-16 surrogate half unless
// `surrogates` is true (Windows file names may hold lone halves, which the kernel
// door carries through in this form so that such a name still names its file).
Utf8Char readUtf8(const char* text, std::size_t size, bool surrogates = false);

// Whether every byte of `text` belongs to a character of strict UTF-8.
bool isUtf8(std::string_view text);

// The length of the longest start of `text` of at most `limit` bytes that does not
// end inside a character: a character that the limit would cut is left out whole.
std::size_t cutBetweenCharacters(std::string_view text, std::size_t limit);

// How many UTF-16 units Windows needs for `text`; a byte that forms no character
// counts as one.
std::size_t utf16Units(std::string_view text);
