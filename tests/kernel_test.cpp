// The kernel door against the simulated kernel, which takes paths only in the long
// form the door must make: names in any script, and paths past 260 characters.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "host/kernel.h"
#include "tests/plugin_fixture.h"

namespace {

namespace fs = std::filesystem;

using KernelDoor = InTempDirectory;

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    FolderEntry entry;
    const FolderSearch search = openFolderSearch(folder, entry);
    if (search == nullptr) {
        return names;
    }
    do {
        names.insert(std::string(entry.name) + (entry.folder ? "\\" : ""));
    } while (nextFolderEntry(search, entry));
    closeFolderSearch(search);
    return names;
}

TEST_F(KernelDoor, NamesInEveryScriptComeBackFromTheFolderAsTheyAreAndNameTheirFiles) {
    const std::string mods[] = {"\xD0\x9C\xD0\xBE\xD0\xB4 \xE2\x98\x85", "\xE6\xA3\xAE\xE3\x81\xAE\xE8\x8D\x89",
                                "\xC5\x92uvre", "Plain"};
    for (const std::string& mod : mods) {
        fs::create_directories(fs::path("lml") / mod);
        std::ofstream(fs::path("lml") / mod / "VegetationModifiers.meta") << mod;
    }
    std::set<std::string> expected{".\\", "..\\"};
    for (const std::string& mod : mods) {
        expected.insert(mod + "\\");
        std::string bytes(mod.size(), '\0');
        const std::string file = "lml/" + mod + "\\VegetationModifiers.meta";
        EXPECT_TRUE(readWholeFile(file, bytes)) << mod;
        EXPECT_EQ(bytes, mod);
        EXPECT_EQ(queryPath(file).size, mod.size());
        EXPECT_TRUE(queryPath("lml\\" + mod).folder);
    }
    EXPECT_EQ(namesIn("lml"), expected);
    EXPECT_EQ(sim::refusedPaths(), 0u);
}

TEST_F(KernelDoor, PathsPastTwoHundredAndSixtyCharactersAreMadeWrittenReadListedAndDeleted) {
    std::string folder = "deep";
    ASSERT_TRUE(makeFolder(folder));
    for (int level = 0; level < 6; ++level) {
        folder += "\\" + std::string(50, static_cast<char>('a' + level));
        ASSERT_TRUE(makeFolder(folder)) << level;
    }
    const std::string file = folder + "/VegetationModifiers.meta";
    ASSERT_GT((fs::current_path() / file).string().size(), 340u);
    const FileHandle written = openFile(file, FileOpen::createNew);
    ASSERT_NE(written, nullptr);
    EXPECT_TRUE(writeFile(written, "<a/>", 4));
    closeFile(written);
    EXPECT_EQ(openFile(file, FileOpen::createNew), nullptr);
    EXPECT_EQ(queryPath(file).size, 4u);
    std::string bytes(4, '\0');
    EXPECT_TRUE(readWholeFile(file, bytes));
    EXPECT_EQ(bytes, "<a/>");
    EXPECT_EQ(namesIn(folder), (std::set<std::string>{".\\", "..\\", "VegetationModifiers.meta"}));
    EXPECT_TRUE(deleteFile(file));
    EXPECT_FALSE(queryPath(file).exists);
    EXPECT_FALSE(deleteFile(folder));
    EXPECT_EQ(sim::refusedPaths(), 0u);
}

TEST_F(KernelDoor, ModulePathsEnvironmentValuesAndOlderEditorsTextArriveInUtf8) {
    const std::string game = "C:\\\xD0\x98\xD0\xB3\xD1\x80\xD0\xB0 \xE2\x98\x85\\Brackenfold.asi";
    const std::string deep = "C:\\" + std::string(400, 'g') + "\\Brackenfold.asi";
    const auto module = reinterpret_cast<ModuleHandle>(std::uintptr_t{0x1000});
    sim::setModulePath(module, game);
    sim::setModulePath(nullptr, deep);
    EXPECT_EQ(modulePath(module), game);
    EXPECT_EQ(modulePath(nullptr), deep);
    EXPECT_EQ(modulePath(reinterpret_cast<ModuleHandle>(std::uintptr_t{0x2000})), "");

    sim::setEnvironment("LOCALAPPDATA", "C:\\Users\\\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F\\AppData\\Local");
    EXPECT_EQ(environmentValue("LOCALAPPDATA"), "C:\\Users\\\xD0\x9F\xD0\xB5\xD1\x82\xD1\x8F\\AppData\\Local");
    EXPECT_EQ(environmentValue("UNSET"), "");

    // Windows-1252 is the simulated system's ANSI code page.
    EXPECT_EQ(textFromAnsi("V\xE9g\xE9tation \x80"), "V\xC3\xA9g\xC3\xA9tation \xE2\x82\xAC");
    EXPECT_EQ(textFromUtf16(std::string("\x04\x1C\x26\x05", 4), true), "\xD0\x9C\xE2\x98\x85");
    EXPECT_EQ(textFromUtf16(std::string("\x1C\x04\x05\x26\x41", 5), false), "\xD0\x9C\xE2\x98\x85");
}

}  // namespace
