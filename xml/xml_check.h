// Checks that a modifier data file (XML) is well-formed before the game reloads it,
// so that a broken edit is reported with its place instead of reaching the game.
#pragma once

#include <cstddef>

// Result of a well-formedness check. `line` and `column` count from 1, columns in
// bytes; `offset` is the same place as a byte offset from the start of the data.
// All three are 0 and `what` is empty for a well-formed document.
struct XmlCheck {
    bool wellFormed = true;
    std::size_t line = 0;
    std::size_t column = 0;
    std::size_t offset = 0;
    char what[96] = {};  // a short phrase, NUL-terminated, e.g. "expected </CVegetationModifiers>"
};

// Most elements open at once; a deeper document is refused ("elements nested too
// deeply", at the name of the element one level too deep).
constexpr std::size_t xmlMaxDepth = 4096;

// Most attributes in one tag; a tag with more is refused ("more than 256 attributes
// in one tag", at the name of the attribute one too many).
constexpr std::size_t xmlMaxAttributes = 256;

// Whether `data` is a well-formed XML 1.0 document without a document type
// declaration. Makes no allocation (it uses at most 4 KiB of the caller's stack and
// static storage of its own, so one check runs at a time: only the script calls it),
// throws nothing, reads no byte outside [data, data + size), and takes time linear
// in `size`. A null `data` is an empty document.
//
// What is accepted: an optional UTF-8 byte order mark; an optional XML declaration
// right after it (version 1.x, then optionally encoding, then optionally standalone
// yes or no); comments, processing instructions and white space before and after
// one root element; elements with their attributes, character data, the five
// predefined entity references and character references that denote an XML Char,
// CDATA sections, comments and processing instructions inside the root element.
// A document type declaration is refused ("document type declarations are not
// supported"): without one no other entity can be declared, and the game's files
// have none.
//
// Bytes: without a declared encoding, or with UTF-8 declared (in any letter case,
// also written "UTF8"), the text must be valid UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF) and every character an XML Char. A declared
// 16- or 32-bit encoding (UTF-16, UTF-32, UCS-2, UCS-4 and their variants) is
// refused: the declaration itself was read as 8-bit text, so the file cannot be in
// it. Any other declared encoding (ISO-8859-1, windows-1252, ...) is taken as a
// single-byte one whose encoding the checker does not know: each byte from 0x80 up
// is one character, allowed in text and in names. The declaration alone decides:
// a byte order mark before a declared single-byte encoding changes nothing.
// Names follow XML's Name production, with characters from U+0080 up judged by
// their code point.
//
// Limits: at most xmlMaxDepth elements open at once and xmlMaxAttributes
// attributes in one tag; beyond them the document is refused.
//
// The place reported is that of the first byte at which the document stops being
// well-formed. Where that byte belongs to a piece that is wrong only as a whole,
// the place is the piece's first byte: the name of a mismatched end tag, of a
// repeated attribute or of a reserved processing instruction target; an unknown
// entity or illegal character reference (its '&'); a malformed UTF-8 sequence or
// illegal character; a "--" inside a comment; a "]]>" in character data; a document
// type declaration (its '<'). A document that ends too early is reported just past
// its last byte. A line ends at LF, at CR LF (one line end, whose LF stays on the
// line of the CR) and at a lone CR. A byte order mark is not counted in columns.
XmlCheck checkXml(const char* data, std::size_t size) noexcept;
