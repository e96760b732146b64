// Arbitrary file contents through SettingsFile::read, then lookups with names taken
// from the same bytes: the document matches the plain model of the format, its
// names are trimmed and unique, and lookups behave as the document promises.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/ini_model.h"
#include "ini/ini.h"

using model::require;

namespace {

// The file lives in memory: rewriting a file on disk for every input is slow.
int scratch = -1;
std::string path;

void writeFile(std::string_view bytes) {
    require(ftruncate(scratch, 0) == 0, "scratch file emptied");
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t step = pwrite(scratch, bytes.data() + written, bytes.size() - written, static_cast<off_t>(written));
        require(step > 0, "scratch file written");
        written += static_cast<std::size_t>(step);
    }
}

// Names worth looking up: every piece of the input between line feeds, '[', ']'
// and '=' (a bounded number of them), untrimmed, as a user might pass them.
std::vector<std::string> candidateNames(std::string_view bytes) {
    std::vector<std::string> names{""};
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size() && names.size() < 32; ++i) {
        if (i == bytes.size() || bytes[i] == '\n' || bytes[i] == '[' || bytes[i] == ']' || bytes[i] == '=') {
            names.emplace_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return names;
}

void checkNamesTrimmedAndUnique(const ini::IniDocument& document) {
    std::vector<std::string_view> sections;
    for (const auto& [name, section] : document.entries()) {
        require(model::isTrimmed(name), "section names trimmed");
        require(std::find(sections.begin(), sections.end(), name) == sections.end(), "section names unique");
        sections.push_back(name);
        std::vector<std::string_view> keys;
        for (const auto& entry : section.entries()) {
            require(model::isTrimmed(entry.first), "keys trimmed");
            require(std::find(keys.begin(), keys.end(), entry.first) == keys.end(), "keys unique in a section");
            keys.push_back(entry.first);
        }
    }
}

void checkLookups(ini::IniDocument& document, const model::Document& expected, const std::vector<std::string>& names) {
    const std::uint64_t sections = document.size();
    for (const std::string& name : names) {
        const std::string key = model::trimmed(name);
        const auto* section = model::find(expected, key);
        const ini::OrderedMap<std::string> got = document.get(name);
        require(document.size() == sections, "get never inserts a section");
        require(model::sameSection(got, section != nullptr ? section->second : model::Section{}),
                "get gives the section stored under the trimmed name, or an empty one");
        const ini::OrderedMap<std::string> padded = document.get(" \t" + name + "\r\n\v\f");
        require(padded.entries() == got.entries(), "a padded name finds the same section");

        if (section != nullptr) {
            for (const std::string& inner : names) {
                const auto* value = model::find(section->second, model::trimmed(inner));
                require(got.get(inner) == (value != nullptr ? value->second : std::string{}),
                        "get gives the value stored under the trimmed key, or empty");
                require(got.get("\v" + inner + " ") == got.get(inner), "a padded key finds the same value");
            }
            require(got.size() == section->second.size(), "get on a section never inserts a key");
        }
    }

    // operator[] finds the stored section, or appends one under the trimmed name.
    for (const std::string& name : names) {
        const std::uint64_t before = document.size();
        bool known = false;
        for (const auto& entry : document.entries()) {
            known = known || entry.first == model::trimmed(name);
        }
        ini::OrderedMap<std::string>& section = document[name];
        require(document.size() == before + (known ? 0 : 1), "operator[] inserts only a new name");
        bool found = false;
        for (const auto& entry : document.entries()) {
            if (&entry.second == &section) {
                require(entry.first == model::trimmed(name), "operator[] gives the entry of the trimmed name");
                found = true;
            }
        }
        require(found, "operator[] gives a stored entry");
        require(&document["\f" + name + "\t "] == &section, "a padded name gives the same entry");
    }
    checkNamesTrimmedAndUnique(document);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = memfd_create("BrackenfoldConfig.ini", 0);
    require(scratch >= 0, "scratch file created");
    path = "/proc/self/fd/" + std::to_string(scratch);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    writeFile(bytes);
    const model::Document expected = model::read(bytes);

    // Filled beforehand: the read must replace what the document held.
    ini::IniDocument document;
    document["left over"]["key"] = "value";
    const ini::SettingsFile settings(path);
    settings.read(document);
    checkNamesTrimmedAndUnique(document);
    require(model::sameDocument(document, expected), "document as the model reads the file");

    // A reader reads its file once; a second read changes nothing.
    {
        ini::SettingsReader reader(path);
        ini::IniDocument again;
        require(reader.read(again), "an open file reads");
        require(model::sameDocument(again, expected), "a reader gives the same document");
        require(!reader.read(again), "a second read of one reader fails");
        require(model::sameDocument(again, expected), "a failed read leaves the document");
    }
    {
        ini::SettingsReader reader(path);
        const std::vector<std::string> lines = reader.readLines();
        const std::vector<std::string> expectedLines = model::splitLines(bytes);
        require(lines == expectedLines, "lines as the model splits the file");
        for (const std::string& line : lines) {
            require(line.find_first_of(std::string_view("\n\r\0", 3)) == std::string::npos,
                    "no LF, CR or NUL in a line");
        }
    }

    checkLookups(document, expected, candidateNames(bytes));
    return 0;
}
