#include "host/long_path.h"

#include <algorithm>
#include <vector>

namespace {

const char longPrefix[] = "\\\\?\\";

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool startsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

// An absolute path split into its root, in the long form ("\\?\C:" or
// "\\?\UNC\server\share"), and what follows it.
struct Rooted {
    bool absolute = false;
    std::string root;
    std::string_view rest;
};

// Reads the root of `path`, whose separators are all "\".
Rooted rootOf(std::string_view path) {
    Rooted rooted;
    if (startsWith(path, longPrefix) || startsWith(path, "\\\\.\\")) {
        path.remove_prefix(4);
        if (startsWith(path, "UNC\\")) {
            path.remove_prefix(2);
            // As "\\server\share\..." from here on.
            std::string unc = "\\";
            unc.append(path.substr(1));
            Rooted inner = rootOf(unc);
            if (inner.absolute) {
                inner.rest = path.substr(path.size() - inner.rest.size());
            }
            return inner;
        }
    }
    if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':' && (path.size() == 2 || path[2] == '\\')) {
        rooted.absolute = true;
        rooted.root = std::string(longPrefix) + upper(path[0]) + ":";
        rooted.rest = path.substr(2);
    } else if (startsWith(path, "\\\\")) {
        const std::size_t server = path.find('\\', 2);
        const std::size_t share = server == std::string_view::npos ? server : path.find('\\', server + 1);
        const std::size_t end = share == std::string_view::npos ? path.size() : share;
        if (server == std::string_view::npos || server == 2 || end == server + 1) {
            return rooted;
        }
        rooted.absolute = true;
        rooted.root = std::string(longPrefix) + "UNC" + std::string(path.substr(1, end - 1));
        rooted.rest = path.substr(end);
    }
    return rooted;
}

// Joins the parts of `combined` under `root`, resolving "." and ".."; `trimEnd`
// drops trailing dots and spaces of the last part, as Windows does for a path
// that does not end in a separator.
std::string resolve(const std::string& root, std::string_view combined, bool trimEnd) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= combined.size()) {
        std::size_t end = combined.find('\\', start);
        if (end == std::string_view::npos) {
            end = combined.size();
        }
        std::string_view part = combined.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        // One final period goes; a part of three or more is a name.
        if (part.size() >= 2 && part.back() == '.' && part[part.size() - 2] != '.') {
            part.remove_suffix(1);
        }
        parts.push_back(part);
    }
    if (trimEnd && !parts.empty()) {
        std::string_view& last = parts.back();
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) {
            last.remove_suffix(1);
        }
        if (last.empty()) {
            parts.pop_back();
        }
    }
    std::string path = root;
    path += '\\';
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            path += '\\';
        }
        path.append(parts[i]);
    }
    return path;
}

}  // namespace

std::string longPath(std::string_view written, std::string_view currentDirectory) {
    if (written.empty()) {
        return {};
    }
    if (startsWith(written, longPrefix)) {
        return std::string(written);
    }
    std::string path(written);
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string here(currentDirectory);
    std::replace(here.begin(), here.end(), '/', '\\');
    const bool trimEnd = path.back() != '\\';

    const Rooted own = rootOf(path);
    if (own.absolute) {
        return resolve(own.root, own.rest, trimEnd);
    }
    // "\\server" without a share names nothing.
    if (startsWith(path, "\\\\")) {
        return {};
    }
    const Rooted current = rootOf(here);
    if (!current.absolute) {
        return {};
    }
    std::string combined;
    if (path.size() >= 2 && isLetter(path[0]) && path[1] == ':') {
        // "D:name": relative to the current directory when it is on that drive.
        const std::string root = std::string(longPrefix) + upper(path[0]) + ":";
        if (root != current.root) {
            return resolve(root, std::string_view(path).substr(2), trimEnd);
        }
        combined.append(current.rest).append("\\").append(path.substr(2));
    } else if (path.front() == '\\') {
        combined = path;
    } else {
        combined.append(current.rest).append("\\").append(path);
    }
    return resolve(current.root, combined, trimEnd);
}
