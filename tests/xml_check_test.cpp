// The well-formedness check of the modifier data files: verdict, place and phrase
// for small documents and the fixture files, each verdict compared with libxml2's.
#include "xml/xml_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/xml_oracle.h"

using namespace std::string_literals;

static_assert(noexcept(checkXml(nullptr, 0)), "the check throws nothing");

namespace {

XmlCheck check(std::string_view document) { return checkXml(document.data(), document.size()); }

// A document and its verdict: well-formed when `what` is null, else the phrase and place.
struct Case {
    std::string document;
    const char* what = nullptr;
    std::size_t column = 0;
    std::size_t line = 1;
};

std::string shown(std::string_view document) {
    std::string text;
    for (const char c : document.substr(0, 120)) {
        const auto b = static_cast<unsigned char>(c);
        text += b >= 0x20 && b < 0x7F
                    ? std::string(1, c)
                    : "\\x" + std::string(1, "0123456789ABCDEF"[b >> 4]) + std::string(1, "0123456789ABCDEF"[b & 15]);
    }
    return text;
}

std::string placeOf(const XmlCheck& result) {
    return std::to_string(result.line) + ":" + std::to_string(result.column) + " \"" + result.what + "\"";
}

// checkXml gives the case's verdict, place and phrase; libxml2 gives the same verdict.
void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.document));
        const XmlCheck result = check(c.document);
        if (c.what == nullptr) {
            EXPECT_TRUE(result.wellFormed) << placeOf(result);
        } else {
            EXPECT_FALSE(result.wellFormed);
            EXPECT_STREQ(result.what, c.what);
            EXPECT_EQ(result.line, c.line);
            EXPECT_EQ(result.column, c.column);
        }
        EXPECT_EQ(oracle::libxml2(c.document).wellFormed, c.what == nullptr) << "libxml2's verdict differs";
    }
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

// `count` attributes n0='' n1='' ..., each after a space.
std::string attributeList(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += " n" + std::to_string(i) + "=''";
    }
    return text;
}

std::string readFixture(const std::string& name) {
    std::ifstream in(std::string(FIXTURES_DIR) + "/xml/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(XmlCheck, WrongEndTagIsReportedAtItsName) {
    expectCases({
        {"<a></b>", "expected </a>", 6},
        {"<a></ab>", "expected </a>", 6},
        {"<ab></a>", "expected </ab>", 7},
        {"<a><b></a></b>", "expected </b>", 9},
        {"<a></ a>", "expected </a>", 6},
        {"<a></>", "expected </a>", 6},
    });
}

TEST(XmlCheck, TagsAndAttributesFollowTheGrammar) {
    expectCases({
        {"<a/>"},
        {"<a  x = '1'\ty=\"2\"\n/>"},
        {"<a:b x:y='\"' y:x=\"'\"></a:b \n>"},
        {"<_.-9 b=''/>"},
        {"<a x='1' x=\"2\"/>", "duplicate attribute name \"x\"", 10},
        {"<a x='1'y='2'/>", "white space required between attributes", 9},
        {"<a x/>", "expected '=' after the attribute name", 5},
        {"<a x=1/>", "expected a quoted attribute value", 6},
        {"<a x='<'/>", "'<' in attribute value", 7},
        {"<a/ >", "expected '>' after '/'", 4},
        {"< a/>", "expected an element name", 2},
        {"<1a/>", "expected an element name", 2},
        {"<a></a b>", "expected '>'", 8},
        {"<a =''/>", "expected an attribute name, '>' or '/>'", 4},
    });
}

TEST(XmlCheck, OnlyPredefinedEntitiesAndCharacterReferencesToXmlCharacters) {
    expectCases({
        {"<a b='&lt;&gt;&amp;&apos;&quot;&#60;&#x3c;'>&#9;&#xD;&#x10FFFF;&#0000065;&#xE000;</a>"},
        {"<a>&foo;</a>", "unknown entity &foo;", 4},
        {"<a x='&nbsp;'/>", "unknown entity &nbsp;", 7},
        {"<a>&lt</a>", "expected ';' after the entity name", 7},
        {"<a>& </a>", "expected a name or '#' after '&'", 5},
        {"<a>&#0;</a>", "illegal character reference &#0;", 4},
        {"<a>&#x1F;</a>", "illegal character reference &#x1F;", 4},
        {"<a>&#xD800;</a>", "illegal character reference &#xD800;", 4},
        {"<a>&#xFFFE;</a>", "illegal character reference &#xFFFE;", 4},
        {"<a>&#x110000;</a>", "illegal character reference &#x110000;", 4},
        {"<a>&#99999999999999999999;</a>", "illegal character reference &#99999999999999999999;", 4},
        {"<a>&#X41;</a>", "expected a digit or 'x'", 6},
        {"<a>&#x;</a>", "expected a hexadecimal digit", 7},
        {"<a>&#12a;</a>", "expected ';' after the character reference", 8},
    });
}

TEST(XmlCheck, CommentsProcessingInstructionsAndCdataSections) {
    expectCases({
        {"<!-- a - b --><?p?><a><!----><?q  x ? y?><![CDATA[<&]]]]></a><!--c--><?r s?>"},
        {"<?xml-stylesheet href='s'?><a><?xmlfoo?><![CDATA[]]></a>"},
        {"<a>]] ]>]</a>"},
        {"<a><!-- -- --></a>", "'--' in comment", 9},
        {"<a><!-- x ---></a>", "comment ending in '--->'", 11},
        {"<a><!-- x </a>", "unclosed comment", 15},
        {"<!-x--><a/>", "invalid markup after '<!'", 4},
        {"<![CDATA[x]]><a/>", "invalid markup after '<!'", 3},
        {"<a><![CDAT[x]]></a>", "invalid markup after '<!'", 11},
        {"<a><![CDATA[x</a>", "unclosed CDATA section", 18},
        {"<a><?xml x?></a>", "XML declaration not at the start of the document", 6},
        {"<a><?XmL?></a>", "reserved processing instruction target XmL", 6},
        {"<a><? p?></a>", "expected a processing instruction target", 6},
        {"<a><?p\"?></a>", "expected white space after the processing instruction target", 7},
        {"<a><?p?x?></a>", "expected '?>'", 8},
        {"<a>]]></a>", "']]>' in character data", 4},
        {"<a>]]]></a>", "']]>' in character data", 5},
    });
}

TEST(XmlCheck, DeclarationAndByteOrderMarkOnlyAtTheStart) {
    expectCases({
        {"<?xml version='1.0'?><a/>"},
        {"<?xml version=\"1.10\" encoding='utf-8' standalone='no' ?>\n<a/>"},
        {"\xEF\xBB\xBF<?xml\tversion = '1.0'\r\nencoding='UTF8'?><a/>"},
        {"\xEF\xBB\xBF<a/>"},
        {" <?xml version='1.0'?><a/>", "XML declaration not at the start of the document", 4},
        {"\xEF\xBB\xBF\xEF\xBB\xBF<a/>", "text before the root element", 1},
        {"<?xml encoding='UTF-8'?><a/>", "expected version in the XML declaration", 7},
        {"<?xml version='2.0'?><a/>", "invalid XML version", 16},
        {"<?xml version='1.0\"?><a/>", "invalid XML version", 19},
        {"<?xml version='1.0'encoding='UTF-8'?><a/>", "expected '?>'", 20},
        {"<?xml version='1.0' version='1.0'?><a/>", "expected '?>'", 21},
        {"<?xml version='1.0' encoding='8bit'?><a/>", "invalid encoding name", 31},
        {"<?xml version='1.0' standalone='maybe'?><a/>", "standalone must be yes or no", 33},
        {"<?xml version='1.0' standalone='yes' encoding='UTF-8'?><a/>", "encoding must come before standalone", 38},
        {"<?xml version='1.0' ?x><a/>", "expected '?>'", 22},
        {"<?xml?><a/>", "reserved processing instruction target xml", 3},
        {"<?xml version='1.0' encoding='UTF-16LE'?><a/>", "declared encoding UTF-16LE does not match the 8-bit text",
         31},
    });
}

TEST(XmlCheck, TextIsUtf8MadeOfXmlCharacters) {
    expectCases({
        {"<a>\t\r\n\x7F\xC2\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF</a>"},
        {"<\xC3\xA9l\xC3\xA8ve x\xC2\xB7y='1' \xE2\x82\xAC\xCC\x80=''/>"},
        {"<a>\x01</a>", "illegal character U+0001", 4},
        {"<a>\0</a>"s, "illegal character U+0000", 4},
        {"<a x='\x1F'/>", "illegal character U+001F", 7},
        {"<a>\xEF\xBF\xBF</a>", "illegal character U+FFFF", 4},
        {"<!-- \x01 --><a/>", "illegal character U+0001", 6},
        {"<a><?p \x0B?></a>", "illegal character U+000B", 8},
        {"<a>\xC3\x28</a>", "invalid UTF-8", 4},
        {"<a>\xC0\x80</a>", "invalid UTF-8", 4},
        {"<a>\xE0\x80\x80</a>", "invalid UTF-8", 4},
        {"<a>\xED\xA0\x80</a>", "invalid UTF-8", 4},
        {"<a>\xF4\x90\x80\x80</a>", "invalid UTF-8", 4},
        {"<a>\xF8\x88\x80\x80\x80</a>", "invalid UTF-8", 4},
        {"<a>\x80</a>", "invalid UTF-8", 4},
        {"<a><![CDATA[\xFF]]></a>", "invalid UTF-8", 13},
        {"<a\xC3/>", "invalid UTF-8", 3},
        {"<\xC2\xB7/>", "expected an element name", 2},
        {"<a>\xE2\x82", "document ends inside a UTF-8 sequence", 6},
    });
}

TEST(XmlCheck, OneRootElementWithOnlyCommentsProcessingInstructionsAndSpaceAround) {
    expectCases({
        {"\n <!--x--> <?p?>\r\n<a/>\t<!--y--><?q?>\n"},
        {"", "empty document", 1},
        {"\xEF\xBB\xBF", "empty document", 1},
        {" \n", "no root element", 1, 2},
        {"<!--x-->", "no root element", 9},
        {"x<a/>", "text before the root element", 1},
        {"<a/>x", "text after the root element", 5},
        {"<a/>&amp;", "text after the root element", 5},
        {"<a/><b/>", "more than one root element", 6},
        {"<a/></a>", "end tag after the root element", 6},
        {"<a/><!x>", "invalid markup after '<!'", 7},
        {"<a/><![CDATA[x]]>", "invalid markup after '<!'", 7},
        {"<a/>< b/>", "expected a name after '<'", 6},
    });
}

TEST(XmlCheck, DocumentThatEndsEarlyIsReportedJustPastItsLastByte) {
    expectCases({
        {"<", "no root element", 2},
        {"<a>", "expected </a>", 4},
        {"<a><b>text", "expected </b>", 11},
        {"<a><", "expected </a>", 5},
        {"<a", "unclosed start tag <a>", 3},
        {"<a/", "unclosed start tag <a>", 4},
        {"<a x", "unclosed start tag <a>", 5},
        {"<a x='1'", "unclosed start tag <a>", 9},
        {"<a x='1", "unclosed attribute value", 8},
        {"<ab></a", "unclosed end tag </ab>", 8},
        {"<a></a", "unclosed end tag </a>", 7},
        {"<a>&am", "unclosed reference", 7},
        {"<a>&#6", "unclosed reference", 7},
        {"<a><!-", "unexpected end of document", 7},
        {"<a/><", "unexpected end of document", 6},
        {"<?p", "unclosed processing instruction", 4},
        {"<?xml version='1.0'", "unclosed XML declaration", 20},
    });
}

TEST(XmlCheck, LinesEndAtLfCrLfAndLoneCrAndColumnsSkipTheByteOrderMark) {
    expectCases({
        {"<a>\n</b>", "expected </a>", 3, 2},
        {"<a>\r\n</b>", "expected </a>", 3, 2},
        {"<a>\r</b>", "expected </a>", 3, 2},
        {"<a>\n\r\n\r</b>", "expected </a>", 3, 4},
        {"<a>\r\r\n\n</b>", "expected </a>", 3, 4},
        {"<a\r", "unclosed start tag <a>", 1, 2},
        {"<a\r\n", "unclosed start tag <a>", 1, 2},
        {"\xEF\xBB\xBF<a></b>", "expected </a>", 6},
    });
    // The LF of a CR LF stays on the line of its CR.
    const XmlCheck result = check("<a>\r\n\0</a>"s);
    EXPECT_EQ(placeOf(result), "2:1 \"illegal character U+0000\"");
    EXPECT_EQ(result.offset, 5u);
}

TEST(XmlCheck, DeclaredSingleByteEncodingTakesEveryHighByteAsACharacter) {
    expectCases({
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a\xE9>\xE0\xFF\x80</a\xE9>"},
        {"\xEF\xBB\xBF<?xml version='1.0' encoding='windows-1252'?><a x='\x80\xE9'>\x99</a>"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a>\x01</a>", "illegal character U+0001", 47},
        // Its bytes are not UTF-8, so the phrase shows them as '?'.
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a\xE9></b>", "expected </a?>", 50},
    });
}

TEST(XmlCheck, NestingDeeperThanTheLimitIsRefusedAtTheNameOneLevelTooDeep) {
    const std::string deepest = repeat("<a>", xmlMaxDepth) + repeat("</a>", xmlMaxDepth);
    const std::string tooDeep = repeat("<a>", xmlMaxDepth + 1) + repeat("</a>", xmlMaxDepth + 1);
    expectCases({
        {deepest},
        {"<b>" + repeat("<a>", xmlMaxDepth - 1) + repeat("</a>", xmlMaxDepth - 1) + "</a>", "expected </b>",
         3 * xmlMaxDepth + 4 * (xmlMaxDepth - 1) + 3},
    });
    EXPECT_EQ(placeOf(check(tooDeep)), "1:" + std::to_string(3 * xmlMaxDepth + 2) + " \"elements nested too deeply\"");
}

TEST(XmlCheck, TagWithMoreAttributesThanTheLimitIsRefusedAtTheNameOneTooMany) {
    const std::string attributes = attributeList(xmlMaxAttributes);
    const std::size_t lastColumn = 3 + attributes.rfind(" n") + 1;
    expectCases({
        {"<a" + attributes + "/>"},
        {"<a" + attributes.substr(0, attributes.rfind(" n")) + " n0=''/>", "duplicate attribute name \"n0\"",
         lastColumn},
    });
    EXPECT_EQ(placeOf(check("<a" + attributes + " x=''/>")),
              "1:" + std::to_string(4 + attributes.size()) + " \"more than 256 attributes in one tag\"");
}

TEST(XmlCheck, LongNamesAreCutInThePhraseWithoutSplittingACharacter) {
    const std::string ascii(100, 'n');
    EXPECT_STREQ(check("<" + ascii + "></x>").what, ("expected </" + ascii.substr(0, 37) + "...>").c_str());
    const std::string accented = repeat("\xC3\xA9", 50);
    EXPECT_STREQ(check("<" + accented + "></x>").what, ("expected </" + accented.substr(0, 36) + "...>").c_str());
    EXPECT_STREQ(check("<a>&#" + std::string(200, '9') + ";</a>").what,
                 ("illegal character reference &#" + std::string(35, '9') + "...").c_str());
}

struct Fixture {
    const char* file;
    const char* what;  // null for a well-formed file
    std::size_t line;
    std::size_t column;
};

const std::vector<Fixture> fixtures = {
    {"well_formed_vegetation.meta", nullptr, 0, 0},
    {"bom_and_declaration.meta", nullptr, 0, 0},
    {"cdata_and_pi.meta", nullptr, 0, 0},
    {"latin1_declaration.meta", nullptr, 0, 0},
    {"unclosed_tag.meta", "expected an attribute name, '>' or '/>'", 10, 7},
    {"truncated_file.meta", "expected </CVegetationModifiers>", 19, 1},
    {"bad_entity.meta", "unknown entity &nbsp;", 16, 40},
    {"wrong_end_tag.meta", "expected </Name>", 14, 28},
    {"duplicate_attribute.meta", "duplicate attribute name \"x\"", 8, 43},
    {"doctype.meta", "document type declarations are not supported", 2, 1},
    {"crlf_lines.meta", "expected </Flags>", 11, 44},
    {"lone_cr_lines.meta", "duplicate attribute name \"min\"", 15, 36},
    {"missing_quote.meta", "'<' in attribute value", 10, 7},
    {"text_after_root.meta", "text after the root element", 20, 1},
    {"second_root.meta", "more than one root element", 20, 2},
    {"double_hyphen_comment.meta", "'--' in comment", 2, 21},
    {"comment_ending_in_three_hyphens.meta", "comment ending in '--->'", 2, 42},
    {"illegal_character_reference.meta", "illegal character reference &#x1B;", 16, 27},
    {"latin1_without_declaration.meta", "invalid UTF-8", 16, 14},
    {"declaration_after_blank_line.meta", "XML declaration not at the start of the document", 2, 3},
    {"utf16_declaration.meta", "declared encoding UTF-16 does not match the 8-bit text", 1, 31},
    {"empty.meta", "empty document", 1, 1},
};

TEST(XmlCheck, FixtureFilesGiveTheirPlaceAndPhraseAndLibxml2sVerdict) {
    for (const Fixture& fixture : fixtures) {
        SCOPED_TRACE(fixture.file);
        const std::string document = readFixture(fixture.file);
        const XmlCheck result = check(document);
        EXPECT_EQ(result.wellFormed, fixture.what == nullptr);
        EXPECT_STREQ(result.what, fixture.what == nullptr ? "" : fixture.what);
        EXPECT_EQ(result.line, fixture.line);
        EXPECT_EQ(result.column, fixture.column);
        const oracle::Verdict theirs = oracle::libxml2(document);
        const oracle::Difference* difference = oracle::explainDifference(document, result, theirs);
        EXPECT_TRUE(theirs.wellFormed == result.wellFormed || difference == &oracle::documentType)
            << "libxml2's verdict differs";
    }
}

// Every document of the tables above and every fixture.
std::vector<std::string> allDocuments() {
    std::vector<std::string> documents = {"<a></b>",
                                          "<a x='1' x='2'/>",
                                          "<a>&foo;</a>",
                                          "<a>&#0;</a>",
                                          "<a><!-- -- --></a>",
                                          "<a>]]]></a>",
                                          "<a>\xC3\x28</a>",
                                          "<a>\xF0\x90\x80\x80\xC3</a>",
                                          "<?xml version='1.0' encoding='UTF-16'?><a/>",
                                          "<a\xE2\x82\xAC\xEF\xBB\xBF\xE2></a\xE2\x82\xAC\xEF>"};
    for (const Fixture& fixture : fixtures) {
        documents.push_back(readFixture(fixture.file));
    }
    return documents;
}

// Cut at `size` into a buffer of its own, so that a sanitizer sees any read past it.
XmlCheck checkCut(const std::string& document, std::size_t size) {
    const std::vector<char> copy(document.begin(), document.begin() + static_cast<std::ptrdiff_t>(size));
    return checkXml(copy.data(), copy.size());
}

TEST(XmlCheck, PlaceIsTheFirstByteNoContinuationCouldMend) {
    for (const std::string& document : allDocuments()) {
        SCOPED_TRACE(shown(document));
        const XmlCheck whole = check(document);
        const std::size_t place = whole.wellFormed ? document.size() : whole.offset;
        // Cut before the place, a document is whole or ends too early, right at the cut.
        const std::size_t bom = document.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        for (std::size_t cut = bom; cut < place; ++cut) {
            const XmlCheck part = checkCut(document, cut);
            ASSERT_TRUE(part.wellFormed || part.offset == cut) << cut << ": " << placeOf(part);
        }
        // Cut after it, the same fault is found, or the cut comes first.
        for (std::size_t cut = place + 1; cut <= document.size(); ++cut) {
            const XmlCheck part = checkCut(document, cut);
            ASSERT_TRUE(!part.wellFormed && (part.offset == whole.offset || part.offset == cut))
                << cut << ": " << placeOf(part);
        }
    }
}

// How checkXml and libxml2 differ on `document`: checkXml's verdict is
// `mineWellFormed`, libxml2's the other, and `difference` names the reason.
void expectDifference(const std::string& document, const oracle::Difference& difference, bool mineWellFormed) {
    SCOPED_TRACE(shown(document));
    const XmlCheck mine = check(document);
    const oracle::Verdict theirs = oracle::libxml2(document);
    EXPECT_EQ(mine.wellFormed, mineWellFormed) << placeOf(mine);
    EXPECT_EQ(theirs.wellFormed, !mineWellFormed);
    EXPECT_EQ(oracle::explainDifference(document, mine, theirs), &difference) << difference.name;
}

// The game's files have no document type declaration; entities declared in one
// would need a second parser.
TEST(XmlCheckVersusLibxml2, DocumentTypeDeclarationIsRefusedThoughLibxml2ReadsIt) {
    expectDifference("<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", oracle::documentType, false);
}

// The game's files are 8-bit text; libxml2 guesses wider encodings from the first bytes.
TEST(XmlCheckVersusLibxml2, Utf16DocumentIsRefusedThoughLibxml2DecodesIt) {
    expectDifference("\xFF\xFE<\0a\0/\0>\0"s, oracle::wideOrEbcdicStart, false);
    expectDifference("<\0?\0x\0m\0l\0 \0v\0e\0r\0s\0i\0o\0n\0=\0'\0001\0.\0000\0'\0?\0>\0<\0a\0/\0>\0"s,
                     oracle::wideOrEbcdicStart, false);
}

// Without the encoding's table each high byte is taken as a character, also in names.
TEST(XmlCheckVersusLibxml2, SingleByteEncodingTakesEveryHighByteAsACharacter) {
    expectDifference("<?xml version='1.0' encoding='ISO-8859-1'?><a\xD7/>", oracle::singleByteEncoding, true);
    expectDifference("<?xml version='1.0' encoding='windows-1252'?><a>\x81</a>", oracle::singleByteEncoding, true);
    expectDifference("<?xml version='1.0' encoding='no-such-table'?><a/>", oracle::singleByteEncoding, true);
}

TEST(XmlCheckVersusLibxml2, DeclarationFaultsLibxml2LetsPassAreRefused) {
    expectDifference("<?xml version='1.'?><a/>", oracle::versionWithoutDigit, false);
    expectDifference("\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-8'standalone='yes'?><a/>",
                     oracle::standaloneWithoutSpace, false);
    expectDifference("<?xml version='1.0' encoding=\"utf8\"standalone='no'?><a/>", oracle::standaloneWithoutSpace,
                     false);
}

TEST(XmlCheckVersusLibxml2, NulAfterTheRootIsRefusedThoughLibxml2StopsReadingThere) {
    expectDifference("<a/>\0<b>"s, oracle::nulAfterRoot, false);
}

TEST(XmlCheckVersusLibxml2, NamesWithASecondColonAreAcceptedThoughLibxml2ReadsThemAsQualified) {
    expectDifference("<a r:p:1x='0' x='2'><p:/></a>", oracle::nameWithSecondColon, true);
    expectDifference("<a><r:p:-x/></a>", oracle::nameWithSecondColon, true);
}

TEST(XmlCheckVersusLibxml2, DocumentsBeyondTheFixedLimitsAreRefusedThoughLibxml2ReadsThem) {
    expectDifference(repeat("<a>", xmlMaxDepth + 1) + repeat("</a>", xmlMaxDepth + 1), oracle::checkerLimits, false);
    expectDifference("<a" + attributeList(xmlMaxAttributes + 1) + "/>", oracle::checkerLimits, false);
}

TEST(XmlCheckVersusLibxml2, NoReasonExcusesAnOrdinaryDisagreement) {
    XmlCheck wronglyAccepted;
    for (const char* document :
         {"<a></b>", "<a>&#0;</a>", "<?xml version='1.0' encoding='latin1'?><a/>x", "<a r:1x='0'></b>"}) {
        EXPECT_EQ(oracle::explainDifference(document, wronglyAccepted, oracle::libxml2(document)), nullptr) << document;
    }
    XmlCheck wronglyRefused;
    wronglyRefused.wellFormed = false;
    std::strcpy(wronglyRefused.what, "text after the root element");
    wronglyRefused.offset = 4;
    EXPECT_EQ(oracle::explainDifference("<a/> ", wronglyRefused, oracle::libxml2("<a/> ")), nullptr);
}

}  // namespace
