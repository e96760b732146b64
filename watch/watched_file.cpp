#include "watch/watched_file.h"

#include <utility>

void takeLook(WatchedFile& file, const FileStamp& stamp, std::uint32_t now) {
    file.lastLook = now;
    if (file.edits == Edits::unseen) {
        file.reloaded = stamp;
        file.gameStamp = stamp;
    } else if (stamp.exists && stamp != file.reloaded) {
        if (file.edits != Edits::settling || stamp != file.pending) {
            file.pending = stamp;
            file.pendingSince = now;
            file.edits = Edits::settling;
        }
        return;
    }
    file.edits = Edits::settled;
    if (!stamp.exists) {
        file.reloaded = stamp;
    }
}

void takeAppeared(WatchedFile& file) { file.edits = Edits::settled; }

void takeReloaded(WatchedFile& file, bool settled) {
    if (file.edits == Edits::unseen) {
        file.reloaded = file.checkedStamp;
    } else {
        file.reloaded = settled && file.edits == Edits::settling ? file.pending : file.checkedStamp;
    }
    file.edits = Edits::settled;
}

void startCheck(WatchedFile& file, const FileStamp& stamp, bool asReceived) {
    file.bytes.clear();
    file.checkedStamp = stamp;
    file.check = asReceived ? Check::asReceived : Check::none;
}

void endCheck(WatchedFile& file, Check how) { file.check = how; }

void dropCheck(WatchedFile& file) {
    file.bytes = {};
    file.check = Check::none;
}

void takeReceived(WatchedFile& file, std::string copy, bool inMemory) {
    file.gameStamp = file.checkedStamp;
    file.receivedCopy = std::move(copy);
    file.received = inMemory ? Received::inMemory : Received::inCopy;
    if (inMemory) {
        file.receivedBytes = std::move(file.bytes);
    }
    dropCheck(file);
}

std::size_t dropReceivedBytes(WatchedFile& file) {
    const std::size_t size = file.receivedBytes.size();
    file.receivedBytes = {};
    if (file.received == Received::inMemory) {
        file.received = Received::inCopy;
    }
    return size;
}
