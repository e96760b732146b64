#include "text/paths.h"

#include <algorithm>

#include "text/letter_case.h"

namespace {

// A path in its plain form with "\" between its parts and none at its end (but a
// drive's root): "\\?\C:\x" as "C:\x", "\\?\UNC\server\share" as "\\server\share".
std::string plainForm(std::string_view path) {
    std::string plain;
    if (path.starts_with("\\\\?\\UNC\\") || path.starts_with("//?/UNC/")) {
        plain = "\\\\";
        path.remove_prefix(8);
    } else if (path.starts_with("\\\\?\\") || path.starts_with("//?/")) {
        path.remove_prefix(4);
    }
    plain.append(path);
    std::replace(plain.begin(), plain.end(), '/', '\\');
    while (plain.size() > 1 && plain.back() == '\\' && plain[plain.size() - 2] != ':') {
        plain.pop_back();
    }
    return plain;
}

}  // namespace

std::string joinPath(std::string_view folder, std::string_view below) {
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) {
        folder.remove_suffix(1);
    }
    std::string path;
    path.reserve(folder.size() + 1 + below.size());
    path.append(folder).append("\\").append(below);
    return path;
}

bool listedBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (lowerLetter(a[i]) != lowerLetter(b[i])) {
            return lowerLetter(a[i]) < lowerLetter(b[i]);
        }
    }
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

const char* fileNameOf(const char* path) {
    const char* name = path;
    for (const char* at = path; *at != '\0'; ++at) {
        if (*at == '\\' || *at == '/') {
            name = at + 1;
        }
    }
    return name;
}

std::optional<std::string> pathBelow(std::string_view path, std::string_view folder) {
    const std::string inside = plainForm(path);
    const std::string outer = plainForm(folder);
    if (outer.empty() || inside.size() < outer.size() ||
        !sameLetters(std::string_view(inside).substr(0, outer.size()), outer)) {
        return std::nullopt;
    }
    if (inside.size() == outer.size()) {
        return std::string();
    }
    // "C:\Game" holds "C:\Game\x", not "C:\Games"; a root such as "C:\" holds all below it.
    if (outer.back() != '\\' && inside[outer.size()] != '\\') {
        return std::nullopt;
    }
    const std::size_t below = inside.find_first_not_of('\\', outer.size());
    return below == std::string::npos ? std::string() : inside.substr(below);
}
