// The form in which the kernel door hands a path to Windows: absolute, its parts
// joined by "\", with "." and ".." resolved and trailing dots and spaces dropped as
// Windows would, behind the "\\?\" prefix that lifts the 260-character limit (and
// with it every rewriting Windows would otherwise do, hence the resolving here).
#pragma once

#include <string>
#include <string_view>

// `path` as the player wrote it (absolute, or relative to `currentDirectory`;
// "\" and "/" both separate; a path already in the "\\?\" form is kept as it is),
// in UTF-8. `currentDirectory` is as Windows gives it: "C:\Games\RDR2",
// "\\server\share\folder", or either behind "\\?\". Gives "\\?\C:\..." or
// "\\?\UNC\server\share\..."; empty when the path is empty or cannot be made
// absolute. Throws std::bad_alloc when memory runs out.
std::string longPath(std::string_view path, std::string_view currentDirectory);
