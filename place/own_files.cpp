#include "place/own_files.h"

#include "text/paths.h"

namespace {

OwnPlace place = OwnPlace::unknown;
std::string folder;
std::string gameFolder;

}  // namespace

OwnPlace findOwnFolder(ModuleHandle plugin) {
    place = OwnPlace::unknown;
    folder.clear();
    gameFolder.clear();
    try {
        gameFolder = currentFolder();
        // Without a module there is no path to ask for: null would name the game's executable.
        const std::string path = plugin != nullptr ? modulePath(plugin) : std::string();
        const std::size_t separator = path.find_last_of("\\/");
        if (separator == std::string::npos) {
            return place;
        }
        const std::string_view whole = std::string_view(path).substr(0, separator + 1);
        const std::optional<std::string> below = pathBelow(whole, gameFolder);
        if (below && below->empty()) {
            place = OwnPlace::gameFolder;
            return place;
        }
        folder = below ? *below + '\\' : std::string(whole);
        place = OwnPlace::elsewhere;
    } catch (...) {
        place = OwnPlace::unknown;
        folder.clear();
    }
    return place;
}

OwnPlace ownPlace() { return place; }

const std::string& ownFolder() { return folder; }

std::string ownFile(std::string_view name) { return folder + std::string(name); }

std::string fallbackFolder() {
    const std::string local = environmentValue("LOCALAPPDATA");
    if (local.empty()) {
        return {};
    }
    std::string own = joinPath(local, "Brackenfold");
    makeFolder(own);
    own += '\\';
    return own;
}

std::string shownPath(std::string_view path) {
    std::optional<std::string> below = gameFolder.empty() ? std::nullopt : pathBelow(path, gameFolder);
    return below && !below->empty() ? std::move(*below) : std::string(path);
}
