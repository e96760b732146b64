#include <gtest/gtest.h>

#include <string>

#include "place/own_files.h"
#include "tests/plugin_fixture.h"

namespace {

using OwnFiles = InTempDirectory;

TEST_F(OwnFiles, GoBesideThePlugInWhereverItWasLoadedFromAndReadAsThePlayerSeesThem) {
    const std::string game = installPlugin();
    const std::string gameFolder = game.substr(0, game.size() - std::string("Brackenfold.asi").size());
    struct Case {
        const char* what;
        std::string plugin;  // its module's path; empty: Windows gives none
        OwnPlace place;
        std::string folder;
    };
    const Case cases[] = {
        {"the game's folder", gameFolder + "Brackenfold.asi", OwnPlace::gameFolder, ""},
        {"scripts", gameFolder + "scripts\\Brackenfold.asi", OwnPlace::elsewhere, "scripts\\"},
        {"outside the game's folder", "D:\\Mods ★\\Brackenfold.asi", OwnPlace::elsewhere, "D:\\Mods ★\\"},
        {"a path that cannot be had", "", OwnPlace::unknown, ""},
        {"no folder in it", "Brackenfold.asi", OwnPlace::unknown, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        sim::setModulePath(pluginModule, test.plugin);
        EXPECT_EQ(findOwnFolder(pluginModule), test.place);
        EXPECT_EQ(ownPlace(), test.place);
        EXPECT_EQ(ownFolder(), test.folder);
        EXPECT_EQ(ownFile("BrackenfoldConfig.ini"), test.folder + "BrackenfoldConfig.ini");
    }
    // Shown as the player sees them: inside the game's folder relative to it.
    EXPECT_EQ(shownPath(gameFolder + "scripts\\Brackenfold.asi"), "scripts\\Brackenfold.asi");
    EXPECT_EQ(shownPath("D:\\Mods\\Brackenfold.asi"), "D:\\Mods\\Brackenfold.asi");
}

}  // namespace
