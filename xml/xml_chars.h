// Bytes and characters for the XML check (xml/xml_check.h), shared by its source
// files only: byte classes, the text scan, UTF-8 sequences, XML Chars and the
// characters of names.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace xmlcheck {

using Byte = unsigned char;

enum ByteClass : std::uint8_t {
    space = 1,
    nameStart = 2,
    nameChar = 4,
    // XML allows no C0 control byte but TAB, LF and CR.
    illegal = 8,
    high = 16,
};

constexpr std::array<std::uint8_t, 256> makeClasses() {
    std::array<std::uint8_t, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        std::uint8_t c = 0;
        const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_' || b == ':';
        if (b == ' ' || b == '\t' || b == '\n' || b == '\r') {
            c |= space;
        } else if (b < 0x20) {
            c |= illegal;
        }
        if (letter) {
            c |= nameStart | nameChar;
        }
        if ((b >= '0' && b <= '9') || b == '-' || b == '.') {
            c |= nameChar;
        }
        if (b >= 0x80) {
            c |= high;
        }
        classes[static_cast<std::size_t>(b)] = c;
    }
    return classes;
}

inline constexpr std::array<std::uint8_t, 256> classes = makeClasses();

// Whether byte `b` is of any of the classes in `mask`.
inline bool is(Byte b, std::uint8_t mask) { return (classes[b] & mask) != 0; }

// The first byte in [p, end) that is A, B or C, a control byte other than TAB, LF and
// CR, or a byte from 0x80 up; `end` when there is none. Ordinary text holds none of
// the stop bytes, so it is skipped sixteen bytes at a time.
template <char A, char B, char C>
inline const Byte* findStop(const Byte* p, const Byte* end) {
#if defined(__SSE2__)
    const __m128i a = _mm_set1_epi8(A);
    const __m128i b = _mm_set1_epi8(B);
    const __m128i c = _mm_set1_epi8(C);
    const __m128i below = _mm_set1_epi8(0x20);
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Compared as signed bytes, those from 0x80 up are below 0x20 as well.
        const __m128i low = _mm_cmplt_epi8(v, below);
        const __m128i lineBytes =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, tab), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, cr));
        const __m128i marks =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, a), _mm_cmpeq_epi8(v, b)), _mm_cmpeq_epi8(v, c));
        const unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_andnot_si128(lineBytes, low), marks)));
        if (mask != 0) {
            return p + std::countr_zero(mask);
        }
        p += 16;
    }
#endif
    while (p < end && !is(*p, illegal | high) && *p != static_cast<Byte>(A) && *p != static_cast<Byte>(B) &&
           *p != static_cast<Byte>(C)) {
        ++p;
    }
    return p;
}

// ASCII letters in lower case; every other byte as it is.
inline Byte lower(Byte b) { return b >= 'A' && b <= 'Z' ? static_cast<Byte>(b - 'A' + 'a') : b; }

// The name of a checked start tag is followed by nothing else.
inline bool endsName(Byte b) { return is(b, space) || b == '/' || b == '>'; }

// The UTF-8 sequence at p (p < end): its length, with its code point in `code`; 0 when
// it is malformed, -1 when the end cuts it off before it could be told.
int decodeUtf8(const Byte* p, const Byte* end, char32_t& code);

// Whether code point `c` (from U+0080 up) may stand in a name, as its first
// character when `first`.
bool isNameCode(char32_t c, bool first);

// Whether code point `c` is an XML Char.
bool isXmlChar(std::uint32_t c);

// Whether the `length` bytes at `text` are the ASCII `word`, letter case aside.
bool equalsIgnoringCase(const Byte* text, std::size_t length, const char* word);

// Whether the `length` bytes at `text` begin with the ASCII `word`, letter case aside.
bool startsWithIgnoringCase(const Byte* text, std::size_t length, const char* word);

}  // namespace xmlcheck
