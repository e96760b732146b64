#include "watch/xml_check.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

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

constexpr std::array<std::uint8_t, 256> classes = makeClasses();

bool is(Byte b, std::uint8_t mask) { return (classes[b] & mask) != 0; }

// Ordinary text holds none of the stop bytes, so it is skipped sixteen bytes at a time.
template <char A, char B, char C>
const Byte* findStop(const Byte* p, const Byte* end) {
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

// A sequence cut off by the end (-1) is told from a malformed one (0), as only the latter is a fault at p.
int decodeUtf8(const Byte* p, const Byte* end, char32_t& code) {
    const Byte b = p[0];
    int length = 0;
    // Narrower second-byte ranges rule out overlong forms, surrogates and code points above U+10FFFF.
    Byte low = 0x80;
    Byte top = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : low;
        top = b == 0xED ? 0x9F : top;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : low;
        top = b == 0xF4 ? 0x8F : top;
    } else {
        return 0;
    }
    const std::ptrdiff_t available = end - p;
    for (int i = 1; i < length; ++i) {
        if (i == available) {
            return -1;
        }
        if (i == 1 ? p[1] < low || p[1] > top : (p[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    code = b & (0xFF >> (length + 1));
    for (int i = 1; i < length; ++i) {
        code = code << 6 | (p[i] & 0x3F);
    }
    return length;
}

bool isXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

bool isNameCode(char32_t c, bool first) {
    if (!first && (c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040))) {
        return true;
    }
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

Byte lower(Byte b) { return b >= 'A' && b <= 'Z' ? static_cast<Byte>(b - 'A' + 'a') : b; }

bool equalsIgnoringCase(const Byte* text, std::size_t length, const char* word) {
    const std::size_t n = std::strlen(word);
    if (n != length) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (lower(text[i]) != lower(static_cast<Byte>(word[i]))) {
            return false;
        }
    }
    return true;
}

bool startsWithIgnoringCase(const Byte* text, std::size_t length, const char* word) {
    const std::size_t n = std::strlen(word);
    return n <= length && equalsIgnoringCase(text, n, word);
}

// The name of a checked start tag is followed by nothing else.
bool endsName(Byte b) { return is(b, space) || b == '/' || b == '>'; }

constexpr std::size_t shownNameLength = 40;

class Checker {
public:
    Checker(const Byte* data, std::size_t size) : begin_(data), end_(data + size) {}

    XmlCheck run() {
        if (document() != nullptr) {
            return XmlCheck{};
        }
        result_.wellFormed = false;
        std::size_t line = 1;
        const Byte* lineStart = text_;
        for (const Byte* b = text_; b < errorAt_; ++b) {
            if (*b == '\n' || (*b == '\r' && (b + 1 == end_ || b[1] != '\n'))) {
                ++line;
                lineStart = b + 1;
            }
        }
        result_.line = line;
        result_.column = static_cast<std::size_t>(errorAt_ - lineStart) + 1;
        result_.offset = static_cast<std::size_t>(errorAt_ - begin_);
        return result_;
    }

private:
    enum class Place { prolog, content, epilog };

    struct Attribute {
        const Byte* name;
        std::size_t length;
    };

    // Every piece is cut so that `what` always ends in a NUL.
    void add(const char* text) {
        for (; *text != 0 && used_ + 1 < sizeof result_.what; ++text) {
            result_.what[used_++] = *text;
        }
        result_.what[used_] = 0;
    }

    void addName(const Byte* name, std::size_t length) {
        std::size_t shown = length;
        if (length > shownNameLength) {
            shown = shownNameLength - 3;
            // Never split a UTF-8 sequence.
            while (shown > 0 && (name[shown] & 0xC0) == 0x80) {
                --shown;
            }
        }
        for (std::size_t i = 0; i < shown && used_ + 1 < sizeof result_.what; ++i) {
            // Bytes of an unknown single-byte encoding would not be text in the phrase.
            result_.what[used_++] = singleByte_ && name[i] >= 0x80 ? '?' : static_cast<char>(name[i]);
        }
        result_.what[used_] = 0;
        if (shown < length) {
            add("...");
        }
    }

    void addNumber(std::uint32_t value, unsigned base, int digits) {
        char text[12] = {};
        int n = 0;
        do {
            text[n++] = "0123456789ABCDEF"[value % base];
            value /= base;
        } while (value != 0 || n < digits);
        char reversed[12] = {};
        for (int i = 0; i < n; ++i) {
            reversed[i] = text[n - 1 - i];
        }
        add(reversed);
    }

    const Byte* fail(const Byte* at, const char* phrase = "") {
        errorAt_ = at;
        used_ = 0;
        add(phrase);
        return nullptr;
    }

    const Byte* failNamed(const Byte* at, const char* before, const Byte* name, std::size_t length, const char* after) {
        fail(at, before);
        addName(name, length);
        add(after);
        return nullptr;
    }

    const Byte* failEnd(const char* phrase) { return fail(end_, phrase); }

    std::size_t openNameLength(const Byte* name) const {
        std::size_t n = 0;
        while (!endsName(name[n])) {
            ++n;
        }
        return n;
    }

    const Byte* failOpen(const Byte* at, const char* before, const char* after) {
        const Byte* const name = open_[depth_ - 1];
        return failNamed(at, before, name, openNameLength(name), after);
    }

    // A sequence cut off by the end means the document ended early, not that its first byte is wrong.
    const Byte* failBytes(const Byte* p) {
        char32_t code = 0;
        return decodeUtf8(p, end_, code) < 0 ? failEnd("document ends inside a UTF-8 sequence")
                                             : fail(p, "invalid UTF-8");
    }

    const Byte* failUnclosedTag() { return failNamed(end_, "unclosed start tag <", tagName_, tagLength_, ">"); }

    const Byte* failCharacter(const Byte* at, std::uint32_t code) {
        fail(at, "illegal character U+");
        addNumber(code, 16, 4);
        return nullptr;
    }

    const Byte* skipSpace(const Byte* p) const {
        while (p < end_ && is(*p, space)) {
            ++p;
        }
        return p;
    }

    std::size_t matched(const Byte* at, const char* literal) const {
        std::size_t n = 0;
        while (literal[n] != 0 && at + n < end_ && at[n] == static_cast<Byte>(literal[n])) {
            ++n;
        }
        return n;
    }

    // Only control bytes and bytes from 0x80 up stop the scans for a closer look.
    const Byte* character(const Byte* p) {
        if (*p < 0x80) {
            return is(*p, illegal) ? failCharacter(p, *p) : p + 1;
        }
        if (singleByte_) {
            return p + 1;
        }
        char32_t code = 0;
        const int n = decodeUtf8(p, end_, code);
        if (n <= 0) {
            return failBytes(p);
        }
        if (code == 0xFFFE || code == 0xFFFF) {
            return failCharacter(p, code);
        }
        return p + n;
    }

    // -1 tells bytes that are not UTF-8 from a character that merely ends the name (0).
    int nameCharAt(const Byte* p, bool first) const {
        if (p == end_) {
            return 0;
        }
        if (*p < 0x80) {
            return is(*p, first ? nameStart : nameChar) ? 1 : 0;
        }
        if (singleByte_) {
            return 1;
        }
        char32_t code = 0;
        const int n = decodeUtf8(p, end_, code);
        if (n <= 0) {
            return -1;
        }
        return isNameCode(code, first) ? n : 0;
    }

    const Byte* nameRest(const Byte* p) {
        for (;;) {
            while (p < end_ && is(*p, nameChar)) {
                ++p;
            }
            if (p == end_ || *p < 0x80) {
                return p;
            }
            const int n = nameCharAt(p, false);
            if (n < 0) {
                return failBytes(p);
            }
            if (n == 0) {
                return p;
            }
            p += n;
        }
    }

    const Byte* name(const Byte* p, const char* expected) {
        const int n = nameCharAt(p, true);
        if (n <= 0) {
            return n < 0 ? failBytes(p) : fail(p, expected);
        }
        return nameRest(p + n);
    }

    const Byte* document() {
        const Byte* p = begin_;
        if (end_ - p >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
            p += 3;
        }
        text_ = p;
        if (p == end_) {
            return fail(p, "empty document");
        }
        if (end_ - p >= 6 && std::memcmp(p, "<?xml", 5) == 0 && is(p[5], space)) {
            p = declaration(p);
            if (p == nullptr) {
                return nullptr;
            }
        }
        p = misc(p, Place::prolog);
        if (p == nullptr) {
            return nullptr;
        }
        if (p == end_) {
            return fail(p, "no root element");
        }
        p = element(p);
        return p == nullptr ? nullptr : misc(p, Place::epilog);
    }

    const Byte* declarationWord(const Byte* p, const char* word, const char* phrase) {
        const std::size_t n = matched(p, word);
        if (word[n] == 0) {
            return p + n;
        }
        return p + n == end_ ? failEnd("unclosed XML declaration") : fail(p + n, phrase);
    }

    const Byte* declarationEquals(const Byte* p) {
        p = skipSpace(p);
        if (p == end_) {
            return failEnd("unclosed XML declaration");
        }
        if (*p != '=') {
            return fail(p, "expected '='");
        }
        p = skipSpace(p + 1);
        if (p == end_) {
            return failEnd("unclosed XML declaration");
        }
        if (*p != '"' && *p != '\'') {
            return fail(p, "expected a quoted value");
        }
        return p;
    }

    // `fits` sees -1 for the closing quote, so that each value says where it may end.
    template <typename Fits>
    const Byte* declarationValue(const Byte* p, const char* phrase, Fits fits) {
        const Byte quote = *p;
        const Byte* const value = ++p;
        for (;; ++p) {
            if (p == end_) {
                return failEnd("unclosed XML declaration");
            }
            const std::size_t index = static_cast<std::size_t>(p - value);
            if (!fits(index, *p == quote ? -1 : static_cast<int>(*p))) {
                return fail(p, phrase);
            }
            if (*p == quote) {
                return p + 1;
            }
        }
    }

    const Byte* declaration(const Byte* p) {
        p = declarationWord(skipSpace(p + 5), "version", "expected version in the XML declaration");
        p = p == nullptr ? nullptr : declarationEquals(p);
        if (p == nullptr) {
            return nullptr;
        }
        p = declarationValue(p, "invalid XML version", [](std::size_t i, int b) {
            if (i < 2) {
                return b == "1."[i];
            }
            return (b >= '0' && b <= '9') || (b < 0 && i > 2);
        });
        if (p == nullptr) {
            return nullptr;
        }
        bool encodingAllowed = true;
        bool standaloneAllowed = true;
        for (;;) {
            const Byte* const before = p;
            p = skipSpace(p);
            if (p == end_) {
                return failEnd("unclosed XML declaration");
            }
            if (*p == '?') {
                if (p + 1 == end_) {
                    return failEnd("unclosed XML declaration");
                }
                return p[1] == '>' ? p + 2 : fail(p + 1, "expected '?>'");
            }
            if (p == before) {
                return fail(p, "expected '?>'");
            }
            if (encodingAllowed && *p == 'e') {
                p = declarationWord(p, "encoding", "invalid XML declaration");
                p = p == nullptr ? nullptr : declarationEquals(p);
                p = p == nullptr ? nullptr : encoding(p);
            } else if (standaloneAllowed && *p == 's') {
                p = declarationWord(p, "standalone", "invalid XML declaration");
                p = p == nullptr ? nullptr : declarationEquals(p);
                p = p == nullptr ? nullptr : standalone(p);
                standaloneAllowed = false;
            } else {
                return fail(p,
                            *p == 'e' && !standaloneAllowed ? "encoding must come before standalone" : "expected '?>'");
            }
            if (p == nullptr) {
                return nullptr;
            }
            encodingAllowed = false;
        }
    }

    const Byte* encoding(const Byte* quote) {
        const Byte* const value = quote + 1;
        const Byte* const after = declarationValue(quote, "invalid encoding name", [](std::size_t i, int b) {
            const bool letter = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
            if (i == 0) {
                return letter;
            }
            return letter || (b >= '0' && b <= '9') || b == '.' || b == '_' || b == '-' || b < 0;
        });
        if (after == nullptr) {
            return nullptr;
        }
        const std::size_t length = static_cast<std::size_t>(after - 1 - value);
        if (equalsIgnoringCase(value, length, "UTF-8") || equalsIgnoringCase(value, length, "UTF8")) {
            return after;
        }
        for (const char* wide : {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS-2", "UCS2", "UCS-4", "UCS4",
                                 "ISO-10646-UCS-2", "ISO-10646-UCS-4"}) {
            if (startsWithIgnoringCase(value, length, wide)) {
                return failNamed(value, "declared encoding ", value, length, " does not match the 8-bit text");
            }
        }
        singleByte_ = true;
        return after;
    }

    const Byte* standalone(const Byte* quote) {
        const char* const word = quote + 1 < end_ && quote[1] == 'n' ? "no" : "yes";
        const std::size_t length = std::strlen(word);
        return declarationValue(quote, "standalone must be yes or no", [word, length](std::size_t i, int b) {
            return b < 0 ? i == length : i < length && word[i] == b;
        });
    }

    // Before and after the root the same markup is allowed; only what ends it differs.
    const Byte* misc(const Byte* p, Place place) {
        for (;;) {
            p = skipSpace(p);
            if (p == end_) {
                return p;
            }
            if (*p != '<') {
                return fail(p, place == Place::prolog ? "text before the root element" : "text after the root element");
            }
            if (p + 1 == end_) {
                return failEnd(place == Place::prolog ? "no root element" : "unexpected end of document");
            }
            const Byte next = p[1];
            if (next == '?') {
                p = processingInstruction(p);
            } else if (next == '!') {
                p = bang(p, place);
            } else if (place == Place::prolog) {
                return p;
            } else if (next == '/') {
                return fail(p + 1, "end tag after the root element");
            } else {
                return fail(p + 1,
                            nameCharAt(p + 1, true) > 0 ? "more than one root element" : "expected a name after '<'");
            }
            if (p == nullptr) {
                return nullptr;
            }
        }
    }

    // A CDATA section may stand only in content, and a document type only in the prolog.
    const Byte* bang(const Byte* p, Place place) {
        const Byte* const q = p + 2;
        if (q == end_) {
            return failEnd("unexpected end of document");
        }
        const char* literal = nullptr;
        if (*q == '-') {
            literal = "--";
        } else if (*q == '[' && place == Place::content) {
            literal = "[CDATA[";
        } else if (*q == 'D' && place == Place::prolog) {
            literal = "DOCTYPE";
        } else {
            return fail(q, "invalid markup after '<!'");
        }
        const std::size_t n = matched(q, literal);
        if (literal[n] != 0) {
            return q + n == end_ ? failEnd("unexpected end of document") : fail(q + n, "invalid markup after '<!'");
        }
        switch (*q) {
        case '-':
            return comment(q + n);
        case '[':
            return cdata(q + n);
        default:
            return fail(p, "document type declarations are not supported");
        }
    }

    const Byte* comment(const Byte* p) {
        for (;;) {
            p = findStop<'-', '-', '-'>(p, end_);
            if (p == end_) {
                return failEnd("unclosed comment");
            }
            if (*p != '-') {
                p = character(p);
                if (p == nullptr) {
                    return nullptr;
                }
                continue;
            }
            if (end_ - p < 2) {
                return failEnd("unclosed comment");
            }
            if (p[1] != '-') {
                ++p;
                continue;
            }
            if (end_ - p < 3) {
                return failEnd("unclosed comment");
            }
            if (p[2] == '>') {
                return p + 3;
            }
            return fail(p,
                        p[2] == '-' && end_ - p >= 4 && p[3] == '>' ? "comment ending in '--->'" : "'--' in comment");
        }
    }

    const Byte* processingInstruction(const Byte* p) {
        const Byte* const target = p + 2;
        if (target == end_) {
            return failEnd("unclosed processing instruction");
        }
        const Byte* q = name(target, "expected a processing instruction target");
        if (q == nullptr) {
            return nullptr;
        }
        if (q == end_) {
            return failEnd("unclosed processing instruction");
        }
        if (q - target == 3 && equalsIgnoringCase(target, 3, "xml")) {
            if (std::memcmp(target, "xml", 3) == 0 && is(*q, space)) {
                return fail(target, "XML declaration not at the start of the document");
            }
            return failNamed(target, "reserved processing instruction target ", target, 3, "");
        }
        if (*q == '?') {
            if (q + 1 == end_) {
                return failEnd("unclosed processing instruction");
            }
            return q[1] == '>' ? q + 2 : fail(q + 1, "expected '?>'");
        }
        if (!is(*q, space)) {
            return fail(q, "expected white space after the processing instruction target");
        }
        for (++q;;) {
            q = findStop<'?', '?', '?'>(q, end_);
            if (q == end_) {
                return failEnd("unclosed processing instruction");
            }
            if (*q == '?') {
                if (q + 1 < end_ && q[1] == '>') {
                    return q + 2;
                }
                ++q;
            } else if ((q = character(q)) == nullptr) {
                return nullptr;
            }
        }
    }

    const Byte* cdata(const Byte* p) {
        for (;;) {
            p = findStop<']', ']', ']'>(p, end_);
            if (p == end_) {
                return failEnd("unclosed CDATA section");
            }
            if (*p == ']') {
                if (end_ - p >= 3 && p[1] == ']' && p[2] == '>') {
                    return p + 3;
                }
                ++p;
            } else if ((p = character(p)) == nullptr) {
                return nullptr;
            }
        }
    }

    // Open elements are kept in a fixed array instead of a call per level, so depth costs no stack.
    const Byte* element(const Byte* p) {
        p = startTag(p);
        while (p != nullptr && depth_ > 0) {
            p = findStop<'<', '&', ']'>(p, end_);
            if (p == end_) {
                return failOpen(end_, "expected </", ">");
            }
            switch (*p) {
            case '<':
                if (p + 1 == end_) {
                    return failOpen(end_, "expected </", ">");
                }
                if (p[1] == '/') {
                    p = endTag(p);
                } else if (p[1] == '!') {
                    p = bang(p, Place::content);
                } else if (p[1] == '?') {
                    p = processingInstruction(p);
                } else {
                    p = startTag(p);
                }
                break;
            case '&':
                p = reference(p);
                break;
            case ']':
                if (end_ - p >= 3 && p[1] == ']' && p[2] == '>') {
                    return fail(p, "']]>' in character data");
                }
                ++p;
                break;
            default:
                p = character(p);
            }
        }
        return p;
    }

    const Byte* startTag(const Byte* p) {
        const Byte* const tagName = p + 1;
        int n = nameCharAt(tagName, true);
        if (n <= 0) {
            return n < 0 ? failBytes(tagName) : fail(tagName, "expected an element name");
        }
        if (depth_ == xmlMaxDepth) {
            return fail(tagName, "elements nested too deeply");
        }
        const Byte* q = nameRest(tagName + n);
        tagName_ = tagName;
        tagLength_ = q == nullptr ? 0 : static_cast<std::size_t>(q - tagName);
        std::size_t attributes = 0;
        while (q != nullptr) {
            const Byte* const before = q;
            q = skipSpace(q);
            if (q == end_) {
                return failUnclosedTag();
            }
            if (*q == '>') {
                open_[depth_++] = tagName;
                return q + 1;
            }
            if (*q == '/') {
                if (q + 1 == end_) {
                    return failUnclosedTag();
                }
                return q[1] == '>' ? q + 2 : fail(q + 1, "expected '>' after '/'");
            }
            n = nameCharAt(q, true);
            if (n <= 0) {
                return n < 0 ? failBytes(q) : fail(q, "expected an attribute name, '>' or '/>'");
            }
            if (q == before) {
                return fail(q, "white space required between attributes");
            }
            if (attributes == xmlMaxAttributes) {
                fail(q, "more than ");
                addNumber(static_cast<std::uint32_t>(xmlMaxAttributes), 10, 1);
                add(" attributes in one tag");
                return nullptr;
            }
            q = attribute(q, n, attributes);
        }
        return nullptr;
    }

    const Byte* attribute(const Byte* p, int n, std::size_t& count) {
        const Byte* q = nameRest(p + n);
        if (q == nullptr) {
            return nullptr;
        }
        if (q == end_) {
            return failUnclosedTag();
        }
        const std::size_t length = static_cast<std::size_t>(q - p);
        for (std::size_t i = 0; i < count; ++i) {
            if (attributes_[i].length == length && std::memcmp(attributes_[i].name, p, length) == 0) {
                return failNamed(p, "duplicate attribute name \"", p, length, "\"");
            }
        }
        attributes_[count++] = Attribute{p, length};
        q = skipSpace(q);
        if (q < end_ && *q != '=') {
            return fail(q, "expected '=' after the attribute name");
        }
        q = q == end_ ? q : skipSpace(q + 1);
        if (q == end_) {
            return failUnclosedTag();
        }
        if (*q != '"' && *q != '\'') {
            return fail(q, "expected a quoted attribute value");
        }
        const Byte quote = *q++;
        for (;;) {
            q = quote == '"' ? findStop<'<', '&', '"'>(q, end_) : findStop<'<', '&', '\''>(q, end_);
            if (q == end_) {
                return failEnd("unclosed attribute value");
            }
            if (*q == quote) {
                return q + 1;
            }
            if (*q == '<') {
                return fail(q, "'<' in attribute value");
            }
            q = *q == '&' ? reference(q) : character(q);
            if (q == nullptr) {
                return nullptr;
            }
        }
    }

    const Byte* endTag(const Byte* p) {
        const Byte* const tagName = p + 2;
        const Byte* const open = open_[depth_ - 1];
        std::size_t i = 0;
        for (; !endsName(open[i]); ++i) {
            if (tagName + i == end_) {
                return failOpen(end_, "unclosed end tag </", ">");
            }
            if (tagName[i] != open[i]) {
                return failOpen(tagName, "expected </", ">");
            }
        }
        const Byte* q = tagName + i;
        const int n = nameCharAt(q, false);
        if (n < 0) {
            return failBytes(q);
        }
        if (n > 0) {
            return failOpen(tagName, "expected </", ">");
        }
        q = skipSpace(q);
        if (q == end_) {
            return failOpen(end_, "unclosed end tag </", ">");
        }
        if (*q != '>') {
            return fail(q, "expected '>'");
        }
        --depth_;
        return q + 1;
    }

    const Byte* reference(const Byte* p) {
        const Byte* q = p + 1;
        if (q == end_) {
            return failEnd("unclosed reference");
        }
        if (*q != '#') {
            const Byte* const entity = q;
            q = name(q, "expected a name or '#' after '&'");
            if (q == nullptr) {
                return nullptr;
            }
            if (q == end_) {
                return failEnd("unclosed reference");
            }
            if (*q != ';') {
                return fail(q, "expected ';' after the entity name");
            }
            const std::size_t length = static_cast<std::size_t>(q - entity);
            for (const char* known : {"lt", "gt", "amp", "apos", "quot"}) {
                if (std::strlen(known) == length && std::memcmp(known, entity, length) == 0) {
                    return q + 1;
                }
            }
            return failNamed(p, "unknown entity &", entity, length, ";");
        }
        ++q;
        const bool hex = q < end_ && *q == 'x';
        q += hex ? 1 : 0;
        const Byte* const digits = q;
        std::uint32_t value = 0;
        for (; q < end_; ++q) {
            std::uint32_t digit = 16;
            if (*q >= '0' && *q <= '9') {
                digit = *q - '0';
            } else if (hex && lower(*q) >= 'a' && lower(*q) <= 'f') {
                digit = lower(*q) - 'a' + 10;
            }
            if (digit >= (hex ? 16u : 10u)) {
                break;
            }
            // Held at the first value past the last character, so that it never overflows.
            value = value * (hex ? 16 : 10) + digit;
            value = value > 0x10FFFF ? 0x110000 : value;
        }
        if (q == end_) {
            return failEnd("unclosed reference");
        }
        if (q == digits) {
            return fail(q, hex ? "expected a hexadecimal digit" : "expected a digit or 'x'");
        }
        if (*q != ';') {
            return fail(q, "expected ';' after the character reference");
        }
        if (!isXmlChar(value)) {
            return failNamed(p, "illegal character reference ", p, static_cast<std::size_t>(q + 1 - p), "");
        }
        return q + 1;
    }

    const Byte* const begin_;
    const Byte* const end_;
    // Columns do not count the byte order mark.
    const Byte* text_ = nullptr;
    bool singleByte_ = false;
    const Byte* errorAt_ = nullptr;
    std::size_t used_ = 0;
    XmlCheck result_;
    std::size_t depth_ = 0;
    const Byte* tagName_ = nullptr;
    std::size_t tagLength_ = 0;
    // Names are kept as places in the input, so that nothing is copied or allocated.
    const Byte* open_[xmlMaxDepth];
    Attribute attributes_[xmlMaxAttributes];
};

}  // namespace

XmlCheck checkXml(const char* data, std::size_t size) noexcept {
    static const char nothing = 0;
    if (data == nullptr) {
        data = &nothing;
        size = 0;
    }
    Checker checker(reinterpret_cast<const unsigned char*>(data), size);
    return checker.run();
}
