// checkXml on arbitrary bytes: the place it reports lies in the document, agrees
// with its line and column, and stays put when the document is cut there; and its
// verdict is libxml2's on every document without a document type declaration, but
// for the named differences in tests/xml_oracle.h.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "xml/xml_check.h"
#include "tests/xml_oracle.h"

namespace {

[[noreturn]] void fail(const char* what, const XmlCheck& result) {
    std::fprintf(stderr, "invariant broken: %s\ncheckXml: %s at %zu:%zu (offset %zu) \"%s\"\n", what,
                 result.wellFormed ? "well-formed" : "refused", result.line, result.column, result.offset, result.what);
    std::abort();
}

void require(bool holds, const char* what, const XmlCheck& result) {
    if (!holds) {
        fail(what, result);
    }
}

// Line and column of `offset` by the stated rules, counted afresh.
void lineAndColumn(std::string_view document, std::size_t offset, std::size_t& line, std::size_t& column) {
    const std::size_t start = document.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    line = 1;
    std::size_t lineStart = start;
    for (std::size_t i = start; i < offset; ++i) {
        const bool crAlone = document[i] == '\r' && (i + 1 == document.size() || document[i + 1] != '\n');
        if (document[i] == '\n' || crAlone) {
            ++line;
            lineStart = i + 1;
        }
    }
    column = offset - lineStart + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    const XmlCheck result = checkXml(document.data(), document.size());

    require(std::memchr(result.what, 0, sizeof result.what) != nullptr, "what ends in a NUL", result);
    if (result.wellFormed) {
        require(result.line == 0 && result.column == 0 && result.offset == 0 && result.what[0] == 0,
                "no place and no phrase for a well-formed document", result);
    } else {
        require(result.what[0] != 0, "a phrase for a refused document", result);
        require(result.offset <= size, "the place lies in the document or just past it", result);
        std::size_t line = 0;
        std::size_t column = 0;
        lineAndColumn(document, result.offset, line, column);
        require(result.line == line && result.column == column, "line and column match the offset", result);

        // Nothing before the place is wrong: cut there, the document is whole or ends too early.
        const XmlCheck before = checkXml(document.data(), result.offset);
        require(before.wellFormed || before.offset == result.offset, "the prefix before the place holds", result);
        // Cut after the place, the same fault is found, or the cut comes first.
        if (result.offset < size) {
            const std::size_t cut = result.offset + 1 + (size - result.offset - 1) / 2;
            const XmlCheck after = checkXml(document.data(), cut);
            require(!after.wellFormed && (after.offset == result.offset || after.offset == cut),
                    "the place stays when the document is cut after it", result);
        }
    }

    if (document.find("<!DOCTYPE") != std::string_view::npos) {
        return 0;
    }
    const oracle::Verdict theirs = oracle::libxml2(document);
    if (result.wellFormed != theirs.wellFormed && oracle::explainDifference(document, result, theirs) == nullptr) {
        fail(theirs.wellFormed ? "libxml2 accepts what checkXml refuses" : "libxml2 refuses what checkXml accepts",
             result);
    }
    return 0;
}
