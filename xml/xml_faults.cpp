// What a fault is called and where it is: the phrase of XmlCheck::what and the byte it names.
#include "xml/xml_checker.h"

namespace xmlcheck {

namespace {

constexpr std::size_t shownNameLength = 40;

}  // namespace

// Every piece is cut so that `what` always ends in a NUL.
void Checker::add(const char* text) {
    for (; *text != 0 && used_ + 1 < sizeof result_.what; ++text) {
        result_.what[used_++] = *text;
    }
    result_.what[used_] = 0;
}

void Checker::addName(const Byte* name, std::size_t length) {
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

void Checker::addNumber(std::uint32_t value, unsigned base, int digits) {
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

const Byte* Checker::fail(const Byte* at, const char* phrase) {
    errorAt_ = at;
    used_ = 0;
    add(phrase);
    return nullptr;
}

const Byte* Checker::failNamed(const Byte* at, const char* before, const Byte* name, std::size_t length,
                               const char* after) {
    fail(at, before);
    addName(name, length);
    add(after);
    return nullptr;
}

const Byte* Checker::failEnd(const char* phrase) { return fail(end_, phrase); }

std::size_t Checker::openNameLength(const Byte* name) const {
    std::size_t n = 0;
    while (!endsName(name[n])) {
        ++n;
    }
    return n;
}

const Byte* Checker::failOpen(const Byte* at, const char* before, const char* after) {
    const Byte* const name = open_[depth_ - 1];
    return failNamed(at, before, name, openNameLength(name), after);
}

const Byte* Checker::failUnclosedTag() { return failNamed(end_, "unclosed start tag <", tagName_, tagLength_, ">"); }

}  // namespace xmlcheck
