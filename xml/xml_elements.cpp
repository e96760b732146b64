// The root element: the content between its tags, start tags with their attributes,
// end tags, and the open elements they are matched against.
#include <cstring>

#include "xml/xml_checker.h"

namespace xmlcheck {

const Byte* Checker::open_[xmlMaxDepth];
Checker::Attribute Checker::attributes_[xmlMaxAttributes];

// Open elements are kept in a fixed array instead of a call per level, so depth costs no stack.
const Byte* Checker::element(const Byte* p) {
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

const Byte* Checker::startTag(const Byte* p) {
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

const Byte* Checker::attribute(const Byte* p, int n, std::size_t& count) {
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

const Byte* Checker::endTag(const Byte* p) {
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

}  // namespace xmlcheck
