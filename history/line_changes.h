// How a new version of a text file differs from the one before, told by lines:
// the lines both share at the start and at the end are set aside, and what lies
// between, in the new version, is the change. Lines end at LF, CR LF or a lone CR,
// as the XML check counts them. Linear time, no allocation.
#pragma once

#include <cstddef>
#include <string_view>

struct LineChange {
    std::size_t linesBefore = 0;
    std::size_t linesAfter = 0;
    bool same = true;  // byte for byte
    // The first and last changed lines of the new version, counted from 1. Where
    // lines were only taken out, both name the line that now stands where they were.
    std::size_t first = 0;
    std::size_t last = 0;
};

LineChange compareLines(std::string_view before, std::string_view after);

// Lines in `text`: every line end, and a last line without one.
std::size_t countLines(std::string_view text);
