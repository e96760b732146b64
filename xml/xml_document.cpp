// The walk through one document: the prolog with its XML declaration, the root element,
// the epilog; and the place of a fault as line and column.
#include <cstring>

#include "xml/xml_checker.h"

namespace xmlcheck {

XmlCheck Checker::run() {
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

const Byte* Checker::document() {
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

const Byte* Checker::declarationWord(const Byte* p, const char* word, const char* phrase) {
    const std::size_t n = matched(p, word);
    if (word[n] == 0) {
        return p + n;
    }
    return p + n == end_ ? failEnd("unclosed XML declaration") : fail(p + n, phrase);
}

const Byte* Checker::declarationEquals(const Byte* p) {
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
const Byte* Checker::declarationValue(const Byte* p, const char* phrase, Fits fits) {
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

const Byte* Checker::declaration(const Byte* p) {
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
            return fail(p, *p == 'e' && !standaloneAllowed ? "encoding must come before standalone" : "expected '?>'");
        }
        if (p == nullptr) {
            return nullptr;
        }
        encodingAllowed = false;
    }
}

const Byte* Checker::encoding(const Byte* quote) {
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

const Byte* Checker::standalone(const Byte* quote) {
    const char* const word = quote + 1 < end_ && quote[1] == 'n' ? "no" : "yes";
    const std::size_t length = std::strlen(word);
    return declarationValue(quote, "standalone must be yes or no", [word, length](std::size_t i, int b) {
        return b < 0 ? i == length : i < length && word[i] == b;
    });
}

// Before and after the root the same markup is allowed; only what ends it differs.
const Byte* Checker::misc(const Byte* p, Place place) {
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

}  // namespace xmlcheck

XmlCheck checkXml(const char* data, std::size_t size) noexcept {
    static const char nothing = 0;
    if (data == nullptr) {
        data = &nothing;
        size = 0;
    }
    xmlcheck::Checker checker(reinterpret_cast<const unsigned char*>(data), size);
    return checker.run();
}
