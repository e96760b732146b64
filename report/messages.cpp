#include "report/messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "host/script_host.h"
#include "host/utf8.h"

namespace {

constexpr std::size_t noticeCapacity = 4;
constexpr std::size_t noticeLength = 512;

char notices[noticeCapacity][noticeLength];
std::size_t firstNotice = 0;
std::size_t noticeCount = 0;
// The built text on screen: the game may still read it.
char shownNotice[noticeLength];
bool shown = true;

// After vsnprintf into `text`: a text cut to fit is cut between characters.
void endBetweenCharacters(char* text, std::size_t capacity, int length) {
    if (length >= static_cast<int>(capacity)) {
        text[cutBetweenCharacters(std::string_view(text, capacity - 1), capacity - 1)] = '\0';
    }
}

}  // namespace

void showMessage(const char* text) {
    nativeInit(messageNatives[0]);
    nativePush64(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(text)));
    nativeCall();
    for (int i = 1; i < 4; ++i) {
        nativeInit(messageNatives[i]);
        nativeCall();
    }
}

void setMessagesShown(bool on) { shown = on; }

bool messagesShown() { return shown; }

void tellPlayer(const char* text) {
    if (shown) {
        showMessage(text);
    }
}

void tellPlayerBuilt(const char* format, ...) {
    if (!shown) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(shownNotice, sizeof shownNotice, format, arguments);
    va_end(arguments);
    endBetweenCharacters(shownNotice, sizeof shownNotice, length);
    showMessage(shownNotice);
}

void queueNotice(const char* format, ...) {
    if (noticeCount == noticeCapacity) {
        return;
    }
    char* const slot = notices[(firstNotice + noticeCount) % noticeCapacity];
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(slot, noticeLength, format, arguments);
    va_end(arguments);
    endBetweenCharacters(slot, noticeLength, length);
    ++noticeCount;
}

void showNextNotice() {
    if (noticeCount == 0) {
        return;
    }
    const char* const oldest = notices[firstNotice];
    firstNotice = (firstNotice + 1) % noticeCapacity;
    --noticeCount;
    if (shown) {
        std::memcpy(shownNotice, oldest, noticeLength);
        showMessage(shownNotice);
    }
}

void clearNotices() {
    firstNotice = 0;
    noticeCount = 0;
}

std::size_t queuedNotices() { return noticeCount; }

const char* queuedNotice(std::size_t index) {
    return index < noticeCount ? notices[(firstNotice + index) % noticeCapacity] : "";
}
