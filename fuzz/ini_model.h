// A second, deliberately plain model of the INI format for the fuzz targets: the
// line grammar and the file reader written straight from their rules, with linear
// searches instead of an index, so that the library can be compared against it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ini/ini.h"

namespace model {

// Stops the fuzzer with a finding; `what` names the broken rule.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

inline void require(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

inline bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

inline std::string trimmed(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    return std::string(text.substr(begin, end - begin));
}

inline bool isTrimmed(std::string_view text) {
    return text.empty() || (!isBlank(text.front()) && !isBlank(text.back()));
}

struct Line {
    ini::LineKind kind = ini::LineKind::None;
    std::string first;
    std::string second;
};

inline Line classify(std::string_view raw) {
    std::string line = trimmed(raw);
    if (line.empty()) {
        return {ini::LineKind::None, {}, {}};
    }
    if (line[0] == ';') {
        return {ini::LineKind::Comment, {}, {}};
    }
    if (line[0] == '[') {
        line = line.substr(0, line.find(';'));
        const std::size_t close = line.rfind(']');
        if (close != std::string::npos) {
            return {ini::LineKind::Section, trimmed(std::string_view(line).substr(1, close - 1)), {}};
        }
    }
    // Mask every "\=" in a scratch copy; the first '=' left there is the split point.
    std::string scratch = line;
    for (std::size_t at = scratch.find("\\="); at != std::string::npos; at = scratch.find("\\=", at + 2)) {
        scratch[at] = ' ';
        scratch[at + 1] = ' ';
    }
    const std::size_t split = scratch.find('=');
    if (split == std::string::npos) {
        return {ini::LineKind::Other, {}, {}};
    }
    const std::string key = trimmed(std::string_view(line).substr(0, split));
    std::string unescaped;
    std::size_t from = 0;
    for (std::size_t at = key.find("\\="); at != std::string::npos; at = key.find("\\=", from)) {
        unescaped.append(key, from, at - from);
        unescaped += '=';
        from = at + 2;
    }
    unescaped.append(key, from, std::string::npos);
    return {ini::LineKind::KeyValue, unescaped, trimmed(std::string_view(line).substr(split + 1))};
}

// The lines of a whole file: a byte order mark only as the file's first three
// bytes is dropped, LF ends a line, CR and NUL vanish, and the last line counts
// even when empty. An empty file (or one holding only the mark) has no lines.
inline std::vector<std::string> splitLines(std::string_view file) {
    if (file.substr(0, 3) == "\xEF\xBB\xBF") {
        file.remove_prefix(3);
    }
    std::vector<std::string> lines;
    if (file.empty()) {
        return lines;
    }
    lines.emplace_back();
    for (const char byte : file) {
        if (byte == '\n') {
            lines.emplace_back();
        } else if (byte != '\r' && byte != '\0') {
            lines.back() += byte;
        }
    }
    return lines;
}

using Section = std::vector<std::pair<std::string, std::string>>;
using Document = std::vector<std::pair<std::string, Section>>;

template <typename Entries>
auto* find(Entries& entries, std::string_view name) {
    for (auto& entry : entries) {
        if (entry.first == name) {
            return &entry;
        }
    }
    return static_cast<decltype(&entries.front())>(nullptr);
}

inline Document read(std::string_view file) {
    Document document;
    std::pair<std::string, Section>* open = nullptr;
    for (const std::string& text : splitLines(file)) {
        Line line = classify(text);
        if (line.kind == ini::LineKind::Section) {
            open = find(document, line.first);
            if (open == nullptr) {
                document.emplace_back(line.first, Section{});
                open = &document.back();
            }
        } else if (line.kind == ini::LineKind::KeyValue && open != nullptr) {
            auto* key = find(open->second, line.first);
            if (key == nullptr) {
                open->second.emplace_back(line.first, line.second);
            } else {
                key->second = line.second;
            }
        }
    }
    return document;
}

// True when `section` holds exactly the keys and values of `expected`, in order.
inline bool sameSection(const ini::OrderedMap<std::string>& section, const Section& expected) {
    if (section.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (section.entries()[i] != expected[i]) {
            return false;
        }
    }
    return true;
}

inline bool sameDocument(const ini::IniDocument& document, const Document& expected) {
    if (document.size() != expected.size()) {
        return false;
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (document.entries()[i].first != expected[i].first ||
            !sameSection(document.entries()[i].second, expected[i].second)) {
            return false;
        }
    }
    return true;
}

}  // namespace model
