// The checker behind the XML check (xml/xml_check.h), shared by its source files
// only; no other room includes this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xml/xml_chars.h"
#include "xml/xml_check.h"

namespace xmlcheck {

// Walks one document once. Each step takes the place of its first byte and returns
// the place just past what it read, or null after a fault, whose place and phrase
// it has recorded for run().
class Checker {
public:
    Checker(const Byte* data, std::size_t size) : begin_(data), end_(data + size) {}

    // The verdict on the whole document, with the fault's line and column.
    XmlCheck run();

private:
    enum class Place { prolog, content, epilog };

    struct Attribute {
        const Byte* name;
        std::size_t length;
    };

    // The phrase and place of a fault (xml_faults.cpp).
    void add(const char* text);
    void addName(const Byte* name, std::size_t length);
    void addNumber(std::uint32_t value, unsigned base, int digits);
    const Byte* fail(const Byte* at, const char* phrase = "");
    const Byte* failNamed(const Byte* at, const char* before, const Byte* name, std::size_t length, const char* after);
    const Byte* failEnd(const char* phrase);
    std::size_t openNameLength(const Byte* name) const;
    const Byte* failOpen(const Byte* at, const char* before, const char* after);
    const Byte* failUnclosedTag();

    // Characters and names (xml_chars.cpp).
    const Byte* failBytes(const Byte* p);
    const Byte* failCharacter(const Byte* at, std::uint32_t code);
    const Byte* name(const Byte* p, const char* expected);
    // ... and those taken at every character (below the class).
    inline const Byte* character(const Byte* p);
    inline int nameCharAt(const Byte* p, bool first) const;
    inline const Byte* nameRest(const Byte* p);

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

    // The prolog and the epilog (xml_document.cpp).
    const Byte* document();
    const Byte* declarationWord(const Byte* p, const char* word, const char* phrase);
    const Byte* declarationEquals(const Byte* p);
    template <typename Fits>
    const Byte* declarationValue(const Byte* p, const char* phrase, Fits fits);
    const Byte* declaration(const Byte* p);
    const Byte* encoding(const Byte* quote);
    const Byte* standalone(const Byte* quote);
    const Byte* misc(const Byte* p, Place place);

    // The root element (xml_elements.cpp). Only the content loop there calls the tags,
    // and it takes them in, since a call per tag or attribute slows the check down.
    const Byte* element(const Byte* p);
    inline const Byte* startTag(const Byte* p);
    [[gnu::always_inline]] inline const Byte* attribute(const Byte* p, int n, std::size_t& count);
    inline const Byte* endTag(const Byte* p);

    // Other markup (xml_markup.cpp).
    const Byte* bang(const Byte* p, Place place);
    const Byte* comment(const Byte* p);
    const Byte* processingInstruction(const Byte* p);
    const Byte* cdata(const Byte* p);
    const Byte* reference(const Byte* p);

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
    // Names are kept as places in the input, so that nothing is copied or allocated;
    // static, so that they take none of the script fiber's stack: one check runs at a time.
    static const Byte* open_[xmlMaxDepth];
    static Attribute attributes_[xmlMaxAttributes];
};

// The steps taken at every character are here, so that each file's scans inline them.

// Only control bytes and bytes from 0x80 up stop the scans for a closer look.
inline const Byte* Checker::character(const Byte* p) {
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
inline int Checker::nameCharAt(const Byte* p, bool first) const {
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

inline const Byte* Checker::nameRest(const Byte* p) {
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

}  // namespace xmlcheck
