// Reading the signature text.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "locate/signature_scan.h"
#include "tests/plugin_fixture.h"

namespace {

Pattern signaturePattern() { return Pattern(signatureBytes.begin(), signatureBytes.end()); }

TEST(SignatureText, ReloadSignatureParsesToIts34Bytes) {
    const Pattern pattern = parsePattern(reloadSignature);
    ASSERT_EQ(pattern.size(), 34u);
    EXPECT_EQ(pattern.front(), 0x48);
    EXPECT_EQ(pattern.back(), 0xD9);
    EXPECT_EQ(pattern, signaturePattern());
    EXPECT_EQ(std::strlen(reloadSignature), 101u);
}

TEST(SignatureText, QuestionMarksAreWildcards) {
    EXPECT_EQ(parsePattern("?"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("??"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("48 ? 5C ?? 24"), (Pattern{0x48, -1, 0x5C, -1, 0x24}));
    EXPECT_EQ(parsePattern("? ? ?"), (Pattern{-1, -1, -1}));
}

TEST(SignatureText, DoubleQuestionMarkSkipsBothMarksAndOneSeparator) {
    // "??" then a third "?" taken as the separator, then "?".
    EXPECT_EQ(parsePattern("????"), (Pattern{-1, -1}));
    EXPECT_EQ(parsePattern("???"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("??x48"), (Pattern{-1, 0x48}));
    // A single "?" is followed by one separator, whatever it is.
    EXPECT_EQ(parsePattern("?A 48"), (Pattern{-1, 0x48}));
}

TEST(SignatureText, WhiteSpaceIsNotSkippedBeforeAQuestionMark) {
    // The blank is read as a number with no digits (0), then "?" follows it.
    EXPECT_EQ(parsePattern(" ?"), (Pattern{0, -1}));
}

TEST(SignatureText, AllOnesIsAWildcard) {
    EXPECT_EQ(parsePattern("FFFFFFFF"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("ffffffff"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("-1"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("0xFFFFFFFF"), (Pattern{-1}));
}

TEST(SignatureText, NumberTooLargeFor32BitsSaturatesToAWildcard) {
    EXPECT_EQ(parsePattern("100000000"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("123456789ABCDEF0123"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("-100000000"), (Pattern{-1}));
    EXPECT_EQ(parsePattern("100000000 48"), (Pattern{-1, 0x48}));
}

TEST(SignatureText, OtherValuesAreTakenAs32BitSignedNumbers) {
    EXPECT_EQ(parsePattern("100"), (Pattern{0x100}));
    EXPECT_EQ(parsePattern("4889"), (Pattern{0x4889}));
    EXPECT_EQ(parsePattern("FFFFFFFE"), (Pattern{-2}));
    EXPECT_EQ(parsePattern("-2"), (Pattern{-2}));
    EXPECT_EQ(parsePattern("7FFFFFFF 80000000"), (Pattern{0x7FFFFFFF, INT32_MIN}));
    EXPECT_EQ(parsePattern("+5c"), (Pattern{0x5C}));
}

TEST(SignatureText, TokensAreReadLikeStrtoulInBase16) {
    EXPECT_EQ(parsePattern("0x48 0X89"), (Pattern{0x48, 0x89}));
    EXPECT_EQ(parsePattern("ab cD Ef"), (Pattern{0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(parsePattern("  48"), (Pattern{0x48}));
    EXPECT_EQ(parsePattern("48  \t89"), (Pattern{0x48, 0x89}));
    EXPECT_EQ(parsePattern("48,89;5C"), (Pattern{0x48, 0x89, 0x5C}));
    EXPECT_EQ(parsePattern("48 "), (Pattern{0x48}));
}

TEST(SignatureText, TokenWithoutDigitsReadsAsZeroAndAdvancesOneCharacter) {
    EXPECT_EQ(parsePattern("GG"), (Pattern{0, 0}));
    // "0x" with no hexadecimal digit after it is the number 0 followed by "x".
    EXPECT_EQ(parsePattern("0x"), (Pattern{0}));
    EXPECT_EQ(parsePattern("0xZZ"), (Pattern{0, 0, 0}));
    EXPECT_EQ(parsePattern("-"), (Pattern{0}));
}

TEST(SignatureText, EmptyTextGivesAnEmptyPattern) { EXPECT_TRUE(parsePattern("").empty()); }

}  // namespace
