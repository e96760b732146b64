// Paths as text: joined, named and put in the order a listing shows them. Either
// "\" or "/" separates; what a path names on disk is the kernel door's business.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// `folder` and a path below it joined with "\", without a doubled separator.
std::string joinPath(std::string_view folder, std::string_view below);

// Listing order: paths compared without regard to the letter case of A to Z.
bool listedBefore(std::string_view a, std::string_view b);

// The last part of a path (after its last "\" or "/"): the file's name.
const char* fileNameOf(const char* path);

// The part of `path` below `folder`, joined with "\": "scripts\Brackenfold.asi" for
// "C:\Game\scripts\Brackenfold.asi" below "C:\Game", empty for the folder itself;
// nothing when `path` lies outside it. Letter case as Windows compares names; "\"
// and "/" alike; the "\\?\" form of a path the same as its plain form.
std::optional<std::string> pathBelow(std::string_view path, std::string_view folder);
