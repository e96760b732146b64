#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "host/utf16.h"
#include "host/utf8.h"

namespace {

TEST(Utf8Characters, StrictUtf8IsReadAndEveryOtherSequenceFormsNoCharacter) {
    struct Case {
        const char* what;
        std::string bytes;
        std::uint32_t codePoint;  // when `length` is not 0
        std::size_t length;
        std::size_t lengthWithSurrogates;
    };
    const Case cases[] = {
        {"ASCII", "A", 'A', 1, 1},
        {"two bytes", "\xC3\xA9", 0xE9, 2, 2},
        {"three bytes", "\xE2\x98\x85", 0x2605, 3, 3},
        {"four bytes", "\xF0\x9F\x8C\xB2", 0x1F332, 4, 4},
        {"the last code point", "\xF4\x8F\xBF\xBF", 0x10FFFF, 4, 4},
        {"past the last code point", "\xF4\x90\x80\x80", 0, 0, 0},
        {"overlong slash", "\xC0\xAF", 0, 0, 0},
        {"overlong three bytes", "\xE0\x80\xAF", 0, 0, 0},
        {"a surrogate half", "\xED\xA0\x80", 0xD800, 0, 3},
        {"a continuation byte alone", "\x80", 0, 0, 0},
        {"cut short", "\xE2\x98", 0, 0, 0},
        {"a lead byte before ASCII", "\xC3" "A", 0, 0, 0},
        {"a byte no UTF-8 holds", "\xFF", 0, 0, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const Utf8Char strict = readUtf8(test.bytes.data(), test.bytes.size());
        EXPECT_EQ(strict.length, test.length);
        EXPECT_EQ(readUtf8(test.bytes.data(), test.bytes.size(), true).length, test.lengthWithSurrogates);
        if (test.lengthWithSurrogates != 0) {
            EXPECT_EQ(readUtf8(test.bytes.data(), test.bytes.size(), true).codePoint, test.codePoint);
        }
        EXPECT_EQ(isUtf8(test.bytes), test.length == test.bytes.size());
    }
    EXPECT_EQ(utf16Units("a\xC3\xA9\xE2\x98\x85\xF0\x9F\x8C\xB2"), 5u);
}

TEST(Utf8Characters, ACutAtEveryLimitEndsBetweenCharactersAndKeepsAllThatFits) {
    // Characters of one to four bytes, and a stray byte, which counts as one.
    const std::string text = "a\xC3\xA9\xE2\x98\x85\xF0\x9F\x8C\xB2\x80z\xD0\x9C";
    const std::size_t boundaries[] = {0, 1, 3, 6, 10, 11, 12, 14};
    for (std::size_t limit = 0; limit <= text.size() + 1; ++limit) {
        SCOPED_TRACE(limit);
        std::size_t expected = 0;
        for (const std::size_t boundary : boundaries) {
            expected = boundary <= limit ? boundary : expected;
        }
        EXPECT_EQ(cutBetweenCharacters(text, limit), expected);
    }
}

TEST(Utf16Text, EveryCharacterAndALoneSurrogateHalfComeBackAsTheyWent) {
    struct Case {
        const char* what;
        std::string text;
        std::u16string wide;
    };
    const Case cases[] = {
        {"Cyrillic and a star", "\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85", u"\u041C\u043E\u0434 \u2605"},
        {"CJK and beyond the basic plane", "\xE6\xA3\xAE\xF0\x9F\x8C\xB2", u"\u68EE\U0001F332"},
        {"a lone half, as a Windows file name may hold", "a\xED\xB0\x80" "b", std::u16string{u'a', 0xDC00, u'b'}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        EXPECT_EQ(widen<char16_t>(test.text), test.wide);
        EXPECT_EQ(narrow(test.wide), test.text);
    }
    // A byte that forms no character goes to Windows as the replacement character.
    EXPECT_EQ(widen<char16_t>("\xFF" "a"), std::u16string(u"\uFFFDa"));
}

}  // namespace
