// classifyLine on arbitrary bytes: the result obeys the grammar's own invariants
// and matches the plain model of the grammar.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "fuzz/ini_model.h"
#include "ini/ini.h"

using model::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    const std::string copy = line;
    // Left over from an earlier call: every call must empty both strings first.
    std::pair<std::string, std::string> result{"stale", "stale"};
    const ini::LineKind kind = ini::classifyLine(line, result);

    require(line == copy, "the caller's line is left unchanged");
    require(static_cast<std::uint8_t>(kind) <= static_cast<std::uint8_t>(ini::LineKind::Other),
            "one of the five kinds");
    require(model::isTrimmed(result.first) && model::isTrimmed(result.second), "names and values trimmed");

    switch (kind) {
    case ini::LineKind::None:
    case ini::LineKind::Comment:
    case ini::LineKind::Other:
        require(result.first.empty() && result.second.empty(), "no name or value for this kind");
        break;
    case ini::LineKind::Section:
        require(result.second.empty(), "a section has no value");
        require(result.first.find(';') == std::string::npos, "no ';' in a section name");
        require(line.find(result.first) != std::string::npos, "a section name comes from the line");
        break;
    case ini::LineKind::KeyValue:
        require(line.find(result.second) != std::string::npos, "a value comes from the line");
        break;
    }

    const model::Line expected = model::classify(line);
    require(kind == expected.kind, "kind as the model gives it");
    require(result.first == expected.first, "name or key as the model gives it");
    require(result.second == expected.second, "value as the model gives it");
    return 0;
}
