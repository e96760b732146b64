#include "watch/watch_state.h"

#include "history/kept_versions.h"
#include "report/log.h"
#include "report/messages.h"
#include "text/paths.h"

FileWatch fileWatch;

CleanText logged(const std::string& path) { return cleanText(path, loggedPathLimit); }

void tellMissing(const char* what) {
    if (fileWatch.toldMissing) {
        return;
    }
    fileWatch.toldMissing = true;
    logLine(LogLevel::Warn, "watch: watched %s not found: %s; no reload until it is there", what,
            logged(fileWatch.path).text);
    queueNotice("Brackenfold: watched %s not found: %s", what, cleanText(fileWatch.path, 64).text);
}

WatchedFile singleFile(const std::string& path) {
    WatchedFile file;
    file.path = path;
    file.below = fileNameOf(path.c_str());
    file.keptAs = keptName(file.below);
    return file;
}

void forget(WatchedFile& file) { fileWatch.bytesInMemory -= dropReceivedBytes(file); }

void dropAllFiles() {
    for (WatchedFile& file : fileWatch.files) {
        forget(file);
    }
    fileWatch.files.clear();
    fileWatch.nextLook = 0;
}
