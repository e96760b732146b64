#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ini/ini.h"

using namespace std::string_literals;
using ini::LineKind;

static_assert(std::is_same_v<std::underlying_type_t<LineKind>, std::uint8_t>);
static_assert(static_cast<int>(LineKind::None) == 0 && static_cast<int>(LineKind::Comment) == 1 &&
              static_cast<int>(LineKind::Section) == 2 && static_cast<int>(LineKind::KeyValue) == 3 &&
              static_cast<int>(LineKind::Other) == 4);

namespace {

struct Case {
    std::string line;
    LineKind kind;
    std::string first;
    std::string second;
};

const char* kindName(LineKind kind) {
    switch (kind) {
    case LineKind::None: return "None";
    case LineKind::Comment: return "Comment";
    case LineKind::Section: return "Section";
    case LineKind::KeyValue: return "KeyValue";
    case LineKind::Other: return "Other";
    }
    return "?";
}

// Every case starts from a result pair that holds stale text, so a kind that
// leaves a string empty must empty it.
void expectCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE("line '" + c.line + "'");
        std::pair<std::string, std::string> result{"stale", "stale"};
        const LineKind kind = ini::classifyLine(c.line, result);
        EXPECT_STREQ(kindName(kind), kindName(c.kind));
        EXPECT_EQ(result.first, c.first);
        EXPECT_EQ(result.second, c.second);
    }
}

}  // namespace

TEST(LineGrammar, BlankLinesAndSemicolonLinesCarryNothing) {
    expectCases({
        {"", LineKind::None, "", ""},
        {" \t\f\v", LineKind::None, "", ""},
        {"\r", LineKind::None, "", ""},
        {";", LineKind::Comment, "", ""},
        {"   ; Reload key = F10", LineKind::Comment, "", ""},
        {"; [Section]", LineKind::Comment, "", ""},
        {"word", LineKind::Other, "", ""},
        {"#[S]", LineKind::Other, "", ""},
    });
}

TEST(LineGrammar, HeadersAreCutAtTheFirstSemicolonAndCloseAtTheLastBracket) {
    expectCases({
        {"[Main]", LineKind::Section, "Main", ""},
        {"  [ Main ] ; settings", LineKind::Section, "Main", ""},
        {"[a]b]", LineKind::Section, "a]b", ""},
        {"[[a]]", LineKind::Section, "[a]", ""},
        {"[]", LineKind::Section, "", ""},
        {"[ \t ]", LineKind::Section, "", ""},
        {"[Main] extra", LineKind::Section, "Main", ""},
        {"[Main]=x", LineKind::Section, "Main", ""},
        {"[a=b]", LineKind::Section, "a=b", ""},
        {"[a]b;c]", LineKind::Section, "a", ""},
        {"[Mixed Case]", LineKind::Section, "Mixed Case", ""},
    });
}

TEST(LineGrammar, BracketLinesThatDoNotCloseFallBackToKeyValueOrOther) {
    expectCases({
        {"[Main", LineKind::Other, "", ""},
        {"[a=b", LineKind::KeyValue, "[a", "b"},
        {"[a;b]=c", LineKind::Other, "", ""},
        // The rest of the line after the cut is gone for the key/value split too.
        {"[a=b;c]", LineKind::KeyValue, "[a", "b"},
    });
}

TEST(LineGrammar, KeyValueLinesSplitAtTheFirstEqualsSign) {
    expectCases({
        {"KEY=Value", LineKind::KeyValue, "KEY", "Value"},
        {"key = a = b", LineKind::KeyValue, "key", "a = b"},
        {"k==v", LineKind::KeyValue, "k", "=v"},
        {"ReloadKey = 121 ; F10", LineKind::KeyValue, "ReloadKey", "121 ; F10"},
        {"# note = x", LineKind::KeyValue, "# note", "x"},
        {"=5", LineKind::KeyValue, "", "5"},
        {"key=", LineKind::KeyValue, "key", ""},
        {"=", LineKind::KeyValue, "", ""},
        {"  key\t=\tvalue with  inner  spaces \r", LineKind::KeyValue, "key", "value with  inner  spaces"},
        {"k = \"quoted\" [x]", LineKind::KeyValue, "k", "\"quoted\" [x]"},
    });
}

TEST(LineGrammar, BackslashEscapesAnEqualsSignInTheKeyOnly) {
    expectCases({
        {"a\\=b = c", LineKind::KeyValue, "a=b", "c"},
        {"k = x\\=y", LineKind::KeyValue, "k", "x\\=y"},
        {"k = C:\\dir\\", LineKind::KeyValue, "k", "C:\\dir\\"},
        {"a\\=b", LineKind::Other, "", ""},
        // A backslash cannot escape another backslash: the one before '=' still escapes it.
        {"a\\\\=b", LineKind::Other, "", ""},
        {"a\\\\=b=c", LineKind::KeyValue, "a\\=b", "c"},
        {"\\=\\==x", LineKind::KeyValue, "==", "x"},
        {"k\\ = v", LineKind::KeyValue, "k\\", "v"},
    });
}

TEST(LineGrammar, OnlyTheSixWhitespaceCharactersAreTrimmed) {
    for (const char space : " \t\n\r\f\v"s) {
        const std::string s(1, space);
        expectCases({
            {s + "k" + s + "=" + s + "v" + s, LineKind::KeyValue, "k", "v"},
            {s + "[" + s + "S" + s + "]" + s, LineKind::Section, "S", ""},
            {s + ";" + s, LineKind::Comment, "", ""},
            {s + s, LineKind::None, "", ""},
        });
    }
    // NUL, the separators 0x1C to 0x1F, NEL and no-break space are ordinary bytes.
    for (const char byte : "\0\x1C\x1F\x85\xA0"s) {
        const std::string b(1, byte);
        expectCases({
            {b + "k=v" + b, LineKind::KeyValue, b + "k", "v" + b},
            {b + "[S]", LineKind::Other, "", ""},
            {b + ";x", LineKind::Other, "", ""},
            {b, LineKind::Other, "", ""},
        });
    }
}

TEST(LineGrammar, ByteOrderMarkAtLineStartIsOrdinaryText) {
    const std::string bom = "\xEF\xBB\xBF";
    expectCases({
        {bom + "[Main]", LineKind::Other, "", ""},
        {bom + ";comment", LineKind::Other, "", ""},
        {bom + "ReloadKey=120", LineKind::KeyValue, bom + "ReloadKey", "120"},
        {bom + "[Main]=1", LineKind::KeyValue, bom + "[Main]", "1"},
        {"k=" + bom, LineKind::KeyValue, "k", bom},
    });
}
