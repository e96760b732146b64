// A small, read-only INI settings library: the ordered document of sections and
// keys, the grammar of one line, and the reading of a file into the document.
//
// Names are trimmed of " \t\n\r\f\v" at both ends and then compared byte for byte
// (no case folding). Values are stored exactly as written. Nothing here throws on
// bad input; failures show only as boolean results or empty values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ini {

inline constexpr std::string_view whitespace = " \t\n\r\f\v";

// Removes whitespace from the end, then from the start, of `text`, in place.
inline void trim(std::string& text) {
    text.erase(text.find_last_not_of(whitespace) + 1);
    text.erase(0, text.find_first_not_of(whitespace));
}

// `text` without whitespace at either end.
inline std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(whitespace);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(whitespace) - first + 1);
}

// An insertion-ordered map from trimmed names to values. Entries are only ever
// appended; a name keeps its position until `clear`. Copies are deep.
template <typename Value = std::string>
class OrderedMap {
public:
    using Entry = std::pair<std::string, Value>;

    // A copy of the value stored under `name`, or a default value. Never inserts.
    Value get(std::string name) const {
        trim(name);
        const auto found = index_.find(name);
        if (found == index_.end()) {
            return Value{};
        }
        return entries_[found->second].second;
    }

    // The value stored under `name`, appended with a default value when absent.
    // The reference stays valid until the next insertion into this map or `clear`.
    Value& operator[](std::string name) {
        trim(name);
        const auto found = index_.find(name);
        if (found != index_.end()) {
            return entries_[found->second].second;
        }
        const std::uint64_t position = entries_.size();
        entries_.emplace_back(name, Value{});
        try {
            index_.emplace(std::move(name), position);
        } catch (...) {
            // Keep one index item per entry even when the index cannot grow.
            entries_.pop_back();
            throw;
        }
        return entries_.back().second;
    }

    std::uint64_t size() const { return entries_.size(); }

    void clear() {
        entries_.clear();
        index_.clear();
    }

    // The entries in insertion order, for callers that walk the whole map.
    const std::vector<Entry>& entries() const { return entries_; }

private:
    std::unordered_map<std::string, std::uint64_t> index_;
    std::vector<Entry> entries_;
};

// The sections of one file, each an ordered map of its keys.
using IniDocument = OrderedMap<OrderedMap<std::string>>;

enum class LineKind : std::uint8_t { None, Comment, Section, KeyValue, Other };

// Classifies one line (without its line feed). `result` is emptied, then holds the
// section name (first), or the key (first, unescaped) and value (second).
inline LineKind classifyLine(std::string line, std::pair<std::string, std::string>& result) {
    result.first.clear();
    result.second.clear();
    trim(line);
    if (line.empty()) {
        return LineKind::None;
    }
    if (line.front() == ';') {
        return LineKind::Comment;
    }
    if (line.front() == '[') {
        const auto semicolon = line.find(';');
        if (semicolon != std::string::npos) {
            line.erase(semicolon);
        }
        const auto close = line.rfind(']');
        if (close != std::string::npos) {
            result.first = line.substr(1, close - 1);
            trim(result.first);
            return LineKind::Section;
        }
    }
    // The split point is the first '=' that is not written as "\=".
    std::size_t split = std::string::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '=') {
            ++i;
        } else if (line[i] == '=') {
            split = i;
            break;
        }
    }
    if (split == std::string::npos) {
        return LineKind::Other;
    }
    std::string key = line.substr(0, split);
    trim(key);
    std::string unescaped;
    unescaped.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '\\' && i + 1 < key.size() && key[i + 1] == '=') {
            continue;
        }
        unescaped += key[i];
    }
    result.first = std::move(unescaped);
    result.second = line.substr(split + 1);
    trim(result.second);
    return LineKind::KeyValue;
}

// The lines of a file's text, without line feeds, carriage returns or NUL bytes; a
// UTF-8 byte order mark at its start is not part of the text. Empty text has no lines.
inline std::vector<std::string> splitLines(std::string_view text) {
    std::vector<std::string> lines;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (text.empty()) {
        return lines;
    }
    std::string line;
    line.reserve(63);
    for (const char byte : text) {
        if (byte == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (byte != '\0' && byte != '\r') {
            line += byte;
        }
    }
    lines.push_back(line);
    return lines;
}

// Adds the sections of `lines` and the keys under them to `document`; keys before
// the first section belong to none and are left out.
inline void readLinesInto(const std::vector<std::string>& lines, IniDocument& document) {
    std::string openSection;
    bool inSection = false;
    std::pair<std::string, std::string> parts;
    for (const std::string& line : lines) {
        switch (classifyLine(line, parts)) {
        case LineKind::Section:
            inSection = true;
            openSection = parts.first;
            document[openSection];
            break;
        case LineKind::KeyValue:
            if (inSection) {
                document[openSection][parts.first] = parts.second;
            }
            break;
        default:
            break;
        }
    }
}

// Reads one settings file: opened in binary mode at construction, read whole once.
class SettingsReader {
public:
    explicit SettingsReader(const std::string& fileName) {
        stream_.exceptions(std::ios::goodbit);
        stream_.open(fileName, std::ios::in | std::ios::binary);
    }

    // Every line of the file, as splitLines gives them; closes the file. A file
    // whose size cannot be measured yields no lines.
    std::vector<std::string> readLines() {
        stream_.seekg(0, std::ios::end);
        const std::streamoff end = stream_.tellg();
        const std::string buffer = readWhole(end);
        stream_.close();
        return splitLines(buffer);
    }

    // Adds the file's sections and keys to `document`. False when the file is not
    // open (it failed to open, or was already read).
    bool read(IniDocument& document) {
        if (!stream_.is_open()) {
            return false;
        }
        readLinesInto(readLines(), document);
        return true;
    }

private:
    // Far larger than any settings file; a measurement beyond it is not trusted.
    static constexpr std::streamoff largestFile = std::streamoff{64} << 20;

    std::string readWhole(std::streamoff size) {
        // A failed seek (-1) or a stream that is not a regular file gives no size.
        if (!stream_ || size <= 0 || size > largestFile) {
            return {};
        }
        std::string buffer(static_cast<std::size_t>(size), '\0');
        stream_.seekg(0, std::ios::beg);
        stream_.read(buffer.data(), size);
        if (stream_.gcount() <= 0) {
            return {};
        }
        return buffer;
    }

    std::ifstream stream_;
};

// The settings file of a program: its name, and the one operation that reads it.
class SettingsFile {
public:
    explicit SettingsFile(std::string name) : fileName(std::move(name)) {}

    // Replaces the content of `document` with what the file holds; a file that
    // cannot be opened leaves it empty.
    void read(IniDocument& document) const {
        if (document.size() != 0) {
            document.clear();
        }
        if (fileName.empty()) {
            return;
        }
        SettingsReader reader(fileName);
        reader.read(document);
    }

    const std::string fileName;
};

}  // namespace ini
