// Text from outside as the log and the screen may show it: every character as it
// is (the game's text is UTF-8), control characters and bytes that form no UTF-8
// character as "?", cut between characters.
#pragma once

#include <cstddef>
#include <string>

// `value` cut after `limit` characters or when the room is full.
struct CleanText {
    char text[1040];
};
CleanText cleanText(const char* value, std::size_t length, std::size_t limit);
CleanText cleanText(const std::string& value, std::size_t limit);

// How much of a path the log and the screen show: more than Windows' old limit of
// 260 characters, as long as the room in a text allows.
inline constexpr std::size_t loggedPathLimit = 1024;
