// Bytes as characters: UTF-8 sequences, XML Chars and the characters of names.
#include <cstring>

#include "xml/xml_checker.h"

namespace xmlcheck {

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

bool isNameCode(char32_t c, bool first) {
    if (!first && (c == 0xB7 || (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040))) {
        return true;
    }
    return (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
           (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) || (c >= 0x3001 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFDCF) || (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool isXmlChar(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

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

// A sequence cut off by the end means the document ended early, not that its first byte is wrong.
const Byte* Checker::failBytes(const Byte* p) {
    char32_t code = 0;
    return decodeUtf8(p, end_, code) < 0 ? failEnd("document ends inside a UTF-8 sequence")
                                         : fail(p, "invalid UTF-8");
}

const Byte* Checker::failCharacter(const Byte* at, std::uint32_t code) {
    fail(at, "illegal character U+");
    addNumber(code, 16, 4);
    return nullptr;
}

const Byte* Checker::name(const Byte* p, const char* expected) {
    const int n = nameCharAt(p, true);
    if (n <= 0) {
        return n < 0 ? failBytes(p) : fail(p, expected);
    }
    return nameRest(p + n);
}

}  // namespace xmlcheck
