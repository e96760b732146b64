#include "text/paths.h"

#include <algorithm>

#include "text/letter_case.h"

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
