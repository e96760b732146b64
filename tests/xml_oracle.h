// libxml2 as the second opinion on well-formedness for the tests and the fuzz
// target, and the list of the only places where checkXml may disagree with it, each
// with the reason it does not matter for the game's files.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "xml/xml_check.h"

namespace oracle {

struct Verdict {
    bool wellFormed = false;
    bool unsupportedEncoding = false;  // libxml2 knew no converter for the declared encoding
};

inline void collectError(void* context, xmlErrorPtr error) {
    auto* verdict = static_cast<Verdict*>(context);
    if (error != nullptr && (error->code == XML_ERR_UNSUPPORTED_ENCODING || error->code == XML_ERR_INVALID_ENCODING)) {
        verdict->unsupportedEncoding = true;
    }
}

// libxml2's verdict, without its size and depth limits and without network access.
inline Verdict libxml2(std::string_view document) {
    Verdict verdict;
    xmlSetStructuredErrorFunc(&verdict, collectError);
    xmlDocPtr tree = xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_HUGE);
    xmlSetStructuredErrorFunc(nullptr, nullptr);
    verdict.wellFormed = tree != nullptr;
    xmlFreeDoc(tree);
    return verdict;
}

// A kind of document on which checkXml and libxml2 disagree on purpose.
struct Difference {
    const char* name;
    const char* why;
};

inline const Difference documentType = {
    "document type declaration",
    "checkXml refuses every document type declaration, since the game's files have none and entities "
    "declared in one would need a second parser; libxml2 reads them"};
inline const Difference wideOrEbcdicStart = {
    "wide or EBCDIC start",
    "libxml2 reads a document whose first bytes look like UTF-16, UCS-4 or EBCDIC in that encoding; "
    "checkXml reads 8-bit text only, as the game's files are"};
inline const Difference singleByteEncoding = {
    "declared single-byte encoding",
    "checkXml takes each byte from 0x80 up as one character of an encoding it does not know; libxml2 "
    "converts with its own tables, refusing names it has no table for and bytes its table lacks, and "
    "in some encodings (UTF-7, EBCDIC) reading even bytes below 0x80 as other characters"};
inline const Difference versionWithoutDigit = {
    "version 1. without a digit",
    "XML's VersionNum needs a digit after '1.'; libxml2 accepts version=\"1.\" with a warning"};
inline const Difference standaloneWithoutSpace = {
    "standalone without a space after a UTF-8 encoding",
    "XML needs white space before standalone; libxml2 skips that check once it has read an encoding "
    "declaration naming UTF-8"};
inline const Difference nulAfterRoot = {
    "NUL after the root element",
    "libxml2 stops at a NUL byte after the root element as if the input ended there; a NUL is no XML "
    "character anywhere"};
inline const Difference nameWithSecondColon = {
    "name whose part after a second colon starts with a digit, '-' or '.'",
    "XML's names may hold any number of colons; libxml2 reads prefix:local:rest as a qualified name "
    "and, when rest cannot start a name, refuses the tag; the game's files use no such names"};
inline const Difference checkerLimits = {
    "nesting or attribute limit",
    "checkXml keeps open elements and a tag's attributes in fixed arrays and refuses documents beyond "
    "them; libxml2 with its huge option has no such limit"};

inline bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// The encoding named in a declaration at the very start (after a byte order mark),
// or empty.
inline std::string declaredEncoding(std::string_view document) {
    if (startsWith(document, "\xEF\xBB\xBF")) {
        document.remove_prefix(3);
    }
    if (!startsWith(document, "<?xml") || document.size() < 6 || std::strchr(" \t\r\n", document[5]) == nullptr ||
        document[5] == 0) {
        return {};
    }
    const std::string_view declaration = document.substr(0, document.find("?>"));
    const std::size_t key = declaration.find("encoding");
    if (key == std::string_view::npos) {
        return {};
    }
    const std::size_t quote = declaration.find_first_of("\"'", key);
    if (quote == std::string_view::npos) {
        return {};
    }
    const std::size_t close = declaration.find(declaration[quote], quote + 1);
    return std::string(declaration.substr(quote + 1, close == std::string_view::npos ? close : close - quote - 1));
}

inline bool isUtf8Name(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    return name == "UTF-8" || name == "UTF8";
}

// Whether libxml2's table for a declared encoding leaves bytes below 0x80 as they are.
inline bool keepsAscii(std::string name) {
    for (char& c : name) {
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    }
    for (const char* prefix : {"ISO-8859-", "ISO_8859-", "LATIN", "WINDOWS-125", "CP125"}) {
        if (startsWith(name, prefix)) {
            return true;
        }
    }
    return name == "US-ASCII" || name == "ASCII";
}

inline bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr("_-.", c) != nullptr || static_cast<unsigned char>(c) >= 0x80;
}

// Whether a name in `document` reads prefix:local:rest with rest starting where no
// name may start.
inline bool hasNameWithSecondColon(std::string_view document) {
    for (std::size_t colon = document.find(':'); colon != std::string_view::npos;
         colon = document.find(':', colon + 1)) {
        const char next = colon + 1 < document.size() ? document[colon + 1] : ' ';
        if (!((next >= '0' && next <= '9') || next == '-' || next == '.' || static_cast<unsigned char>(next) >= 0x80)) {
            continue;
        }
        std::size_t local = colon;
        while (local > 0 && isNameByte(document[local - 1])) {
            --local;
        }
        if (local < colon && local >= 2 && document[local - 1] == ':' && isNameByte(document[local - 2])) {
            return true;
        }
    }
    return false;
}

inline bool phraseStarts(const XmlCheck& result, const char* prefix) {
    return std::strncmp(result.what, prefix, std::strlen(prefix)) == 0;
}

// The difference that explains why checkXml's verdict `mine` and libxml2's
// `theirs` on `document` disagree, or null when they agree or nothing explains it.
inline const Difference* explainDifference(std::string_view document, const XmlCheck& mine, const Verdict& theirs) {
    if (mine.wellFormed == theirs.wellFormed) {
        return nullptr;
    }
    if (!mine.wellFormed && phraseStarts(mine, "document type declarations") &&
        document.find("<!DOCTYPE") != std::string_view::npos) {
        return &documentType;
    }
    for (const char* start : {"\xFE\xFF", "\xFF\xFE", "\x4C\x6F\xA7\x94"}) {
        if (startsWith(document, start)) {
            return &wideOrEbcdicStart;
        }
    }
    for (std::string_view start :
         {std::string_view("\0\0\0<", 4), std::string_view("<\0\0\0", 4), std::string_view("\0\0<\0", 4),
          std::string_view("\0<\0\0", 4), std::string_view("<\0?\0", 4), std::string_view("\0<\0?", 4)}) {
        if (startsWith(document, start)) {
            return &wideOrEbcdicStart;
        }
    }
    const std::string encoding = declaredEncoding(document);
    if (!encoding.empty() && !isUtf8Name(encoding)) {
        bool highBytes = false;
        for (const char c : document) {
            highBytes = highBytes || static_cast<unsigned char>(c) >= 0x80;
        }
        if (highBytes || theirs.unsupportedEncoding || !keepsAscii(encoding)) {
            return &singleByteEncoding;
        }
    }
    if (!mine.wellFormed && phraseStarts(mine, "invalid XML version") && mine.offset >= 2 &&
        document.substr(mine.offset - 2, 3).size() == 3 && document.substr(mine.offset - 2, 2) == "1." &&
        (document[mine.offset] == '"' || document[mine.offset] == '\'')) {
        return &versionWithoutDigit;
    }
    if (!mine.wellFormed && mine.offset >= 1 && startsWith(document.substr(mine.offset), "standalone") &&
        (document[mine.offset - 1] == '"' || document[mine.offset - 1] == '\'') && isUtf8Name(encoding)) {
        return &standaloneWithoutSpace;
    }
    if (!mine.wellFormed && phraseStarts(mine, "text after the root element") && mine.offset < document.size() &&
        document[mine.offset] == 0) {
        return &nulAfterRoot;
    }
    if (mine.wellFormed && hasNameWithSecondColon(document)) {
        return &nameWithSecondColon;
    }
    if (!mine.wellFormed && (phraseStarts(mine, "elements nested too deeply") || phraseStarts(mine, "more than "))) {
        return &checkerLimits;
    }
    return nullptr;
}

}  // namespace oracle
