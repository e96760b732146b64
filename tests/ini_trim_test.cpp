#include <gtest/gtest.h>

#include <string>

#include "ini/ini.h"

using namespace std::string_literals;

namespace {

std::string trimmed(std::string text) {
    ini::trim(text);
    return text;
}

}  // namespace

TEST(IniTrim, RemovesTheSixWhitespaceCharactersFromBothEndsOnly) {
    EXPECT_EQ(trimmed(" \t\n\r\f\vReload  Key\v\f\r\n\t "), "Reload  Key");
    EXPECT_EQ(trimmed("\tx"), "x");
    EXPECT_EQ(trimmed("x\v"), "x");
    EXPECT_EQ(trimmed("a b"), "a b");
}

TEST(IniTrim, TextOfOnlyWhitespaceBecomesEmpty) {
    EXPECT_EQ(trimmed(" \t\n\r\f\v"), "");
    EXPECT_EQ(trimmed(""), "");
}

TEST(IniTrim, OtherControlAndHighBytesAreKept) {
    // NUL, the file/group/record/unit separators, DEL, NEL and no-break space.
    for (const char byte : "\0\x1C\x1D\x1E\x1F\x7F\x85\xA0"s) {
        const std::string text = byte + "x"s + byte;
        EXPECT_EQ(trimmed(text), text) << "byte " << static_cast<int>(static_cast<unsigned char>(byte));
    }
}
