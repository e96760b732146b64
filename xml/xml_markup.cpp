// The pieces of markup besides tags: references, comments, CDATA sections and
// processing instructions, and what follows a '<!'.
#include <cstring>

#include "xml/xml_checker.h"

namespace xmlcheck {

// A CDATA section may stand only in content, and a document type only in the prolog.
const Byte* Checker::bang(const Byte* p, Place place) {
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

const Byte* Checker::comment(const Byte* p) {
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

const Byte* Checker::processingInstruction(const Byte* p) {
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

const Byte* Checker::cdata(const Byte* p) {
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

const Byte* Checker::reference(const Byte* p) {
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

}  // namespace xmlcheck
