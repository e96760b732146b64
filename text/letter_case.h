// Letter case as Windows compares names and the plug-in compares settings: only the
// letters A to Z have a case; every other byte, those of UTF-8 included, is itself.
#pragma once

#include <string_view>

// 'A' to 'Z' as 'a' to 'z'; any other byte as it is.
inline char lowerLetter(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the two texts are the same but for the case of A to Z.
bool sameLetters(std::string_view text, std::string_view other);
