#include "text/letter_case.h"

bool sameLetters(std::string_view text, std::string_view other) {
    if (text.size() != other.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerLetter(text[i]) != lowerLetter(other[i])) {
            return false;
        }
    }
    return true;
}
