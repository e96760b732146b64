#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reload/other_copies.h"
#include "tests/plugin_fixture.h"

namespace {

using OtherCopies = InTempDirectory;

TEST_F(OtherCopies, EachCopyButThisOneIsNamedOnceOnScreenAndInTheLogAndNoModuleStaysHeld) {
    const std::string self = installPlugin();
    const std::string game = self.substr(0, self.size() - std::string("Brackenfold.asi").size());
    sim::setVersionResource(pluginModule, versionResource({{"ProductName", "Brackenfold"}}));
    const int modules[4] = {};
    const auto load = [&](int i, const std::string& path, const std::string& product) {
        sim::setModulePath(&modules[i], path);
        if (!product.empty()) {
            sim::setVersionResource(&modules[i], versionResource({{"ProductName", product}}));
        }
    };
    load(0, game + "scripts\\Brackenfold.asi", "Brackenfold");       // moved, the old copy left behind
    load(1, "D:\\Mods ★\\Brackenfold old.dll", "Brackenfold");        // another name, outside the game
    load(2, game + "scripts\\OtherMod.asi", "OtherMod");             // another plug-in
    load(3, game + "ScriptHookRDR2.dll", "");                         // no version resource
    findOwnFolder(pluginModule);
    ASSERT_TRUE(openLog());

    EXPECT_EQ(tellOtherCopies(pluginModule), 2u);
    const std::vector<std::string> shown{"Brackenfold: another copy stays idle: scripts\\Brackenfold.asi",
                                         "Brackenfold: another copy stays idle: D:\\Mods ★\\Brackenfold old.dll"};
    ASSERT_EQ(queuedNotices(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(queuedNotice(i), shown[i]);
    }
    const std::vector<std::string> logged = logLinesWith("another copy");
    ASSERT_EQ(logged.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(logged[i].rfind("WARN " + shown[i] + " (only this copy reloads", 0), 0u) << logged[i];
    }
    EXPECT_EQ(sim::moduleHoldsLeft(), 0);
}

}  // namespace
