// Arbitrary file contents through SettingsFile::read, then lookups with names taken
// from the same bytes: the document matches the plain model of the format, its
// names are trimmed and unique, and lookups behave as the document promises. The
// same pieces go through the plug-in's setting values (reload keys with their
// combinations, on/off switches, paths) and the settings the document gives.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/ini_model.h"
#include "host/utf8.h"
#include "ini/ini.h"
#include "keys/key_names.h"
#include "settings/settings.h"

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

char flipCase(char c) {
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void checkKeyValue(const std::string& value) {
    const std::optional<KeyChord> chord = parseKeyChord(value);
    const std::string blank = model::trimmed(value);
    if (blank.size() > 1 && blank[0] == '0' && (blank[1] == 'x' || blank[1] == 'X')) {
        bool whole = blank.size() > 2;
        unsigned long code = 0;
        for (std::size_t i = 2; whole && i < blank.size(); ++i) {
            whole = std::isxdigit(static_cast<unsigned char>(blank[i])) != 0;
            code = std::min(code * 16 + std::strtoul(std::string(1, blank[i]).c_str(), nullptr, 16), 4096ul);
        }
        code = whole ? code : 0;
        const auto expected = static_cast<std::uint32_t>(code);
        require(chord == (code >= 1 && code <= 255 ? std::optional<KeyChord>(KeyChord{expected, 0}) : std::nullopt),
                "a value starting with 0x is a hexadecimal code from 1 to 255, with nothing after it");
    } else if (!blank.empty() &&
               (std::isdigit(static_cast<unsigned char>(blank[0])) || blank[0] == '+' || blank[0] == '-')) {
        const auto number = parseKeySetting(value);
        const bool inRange = number && *number >= 1 && *number <= 255;
        require(chord == (inRange ? std::optional<KeyChord>(KeyChord{static_cast<std::uint32_t>(*number), 0})
                                  : std::nullopt),
                "a value starting with a digit or sign is a number from 1 to 255, as before");
    }
    if (!chord) {
        return;
    }
    require(chord->key >= 1 && chord->key <= 255, "a key code from 1 to 255");
    require((chord->modifiers & ~7u) == 0, "only Ctrl, Shift and Alt");
    require(chord->modifiers == 0 || chord->key <= 254, "a combination's key is at most 254");
    const KeyLabel label = keyLabel(*chord);
    require(std::memchr(label.text, '\0', sizeof label.text) != nullptr, "a label ends inside its buffer");
    if (std::strstr(label.text, "key ") == nullptr) {
        require(parseKeyChord(label.text) == chord, "a key's label reads back as the key");
    }
    std::string flipped = value;
    std::transform(flipped.begin(), flipped.end(), flipped.begin(), flipCase);
    require(parseKeyChord(flipped) == chord, "letter case does not matter");
}

void checkSwitchValue(const std::string& value) {
    std::string word = model::trimmed(value);
    std::transform(word.begin(), word.end(), word.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    const bool on = word == "1" || word == "true" || word == "yes" || word == "on";
    const bool off = word == "0" || word == "false" || word == "no" || word == "off";
    const std::optional<bool> expected = on ? std::optional<bool>(true) : off ? std::optional<bool>(false) : std::nullopt;
    require(parseSwitch(value) == expected, "switches are 1/0, true/false, yes/no, on/off in any case");
}

// The document's first section read as the plug-in's own section: every value
// understood is used, every other one keeps what is in effect and is named, in
// file order, with every unknown name.
void checkSettings(const ini::IniDocument& document) {
    if (document.size() == 0) {
        return;
    }
    ini::IniDocument ours;
    ours[settingsSection] = document.entries().front().second;
    Settings inEffect;
    inEffect.reloadKey = {0x41, ctrlModifier};
    inEffect.showMessages = false;
    inEffect.watchFile = "kept.meta";
    inEffect.keepVersions = 7;
    const SettingsRead read = settingsFromDocument(ours, inEffect);
    std::size_t problem = 0;
    const ini::OrderedMap<> section = ours.get(settingsSection);
    for (const auto& [name, value] : section.entries()) {
        const bool known = name == reloadKeySetting || name == showMessagesSetting || name == watchFileSetting ||
                           name == keepVersionsSetting;
        bool understood = value.empty();
        if (name == reloadKeySetting && !understood) {
            understood = parseKeyChord(value).has_value();
            require(read.settings.reloadKey == (understood ? *parseKeyChord(value) : inEffect.reloadKey),
                    "a reload key not understood keeps the one in effect");
        } else if (name == showMessagesSetting && !understood) {
            understood = parseSwitch(value).has_value();
            require(read.settings.showMessages == (understood ? *parseSwitch(value) : inEffect.showMessages),
                    "a switch not understood keeps the one in effect");
        } else if (name == watchFileSetting && !understood) {
            understood = parseWatchPath(value).has_value();
        } else if (name == keepVersionsSetting && !understood) {
            understood = parseKeepVersions(value).has_value();
            require(read.settings.keepVersions == (understood ? *parseKeepVersions(value) : inEffect.keepVersions),
                    "a version count not understood keeps the one in effect");
        }
        if (!known || !understood) {
            require(problem < read.problems.size() && read.problems[problem].name == name,
                    "every value not understood and every unknown name is named, in file order");
            require((read.problems[problem].reason == nullptr) == !known, "unknown names have no reason");
            ++problem;
        }
    }
    require(problem == read.problems.size(), "nothing else is named");
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
    const ini::SettingsFile file(path);
    file.read(document);
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

    // Split from memory as from the file; a file in no UTF-16 comes out as UTF-8
    // whatever editor wrote it, its UTF-8 lines unchanged.
    require(ini::splitLines(bytes) == model::splitLines(bytes), "text splits as the file does");
    const bool utf16 = size >= 2 && ((data[0] == 0xFF && data[1] == 0xFE) || (data[0] == 0xFE && data[1] == 0xFF));
    const std::string text = settingsText(std::string(bytes));
    if (!utf16) {
        require(isUtf8(text), "settings text is UTF-8");
        require(!isUtf8(bytes) || text == bytes, "UTF-8 settings text is kept as it is");
    }

    const std::vector<std::string> names = candidateNames(bytes);
    checkLookups(document, expected, names);
    for (const std::string& name : names) {
        checkKeyValue(name);
        checkSwitchValue(name);
    }
    checkSettings(document);
    return 0;
}
