#include "history/line_changes.h"

#include <algorithm>

namespace {

// Just past the end of the line that starts at `start`, its line end included.
std::size_t lineEnd(std::string_view text, std::size_t start) {
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] == '\n') {
            return i + 1;
        }
        if (text[i] == '\r') {
            return i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
        }
    }
    return text.size();
}

// The start of the line that ends at `end` (its line end included), never before
// `floor`, which is itself the start of a line.
std::size_t lineStart(std::string_view text, std::size_t end, std::size_t floor) {
    std::size_t i = end;
    if (i > floor && text[i - 1] == '\n') {
        --i;
        if (i > floor && text[i - 1] == '\r') {
            --i;
        }
    } else if (i > floor && text[i - 1] == '\r') {
        --i;
    }
    while (i > floor && text[i - 1] != '\n' && text[i - 1] != '\r') {
        --i;
    }
    return i;
}

}  // namespace

std::size_t countLines(std::string_view text) {
    // Without a carriage return every line ends at a line feed, and counting those is quick.
    if (text.find('\r') == std::string_view::npos) {
        const auto feeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        return feeds + (!text.empty() && text.back() != '\n' ? 1 : 0);
    }
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); at = lineEnd(text, at)) {
        ++lines;
    }
    return lines;
}

LineChange compareLines(std::string_view before, std::string_view after) {
    LineChange change;
    if (before == after) {
        change.linesBefore = change.linesAfter = countLines(after);
        return change;
    }
    change.linesBefore = countLines(before);
    change.linesAfter = countLines(after);
    std::size_t head = 0;
    std::size_t a = 0;
    std::size_t b = 0;
    while (a < before.size() && b < after.size()) {
        const std::size_t endA = lineEnd(before, a);
        const std::size_t endB = lineEnd(after, b);
        if (before.substr(a, endA - a) != after.substr(b, endB - b)) {
            break;
        }
        ++head;
        a = endA;
        b = endB;
    }
    if (a == before.size() && b == after.size()) {
        return change;
    }
    change.same = false;
    std::size_t tail = 0;
    std::size_t endA = before.size();
    std::size_t endB = after.size();
    while (endA > a && endB > b) {
        const std::size_t startA = lineStart(before, endA, a);
        const std::size_t startB = lineStart(after, endB, b);
        if (before.substr(startA, endA - startA) != after.substr(startB, endB - startB)) {
            break;
        }
        ++tail;
        endA = startA;
        endB = startB;
    }
    change.first = head + 1;
    change.last = change.linesAfter - tail;
    if (change.last < change.first) {
        change.last = change.first;
    }
    return change;
}
